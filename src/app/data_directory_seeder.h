#ifndef VQ_APP_DATA_DIRECTORY_SEEDER_H_
#define VQ_APP_DATA_DIRECTORY_SEEDER_H_

#include <apr_pools.h>

#include <string>
#include <vector>

// First run: creates `dataDir` (and its parents) readable by the owner only
// and copies the installation's `initialData` tree into it, every copied
// entry made owner read/write, keeping the owner's execute bit as it was,
// and nothing for group and others. All or nothing: the copy is made in the
// sibling seedingDirectoryFor(dataDir), flushed, and only then renamed to
// `dataDir`, so a failed or interrupted seed never leaves a data directory
// that a later start would take for a seeded one; a leftover of such a seed
// is removed first. The caller holds the data directory's lock. Progress
// messages are appended to `messages`. Throws std::runtime_error with the
// message "Unable to create data directory: ..." or "ERR: copying of data
// directory ... failed with exception ...", which has then also been written
// to standard error.
void seedDataDirectory(const std::string& initialData,
                       const std::string& dataDir, apr_pool_t* pool,
                       std::vector<std::string>* messages);

// Where seedDataDirectory builds the data directory: `dataDir` + ".seeding".
std::string seedingDirectoryFor(const std::string& dataDir);

#endif  // VQ_APP_DATA_DIRECTORY_SEEDER_H_
