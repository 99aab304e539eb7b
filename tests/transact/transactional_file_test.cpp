// The file operations over real files, inside and outside an engine.
#include <unistd.h>

#include <memory>

#include "testing/file_util.h"
#include "transact/sync_batch.h"
#include "transact/transact_test_support.h"
#include "transact/transaction_engine.h"

namespace transact_test {
namespace {

using vq_testing::FileMode;
using vq_testing::PathExists;
using vq_testing::ReadFile;
using vq_testing::WriteFile;
using TransactionalFileTest = TransactFixture;
using Operation = std::unique_ptr<Transactional>;

// A replaced file taking the mode is checked through whole documents
// (ResponseTest.EveryActionReachesTheDisk); a source on another file system is copied.
TEST_F(TransactionalFileTest, AMoveFromAnotherFileSystemCopiesIntoNewDirectories) {
  const std::string other = "/dev/shm/vq_transact_" + std::to_string(getpid());
  WriteFile(other, "from another file system");
  TransactionEngine engine(&external_, pool());
  engine.clear(true);
  engine << newMove(pool(), other, "a/b/copied.txt", 0x0640);
  EXPECT_TRUE(engine.executeTransaction());
  EXPECT_EQ(ReadFile("a/b/copied.txt"), "from another file system");
  EXPECT_EQ(FileMode("a/b/copied.txt"), 0640);
  EXPECT_EQ(FileMode("a/b") & 0700, 0700) << "owner rwx added to directories";
  EXPECT_FALSE(PathExists(other));
}

TEST_F(TransactionalFileTest, RollbackRestoresFilesSharingNothing) {
  WriteFile("f.txt", "old");
  WriteFile("f.txt.bak.tr", "stale");
  WriteFile("tmp", "new");
  WriteFile("v.txt", "victim");
  // A replaced file, a created one, a deleted one and a missing one to
  // delete (no work at all).
  Operation all[] = {Operation(newMove(pool(), "tmp", "f.txt")),
                     Operation(newMove(pool(), "tmp", "g.txt")),
                     Operation(newDelete(pool(), "v.txt")),
                     Operation(newDelete(pool(), "nothing"))};
  for (Operation& operation : all) ASSERT_TRUE(operation->prepare() && operation->execute());
  EXPECT_EQ(ReadFile("f.txt.bak.tr"), "old") << "the backup is fresh";
  for (Operation& operation : all) operation->rollback();
  EXPECT_EQ(ReadFile("f.txt"), "old");
  EXPECT_FALSE(PathExists("g.txt"));
  EXPECT_EQ(ReadFile("v.txt"), "victim");
  // The restored file shares nothing with the backup or the source.
  WriteFile("f.txt", "changed later");
  EXPECT_EQ(ReadFile("f.txt.bak.tr"), "old");
  EXPECT_EQ(ReadFile("tmp"), "new");
}

TEST_F(TransactionalFileTest, FailedRestoresAreReportedAndKeepTheirBackups) {
  WriteFile("moved.txt", "moved-old");
  WriteFile("gone.txt", "gone-old");
  WriteFile("tmp", "new");
  Operation all[] = {Operation(newMove(pool(), "tmp", "moved.txt")),
                     Operation(newDelete(pool(), "gone.txt")),
                     Operation(newMove(pool(), "tmp", "d/created.txt"))};
  for (Operation& operation : all) ASSERT_TRUE(operation->prepare() && operation->execute());
  // Non-empty directories where the files belong make every undo fail.
  vq_testing::MakeDirs("moved.txt.d/inner");
  ASSERT_EQ(unlink("moved.txt"), 0);
  ASSERT_EQ(rename("moved.txt.d", "moved.txt"), 0);
  vq_testing::MakeDirs("gone.txt/inner");
  ASSERT_EQ(unlink("d/created.txt"), 0);
  vq_testing::MakeDirs("d/created.txt/inner");
  std::string errors;
  for (Operation& operation : all) {
    try {
      operation->rollback();
    } catch (const std::string& text) {
      errors += text + "\n";
    }
    operation->cleanup();
  }
  EXPECT_EQ(errors,
            "Failed to copy backup over original on rollback\n"
            "Failed to copy backup over original on rollback\n"
            "Failed to remove destination file during rollback\n");
  EXPECT_EQ(ReadFile("moved.txt.bak.tr"), "moved-old");
  EXPECT_EQ(ReadFile("gone.txt.bak.tr"), "gone-old");
  // A file where a directory must be made refuses the transaction.
  WriteFile("blocker", "a file, not a directory");
  EXPECT_FALSE(Operation(newMove(pool(), "tmp", "blocker/d/f"))->prepare());
}

TEST_F(TransactionalFileTest, WrittenPathsCoverBackupsTargetsAndDirectories) {
  // What must be durable before the next state is recorded.
  Operation move(newMove(pool(), "s", "x/y/f"));
  ASSERT_TRUE(move->prepare());
  SyncBatch prepared, executed, deleted;
  move->addWrittenPaths(VQTRANSACTION_PREPARE, prepared);
  EXPECT_EQ(prepared.files(), (std::set<std::string>{"x/y/f.bak.tr"}));
  // New directories' entries live in their parents.
  EXPECT_EQ(prepared.directories(), (std::set<std::string>{".", "x", "x/y"}));
  move->addWrittenPaths(VQTRANSACTION_EXECUTE, executed);
  EXPECT_EQ(executed.files(), (std::set<std::string>{"x/y/f"}));
  EXPECT_EQ(executed.directories(), (std::set<std::string>{"x/y"}));
  Operation(newDelete(pool(), "/abs"))->addWrittenPaths(VQTRANSACTION_EXECUTE, deleted);
  EXPECT_TRUE(deleted.files().empty());
  EXPECT_EQ(deleted.directories(), (std::set<std::string>{"/"}));
}

}  // namespace
}  // namespace transact_test
