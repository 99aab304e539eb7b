#ifndef VQ_TESTS_CRASH_CRASH_WORKLOAD_H_
#define VQ_TESTS_CRASH_CRASH_WORKLOAD_H_

#include <apr_pools.h>

#include <string>
#include <vector>

// A transaction of several moves and deletes over real files in the current
// directory, with the means to check, after a crash and a recovery, that
// every file is wholly as it was or wholly as the transaction left it.
namespace crash_test {

enum class Outcome { kAllOld, kAllNew, kMixed };

struct WorkloadOptions {
  // A TransactionalCrash stage (2 to 5) and its position among the
  // operations, or 0 for none.
  int crashStage = 0;
  std::size_t crashPosition = 0;
  // Adds, last, a move whose source is missing, so that the transaction
  // rolls back.
  bool failAtEnd = false;
};

class Workload {
 public:
  // Writes the old files and the sources of the new ones.
  void setUp();
  // Builds and runs the transaction (in the calling process).
  void run(const WorkloadOptions& options, apr_pool_t* pool) const;
  std::size_t operationCount() const { return targets_.size(); }

  // Every target holds wholly its old or wholly its new content (or is
  // absent where that is its old or new state), and all agree. Describes
  // the first violation in `problem`.
  Outcome check(std::string& problem) const;
  // Names of files that a completed recovery must have removed: backups,
  // the journal and its temporary, and (when `sourcesGone`) the sources.
  std::vector<std::string> leftovers(bool sourcesGone) const;

 private:
  enum class Kind { kReplace, kCreate, kDelete };
  struct Target {
    Kind kind;
    std::string file;
    std::string source;
    std::string oldContent;
    std::string newContent;
  };
  std::vector<Target> targets_;
};

}  // namespace crash_test

#endif  // VQ_TESTS_CRASH_CRASH_WORKLOAD_H_
