#ifndef VQ_TRANSACT_SYNC_BATCH_H_
#define VQ_TRANSACT_SYNC_BATCH_H_

#include <set>
#include <string>

class FileSystem;

// Collects the files whose data and the directories whose entries a
// transaction has changed, then makes them all durable in one pass. Each
// path is flushed once however often it was added. Paths that no longer
// exist are skipped: there is nothing of them left to lose. A small batch
// is flushed path by path; a larger one with one flush of each file system
// involved, since every single flush costs a device cache flush.
class SyncBatch {
 public:
  SyncBatch() = default;
  SyncBatch(const SyncBatch&) = delete;
  SyncBatch& operator=(const SyncBatch&) = delete;

  // A file whose contents must reach the disk.
  void addFile(const std::string& file);
  // A directory in which an entry was created, renamed or removed.
  void addDirectory(const std::string& directory);
  // The directory that holds `file` ("." for a bare name).
  void addDirectoryOf(const std::string& file);

  // Flushes every file's data, then every directory, through `fs`. Returns
  // the number of paths (or file systems) that could not be flushed (0 on
  // full success); `*why` then names the first.
  int flush(FileSystem& fs, std::string* why = nullptr);

  // Batches with more paths than this are flushed per file system.
  static constexpr std::size_t kPerPathLimit = 4;

  bool empty() const { return files_.empty() && directories_.empty(); }
  const std::set<std::string>& files() const { return files_; }
  const std::set<std::string>& directories() const { return directories_; }

  // The directory that holds `file`: its parent, "/" for a file in the
  // root, "." for a bare name.
  static std::string directoryOf(const std::string& file);

 private:
  int flushPathByPath(FileSystem& fs, std::string* why);
  int flushFileSystems(FileSystem& fs, std::string* why);

  std::set<std::string> files_;
  std::set<std::string> directories_;
};

#endif  // VQ_TRANSACT_SYNC_BATCH_H_
