// The file operations over real files, inside and outside an engine.
#include <unistd.h>

#include "testing/file_util.h"
#include "transact/sync_batch.h"
#include "transact/transact_test_support.h"
#include "transact/transaction_engine.h"
#include "transact/transactional_file_delete.h"
#include "transact/transactional_file_move.h"

namespace transact_test {
namespace {

using vq_testing::FileMode;
using vq_testing::PathExists;
using vq_testing::ReadFile;
using vq_testing::WriteFile;

class TransactionalFileTest : public TransactFixture {
 protected:
  TransactionalFileMove* move(const std::string& from, const std::string& to,
                              int permissions = 0x0600) {
    auto* operation = new TransactionalFileMove(pool());
    operation->setSourceFilename(from);
    operation->setDestinationFilename(to);
    operation->setPermissions(permissions);
    return operation;
  }
  TransactionalFileDelete* erase(const std::string& file) {
    auto* operation = new TransactionalFileDelete(pool());
    operation->setDeleteFilename(file);
    return operation;
  }
  bool runAll(std::initializer_list<Transactional*> operations) {
    TransactionEngine engine(&external_, pool());
    engine.clear(true);
    for (Transactional* operation : operations) engine << operation;
    return engine.executeTransaction();
  }

  FakeExternal external_;
};

TEST_F(TransactionalFileTest, CommittedMovesLeaveNewFilesWithTheirModes) {
  WriteFile("dest.txt", "old");
  vq_testing::SetFileMode("dest.txt", 0644);
  WriteFile("tmp_1", "new");
  WriteFile("tmp_2", "payload");
  const std::string other = "/dev/shm/vq_transact_" + std::to_string(getpid());
  WriteFile(other, "from another file system");
  EXPECT_TRUE(runAll({move("tmp_1", "dest.txt", 0x0600),
                      move("tmp_2", "a/b/c.bin", 0x0640),
                      move(other, "copied.txt", 0x0640)}));
  EXPECT_EQ(ReadFile("dest.txt"), "new");
  EXPECT_EQ(FileMode("dest.txt"), 0600) << "an existing file gets the mode";
  EXPECT_EQ(ReadFile("a/b/c.bin"), "payload");
  EXPECT_EQ(FileMode("a/b/c.bin"), 0640);
  EXPECT_EQ(FileMode("a/b") & 0700, 0700) << "owner rwx added to directories";
  EXPECT_EQ(ReadFile("copied.txt"), "from another file system");
  for (const std::string& gone :
       {std::string("dest.txt.bak.tr"), std::string("tmp_1"),
        std::string("tmp_2"), other}) {
    EXPECT_FALSE(PathExists(gone)) << gone;
  }
}

TEST_F(TransactionalFileTest, FailedTransactionRestoresEveryFile) {
  WriteFile("one.txt", "one-old");
  WriteFile("two.txt", "two-old");
  WriteFile("tmp_1", "one-new");
  WriteFile("tmp_3", "three-new");
  WriteFile("tmp_5", "five-new");
  // The fourth move's source is missing, so its execute fails; the fifth
  // never executes, and undoing it must not be an error.
  EXPECT_FALSE(runAll({move("tmp_1", "one.txt"), erase("two.txt"),
                       move("tmp_3", "dir/three.txt"),
                       move("missing", "four.txt"),
                       move("tmp_5", "five.txt")}));
  EXPECT_EQ(ReadFile("one.txt"), "one-old");
  EXPECT_EQ(ReadFile("two.txt"), "two-old");
  EXPECT_TRUE(PathExists("dir")) << "created directories stay";
  for (const char* gone :
       {"dir/three.txt", "four.txt", "five.txt", "one.txt.bak.tr",
        "two.txt.bak.tr", "tmp_1", "tmp_3", "tmp_5", ".transaction.dat"}) {
    EXPECT_FALSE(PathExists(gone)) << gone;
  }
}

TEST_F(TransactionalFileTest, RollbackCanRunAgainAfterAnInterruption) {
  WriteFile("f.txt", "old");
  WriteFile("tmp", "new");
  WriteFile("v.txt", "victim");
  std::unique_ptr<TransactionalFileMove> replace(move("tmp", "f.txt"));
  std::unique_ptr<TransactionalFileMove> create(move("tmp", "g.txt"));
  std::unique_ptr<TransactionalFileDelete> remove(erase("v.txt"));
  for (Transactional* operation : std::initializer_list<Transactional*>{
           replace.get(), create.get(), remove.get()}) {
    ASSERT_TRUE(operation->prepare());
    ASSERT_TRUE(operation->execute());
  }
  EXPECT_EQ(ReadFile("f.txt.bak.tr"), "old");
  for (int pass = 0; pass < 2; ++pass) {
    replace->rollback();
    create->rollback();
    remove->rollback();
    EXPECT_EQ(ReadFile("f.txt"), "old") << "pass " << pass;
    EXPECT_FALSE(PathExists("g.txt")) << "pass " << pass;
    EXPECT_EQ(ReadFile("v.txt"), "victim") << "pass " << pass;
  }
  // The restored file shares nothing with the backup or the source.
  WriteFile("f.txt", "changed later");
  EXPECT_EQ(ReadFile("f.txt.bak.tr"), "old");
  EXPECT_EQ(ReadFile("tmp"), "new");
}

TEST_F(TransactionalFileTest, RealFailuresAreReported) {
  WriteFile("tmp", "x");
  std::unique_ptr<TransactionalFileMove> operation(move("tmp", "d/f.txt"));
  ASSERT_TRUE(operation->prepare());
  // A directory where the new file should be cannot be removed as a file.
  vq_testing::MakeDirs("d/f.txt/inner");
  try {
    operation->rollback();
    FAIL() << "expected a throw";
  } catch (const std::string& text) {
    EXPECT_EQ(text, "Failed to remove destination file during rollback");
  }
  WriteFile("blocker", "a file, not a directory");
  std::unique_ptr<TransactionalFileMove> blocked(move("tmp", "blocker/d/f"));
  EXPECT_FALSE(blocked->prepare());
  std::unique_ptr<TransactionalFileMove> sourceless(move("none", "x.txt"));
  EXPECT_FALSE(sourceless->execute());
}

TEST_F(TransactionalFileTest, BackupWhoseRestoreFailedSurvivesCleanup) {
  WriteFile("moved.txt", "moved-old");
  WriteFile("gone.txt", "gone-old");
  WriteFile("tmp", "new");
  std::unique_ptr<TransactionalFileMove> replace(move("tmp", "moved.txt"));
  std::unique_ptr<TransactionalFileDelete> remove(erase("gone.txt"));
  ASSERT_TRUE(replace->prepare() && replace->execute());
  ASSERT_TRUE(remove->prepare() && remove->execute());
  // Non-empty directories where the files belong make every restore fail.
  vq_testing::MakeDirs("moved.txt.d/inner");
  ASSERT_EQ(unlink("moved.txt"), 0);
  ASSERT_EQ(rename("moved.txt.d", "moved.txt"), 0);
  vq_testing::MakeDirs("gone.txt/inner");
  EXPECT_THROW(replace->rollback(), std::string);
  EXPECT_THROW(remove->rollback(), std::string);
  replace->cleanup();
  remove->cleanup();
  EXPECT_EQ(ReadFile("moved.txt.bak.tr"), "moved-old");
  EXPECT_EQ(ReadFile("gone.txt.bak.tr"), "gone-old");
}

TEST_F(TransactionalFileTest, BackupsAreFreshAndMissingFilesAreNoWork) {
  WriteFile("f.txt", "current");
  WriteFile("f.txt.bak.tr", "stale");
  std::unique_ptr<TransactionalFileMove> replace(move("tmp", "f.txt"));
  ASSERT_TRUE(replace->prepare());
  EXPECT_EQ(ReadFile("f.txt.bak.tr"), "current");

  std::unique_ptr<TransactionalFileDelete> nothing(erase("nothing"));
  EXPECT_TRUE(nothing->prepare());
  EXPECT_TRUE(nothing->execute());
  EXPECT_NO_THROW(nothing->rollback());
  nothing->cleanup();
  EXPECT_FALSE(PathExists("nothing.bak.tr"));
}

TEST_F(TransactionalFileTest, WrittenPathsCoverBackupsTargetsAndDirectories) {
  // What must be durable before the next state is recorded.
  std::unique_ptr<TransactionalFileMove> m(move("s", "x/y/f"));
  ASSERT_TRUE(m->prepare());
  SyncBatch prepared;
  m->addWrittenPaths(VQTRANSACTION_PREPARE, prepared);
  EXPECT_EQ(prepared.files(), (std::set<std::string>{"x/y/f.bak.tr"}));
  // New directories' entries live in their parents.
  EXPECT_EQ(prepared.directories(), (std::set<std::string>{".", "x", "x/y"}));
  SyncBatch executed;
  m->addWrittenPaths(VQTRANSACTION_EXECUTE, executed);
  EXPECT_EQ(executed.files(), (std::set<std::string>{"x/y/f"}));
  EXPECT_EQ(executed.directories(), (std::set<std::string>{"x/y"}));
  std::unique_ptr<TransactionalFileDelete> e(erase("/abs"));
  SyncBatch deleted;
  e->addWrittenPaths(VQTRANSACTION_EXECUTE, deleted);
  EXPECT_TRUE(deleted.files().empty());
  EXPECT_EQ(deleted.directories(), (std::set<std::string>{"/"}));
  // Flushing skips what is gone, in small and in large batches.
  WriteFile("a", "1");
  for (int extra : {0, 10}) {
    SyncBatch batch;
    batch.addFile("a");
    batch.addFile("missing");
    batch.addDirectoryOf("a");
    for (int i = 0; i < extra; ++i) batch.addFile("gone" + std::to_string(i));
    EXPECT_EQ(batch.flush(pool()), 0);
    EXPECT_TRUE(batch.empty());
  }
}

}  // namespace
}  // namespace transact_test
