// The journal's byte layout, reading it back, and recovery at start.
#include <sstream>

#include "app/vq_application.h"
#include "testing/file_util.h"
#include "transact/transact_test_support.h"
#include "transact/transaction_engine.h"
#include "transact/transaction_register.h"
#include "transact/transactional_crash.h"
#include "transact/transactional_file_delete.h"
#include "transact/transactional_file_move.h"
#include "transact/transactional_launch.h"
#include "transact/transactional_quit.h"
#include "transact/transactional_set_application_env.h"

namespace transact_test {
namespace {

using vq_testing::PathExists;
using vq_testing::ReadFile;
using vq_testing::WriteFile;

class TransactionJournalTest : public TransactFixture {
 protected:
  FakeExternal external_;
};

TEST_F(TransactionJournalTest, RecordsFollowTheLayoutByteForByte) {
  TransactionEngine engine(&external_, pool());
  engine.clear(true);
  auto* move = new TransactionalFileMove(pool());
  move->setSourceFilename("s");
  move->setDestinationFilename("dd");
  engine << move;
  engine << new TransactionalQuit(pool());
  auto* launch = new TransactionalLaunch(pool());
  launch->setCommand("x");
  launch->addArgument("a");
  launch->addArgument("b");
  engine << launch;
  auto* erase = new TransactionalFileDelete(pool());
  erase->setDeleteFilename("gone");
  engine << erase;
  engine << new TransactionalSetApplicationEnv(pool(), "k", "v");
  engine << new TransactionalCrash(pool());
  engine.setState(VQTRANSACTION_PREPARE);
  EXPECT_EQ(readBytes(".transaction.dat"),
            JournalBytes()
                .u32(1).u32(6)
                .u32(1).str("s").str("dd").raw("1536")
                .u32(5)
                .u32(6).str("x").u32(2).str("a").str("b")
                .u32(2).str("gone")
                .u32(8).str("k").str("v")
                .u32(7)
                .bytes());
  engine.setState(VQTRANSACTION_EXECUTE);
  EXPECT_EQ(readBytes(".transaction.dat").substr(0, 4),
            std::string("\x03\x00\x00\x00", 4))
      << "host order on a little-endian machine";
}

TEST_F(TransactionJournalTest, ReadingRecreatesEveryKindAndSkipsUnknowns) {
  const std::string bytes = JournalBytes()
                                .u32(3).u32(7)
                                .u32(1).str("src").str("dst").raw("420")
                                .u32(7)  // the crash operation: not recreated
                                .u32(6).str("x").u32(2).str("a").str("b")
                                .u32(4)  // unused serial
                                .u32(5)
                                .u32(8).str("n").str(std::string("v\0w", 3))
                                .u32(2).str("del")
                                .bytes();
  TransactionEngine engine(&external_, pool());
  std::istringstream in(bytes);
  in >> engine;
  EXPECT_TRUE(engine.hasMutex()) << "reading takes the lock";
  EXPECT_EQ(engine.getState(), VQTRANSACTION_EXECUTE);
  ASSERT_EQ(engine.size(), 5u);
  auto* move = dynamic_cast<TransactionalFileMove*>(engine.at(0));
  ASSERT_NE(move, nullptr);
  EXPECT_EQ(move->getSourceFilename() + " " + move->getDestinationFilename(),
            "src dst");
  EXPECT_EQ(move->getPermissions(), 420);
  EXPECT_EQ(move->getTransactionalExternalInterface(), &external_);
  auto* launch = dynamic_cast<TransactionalLaunch*>(engine.at(1));
  ASSERT_NE(launch, nullptr);
  EXPECT_EQ(launch->getArguments(), (std::vector<std::string>{"a", "b"}));
  EXPECT_NE(dynamic_cast<TransactionalQuit*>(engine.at(2)), nullptr);
  auto* env = dynamic_cast<TransactionalSetApplicationEnv*>(engine.at(3));
  ASSERT_NE(env, nullptr);
  EXPECT_EQ(env->getValue(), "v") << "a string ends at an embedded NUL";
  EXPECT_NE(dynamic_cast<TransactionalFileDelete*>(engine.at(4)), nullptr);
  for (int serial : {4, 7, 9, -1}) {
    EXPECT_EQ(TransactionRegister::create(serial, pool()), nullptr) << serial;
  }
}

TEST_F(TransactionJournalTest, TruncatedOrCorruptJournalsAreReadSafely) {
  // A string claiming 4 GiB, a record cut short, a count beyond the data,
  // a state cut short.
  const std::pair<std::string, std::size_t> cases[] = {
      {JournalBytes().u32(3).u32(1).u32(1).u32(0xFFFFFFF0u).raw("ab").bytes(),
       0},
      {JournalBytes().u32(3).u32(2).u32(2).str("kept").u32(1).str("s").bytes(),
       1},
      {JournalBytes().u32(4).u32(1000).u32(5).bytes(), 1},
      {std::string("\x03\x00", 2), 0},
  };
  for (const auto& c : cases) {
    TransactionEngine engine(&external_, pool());
    std::istringstream in(c.first);
    in >> engine;
    EXPECT_EQ(engine.size(), c.second);
  }
}

TEST_F(TransactionJournalTest, RecoveryRollsBackAnExecutingJournal) {
  // Crafted: a move over an existing file that had run, a move onto a new
  // file that had run, and a delete that had run.
  WriteFile("old.txt", "new contents");
  WriteFile("old.txt.bak.tr", "old contents");
  WriteFile("tmp_1", "new contents");
  WriteFile("sub/fresh.txt", "fresh");
  WriteFile("tmp_2", "fresh");
  WriteFile("victim.bak.tr", "victim");
  writeBytes(".transaction.dat",
             JournalBytes()
                 .u32(3).u32(3)
                 .u32(1).str("tmp_1").str("old.txt").raw("384")
                 .u32(1).str("tmp_2").str("sub/fresh.txt").raw("384")
                 .u32(2).str("victim")
                 .bytes());
  TransactionEngine::init(&external_, pool());
  EXPECT_EQ(ReadFile("old.txt"), "old contents");
  EXPECT_FALSE(PathExists("sub/fresh.txt"));
  EXPECT_EQ(ReadFile("victim"), "victim");
  for (const char* gone : {"old.txt.bak.tr", "victim.bak.tr", "tmp_1", "tmp_2",
                           ".transaction.dat"}) {
    EXPECT_FALSE(PathExists(gone)) << gone;
  }
}

TEST_F(TransactionJournalTest, RecoveryCommitsACommittingJournalAgain) {
  VqApplication::setEnv("transact.test.var", "before");
  WriteFile("a.txt", "new");
  WriteFile("a.txt.bak.tr", "old");
  WriteFile("tmp_a", "new");
  writeBytes(".transaction.dat",
             JournalBytes()
                 .u32(4).u32(4)
                 .u32(1).str("tmp_a").str("a.txt").raw("384")
                 .u32(5)
                 .u32(6).str("prog").u32(1).str("--flag")
                 .u32(8).str("transact.test.var").str("after")
                 .bytes());
  TransactionEngine::init(&external_, pool());
  EXPECT_EQ(ReadFile("a.txt"), "new");
  EXPECT_FALSE(PathExists("a.txt.bak.tr"));
  EXPECT_FALSE(PathExists("tmp_a"));
  EXPECT_FALSE(PathExists(".transaction.dat"));
  EXPECT_EQ(external_.quits, 1);
  EXPECT_EQ(external_.launched, (std::vector<std::string>{"prog", "--flag"}));
  EXPECT_EQ(VqApplication::getEnv("transact.test.var"), "after");
}

TEST_F(TransactionJournalTest, RecoveryOfUnexecutedJournalsTouchesNoTarget) {
  // GENESIS: prepare had begun; CLEANUP: only cleanup was left. Both clean
  // up. ZERO and unknown states say nothing usable: the journal just goes.
  for (std::uint32_t state : {1u, 6u, 0u, 99u}) {
    WriteFile("t.txt", "current");
    WriteFile("t.txt.bak.tr", "backup");
    WriteFile("tmp_t", "incoming");
    writeBytes(".transaction.dat",
               JournalBytes()
                   .u32(state).u32(2)
                   .u32(1).str("tmp_t").str("t.txt").raw("384")
                   .u32(5)
                   .bytes());
    writeBytes(".transaction.dat.tmp", "torn");
    TransactionEngine::init(&external_, pool());
    EXPECT_EQ(ReadFile("t.txt"), "current") << state;
    EXPECT_FALSE(PathExists(".transaction.dat")) << state;
    EXPECT_FALSE(PathExists(".transaction.dat.tmp")) << state;
    const bool cleaned = state == 1 || state == 6;
    EXPECT_EQ(PathExists("t.txt.bak.tr"), !cleaned) << state;
    EXPECT_EQ(PathExists("tmp_t"), !cleaned) << state;
  }
  EXPECT_EQ(external_.quits, 0);
  // The lock is free again afterwards.
  TransactionEngine engine(&external_, pool());
  engine.clear(true);
  EXPECT_TRUE(engine.hasMutex());
}

}  // namespace
}  // namespace transact_test
