// Any bytes as the journal a crashed run left in the data directory,
// followed by recovery as at start-up, in a scratch directory holding a few
// files the journal may name. The journal's records name files to move and
// delete; so that recovery cannot touch anything outside the scratch
// directory, an input that may hold an absolute path or ".." is skipped.
#include <cctype>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_scratch.h"
#include "fuzz/fuzz_targets.h"
#include "lifecycle/vq_application.h"
#include "support/apr_pool.h"
#include "transact/transaction_engine.h"
#include "transact/transactional_external_interface.h"

namespace vq_fuzz {
namespace {

class FakeExternal : public TransactionalExternalInterface {
 public:
  int launchProcess(std::string&, std::vector<std::string>&) override {
    return 0;
  }
  void setQuit() override {}
  void setUpgrade() override {}
  void setVariable(const std::string& name, const std::string& value) override {
    ApplicationVariables::set(name.c_str(), value);
  }
};

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// Whether a string of the journal may start with "/". A string follows its
// 32-bit length, whose last byte is not a path character for any length
// the file can hold; a "/" inside a relative path follows one.
bool MayNameAbsolutePath(const std::string& journal) {
  for (size_t at = journal.find('/'); at != std::string::npos;
       at = journal.find('/', at + 1)) {
    if (at == 0) return true;
    const unsigned char before = static_cast<unsigned char>(journal[at - 1]);
    if (!std::isalnum(before) && before != '_' && before != '-' &&
        before != '.' && before != '/') {
      return true;
    }
  }
  return false;
}

}  // namespace

bool FuzzJournal(const uint8_t* data, size_t size, std::string* failure) {
  const std::string journal = Bytes(data, size);
  if (MayNameAbsolutePath(journal) ||
      journal.find("..") != std::string::npos) {
    return true;
  }
  ScratchDir dir;
  VqApplication::clearEnv();
  for (const char* name : {"a", "a.bak.tr", "b", "tmp_1"}) {
    WriteFile(name, name);
  }
  WriteFile(TransactionEngine::transactionDb, journal);
  apr::Pool pool;
  FakeExternal external;
  try {
    TransactionEngine::init(&external, pool);
  } catch (const std::string&) {
  } catch (const std::exception&) {
  }
  // Whatever recovery made of the journal, the lock is free again: a lock
  // left taken blocks here, which the fuzzer reports as a hang.
  {
    TransactionEngine engine(&external, pool);
    engine.clear(true);
  }
  VqApplication::clearEnv();
  (void)failure;
  return true;
}

}  // namespace vq_fuzz
