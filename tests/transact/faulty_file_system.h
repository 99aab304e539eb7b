#ifndef VQ_TESTS_TRANSACT_FAULTY_FILE_SYSTEM_H_
#define VQ_TESTS_TRANSACT_FAULTY_FILE_SYSTEM_H_

#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "transact/file_system.h"

namespace transact_test {

// The real file system of a sandbox directory (the working directory at
// construction, holding every path the test uses), with two faults a disk
// can have:
//  - failCall(n, error): call number n (counting from 1) fails with `error`
//    (EIO, ENOSPC, EDQUOT...) and does nothing, except a file write, which
//    writes half its bytes first, as a full disk does;
//  - loseAtFlush(k): the power goes at flush number k: that flush and every
//    later call fail with EIO and do nothing. powerLoss() then puts the
//    sandbox back to what was durable: file contents as last flushed (empty
//    when never flushed), directory entries as at their last flush, so that
//    creations, renames, links and removals not followed by one are undone.
// Flushes only update the record of what is durable; they never reach the
// disk, which keeps the loops fast. What is in the sandbox at construction
// (and after powerLoss) counts as durable.
class FaultyFileSystem : public FileSystem {
 public:
  FaultyFileSystem();

  void failCall(int number, apr_status_t error) { failAt_ = number, error_ = error; }
  void loseAtFlush(int number) { loseAt_ = number; }
  // Runs `check` before every call, so that it sees each state the calls
  // before it left on disk, as a concurrent reader would.
  void watch(std::function<void()> check) { watch_ = std::move(check); }
  int calls() const { return calls_; }
  int flushes() const { return flushes_; }
  // True when the failed call was one a transaction needs to be durable (a
  // flush, or any call on the journal or a backup) and came before the
  // journal durably read COMMIT, while the outcome was still open.
  bool failedDurabilityBeforeCommit() const {
    return hitDurability_ && (commitDurableAt_ == 0 || failAt_ < commitDurableAt_);
  }
  // Rebuilds the sandbox from its durable state and starts afresh: no fault
  // armed, counters at zero.
  void powerLoss();

  apr_status_t writeFile(const std::string& name, const std::string& bytes,
                         apr_fileperms_t permissions) override;
  apr_status_t writeStart(const std::string& name, const std::string& bytes) override {
    return pass(name, [&] { return real().writeStart(name, bytes); });
  }
  apr_status_t readFile(const std::string& name, std::string* bytes) override {
    return pass(name, [&] { return real().readFile(name, bytes); });
  }
  apr_status_t flushFile(const std::string& name) override;
  apr_status_t flushDirectory(const std::string& name) override;
  apr_status_t flushFileSystemOf(const std::string& name) override;
  apr_status_t rename(const std::string& from, const std::string& to) override;
  apr_status_t link(const std::string& from, const std::string& to) override;
  apr_status_t copy(const std::string& from, const std::string& to,
                    apr_fileperms_t permissions) override;
  apr_status_t remove(const std::string& name) override;
  apr_status_t makeDirectories(const std::string& name,
                               apr_fileperms_t permissions) override;
  apr_status_t removeTree(const std::string& name) override;
  apr_status_t setPermissions(const std::string& name, apr_fileperms_t permissions) override {
    return pass(name, [&] { return real().setPermissions(name, permissions); });
  }
  apr_status_t stat(const std::string& name, Info* info) override {
    return pass(name, [&] { return real().stat(name, info); });
  }

 private:
  struct Entry {
    bool directory = false;
    int file = 0;  // identity of a file (shared by hard links)
  };
  using Listing = std::map<std::string, Entry>;

  // Counts the call; true when it is to fail (with *status set).
  bool failing(apr_status_t* status, const std::string& name, bool isFlush = false);
  // Counts the call and runs `call` unless the call is to fail.
  template <class Call>
  apr_status_t pass(const std::string& name, Call call, bool isFlush = false) {
    apr_status_t status = APR_SUCCESS;
    return failing(&status, name, isFlush) ? status : call();
  }
  // `name` relative to the sandbox, normalised ("." for the sandbox).
  std::string key(const std::string& name) const;
  Listing listing(const std::string& directory) const;
  void snapshot();
  void recordFileData(int file, const std::string& path);
  void build(const std::string& directory, const std::string& real);

  std::string root_;
  int calls_ = 0, flushes_ = 0, failAt_ = 0, loseAt_ = 0, commitDurableAt_ = 0;
  bool dead_ = false, hitDurability_ = false;
  apr_status_t error_ = APR_SUCCESS;
  std::function<void()> watch_;
  int nextFile_ = 1;
  // What exists now, by relative path.
  std::map<std::string, int> files_;
  std::set<std::string> directories_;
  // What survives a power loss.
  std::map<std::string, Listing> durableListings_;
  std::map<int, std::string> durableData_;
};

}  // namespace transact_test

#endif  // VQ_TESTS_TRANSACT_FAULTY_FILE_SYSTEM_H_
