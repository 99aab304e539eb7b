// The operations that act only when their transaction commits.
#include "app/vq_application.h"
#include "transact/transact_test_support.h"
#include "transact/transaction_engine.h"
#include "transact/transactional_launch.h"
#include "transact/transactional_null.h"
#include "transact/transactional_quit.h"
#include "transact/transactional_set_application_env.h"

namespace transact_test {
namespace {

class TransactionalCommitOnlyTest : public TransactFixture {
 protected:
  FakeExternal external_;
  std::vector<std::string> trace_;
};

TEST_F(TransactionalCommitOnlyTest, ActOnlyWhenEverythingExecuted) {
  for (bool succeed : {false, true}) {
    VqApplication::setEnv("transact.test.commit", "unset");
    TransactionEngine engine(&external_, pool());
    engine.clear(true);
    auto* launch = new TransactionalLaunch(pool());
    launch->setCommand("prog");
    launch->addArgument("one");
    engine << launch;
    engine << new TransactionalQuit(pool());
    engine << new TransactionalSetApplicationEnv(pool(), "transact.test.commit",
                                                 "set");
    engine << new TransactionalNull(pool());
    engine << new ScriptedOperation(
        "last", &trace_,
        succeed ? std::vector<std::string>{} : std::vector<std::string>{
                                                   "execute"});
    EXPECT_EQ(engine.executeTransaction(), succeed);
    EXPECT_EQ(external_.quits, succeed ? 1 : 0);
    EXPECT_EQ(VqApplication::getEnv("transact.test.commit"),
              succeed ? "set" : "unset");
  }
  EXPECT_EQ(external_.launched, (std::vector<std::string>{"prog", "one"}));
}

TEST_F(TransactionalCommitOnlyTest, LaunchJournalsAndDescribesItsArguments) {
  TransactionalLaunch source(pool());
  source.setCommand("x");
  source.addArgument("a");
  source.addArgument("");
  EXPECT_EQ(source.debugString(),
            "   TransactionalLaunch { \n       command : 'x',\n       args : "
            "[\n\n         'a',\n         ''\n       ]\n   }");
  std::stringstream journal;
  source.store(journal);
  TransactionalLaunch target(pool());
  target.addArgument("stale");
  target.restore(journal);
  EXPECT_EQ(target.getCommand(), "x");
  EXPECT_EQ(target.getArguments(), (std::vector<std::string>{"a", ""}));
}

}  // namespace
}  // namespace transact_test
