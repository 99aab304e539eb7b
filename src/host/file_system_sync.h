#ifndef VQ_HOST_FILE_SYSTEM_SYNC_H_
#define VQ_HOST_FILE_SYSTEM_SYNC_H_

#include <string>

// Makes durable everything written to the file system that holds `path`
// (its data, metadata and directory entries), with one device flush. Much
// cheaper than flushing many files one by one, each of which costs a device
// flush of its own. Returns false when `path` cannot be opened or the flush
// fails.
namespace host {

bool syncFileSystemContaining(const std::string& path);

}  // namespace host

#endif  // VQ_HOST_FILE_SYSTEM_SYNC_H_
