#ifndef VQ_APP_DATA_DIRECTORY_SEEDER_H_
#define VQ_APP_DATA_DIRECTORY_SEEDER_H_

#include <apr_pools.h>

#include <string>
#include <vector>

// First run: creates `dataDir` (and its parents) readable by the owner only
// and copies the installation's `initialData` tree into it, every copied
// entry made owner read/write, keeping the owner's execute bit as it was,
// and nothing for group and others. Progress messages are appended to `messages`. Throws
// std::runtime_error with the message "Unable to create data directory: ..."
// or "ERR: copying of data directory ... failed with exception ...", which
// has then also been written to standard error. A directory created before
// a copy failure stays.
void seedDataDirectory(const std::string& initialData,
                       const std::string& dataDir, apr_pool_t* pool,
                       std::vector<std::string>* messages);

#endif  // VQ_APP_DATA_DIRECTORY_SEEDER_H_
