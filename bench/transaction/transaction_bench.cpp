// Times one transaction of many file moves against the same copies made by
// `cp --backup` (which also keeps what it overwrites) followed by `sync`, and
// prints both times and their ratio. Usage: transaction_bench [directory]
// (default: $TMPDIR or /tmp) [rounds] (default 3). Files are made in a
// fresh directory there. Both sides start from flushed files and include
// their flush to disk.
#include <apr_general.h>
#include <apr_pools.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "transact/transaction_engine.h"
#include "transact/transactional_file_move.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

void writeFile(const fs::path& file, std::size_t size, char fill) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  std::string block(size, fill);
  out.write(block.data(), static_cast<std::streamsize>(block.size()));
}

void flushEverything() { ::sync(); }

// Old destinations in dst/, new files in src/ under the same names.
void makeFiles(const fs::path& root, int count, std::size_t size) {
  fs::remove_all(root);
  fs::create_directories(root / "dst");
  fs::create_directories(root / "src");
  for (int i = 0; i < count; ++i) {
    const std::string name = "f" + std::to_string(i) + ".dat";
    writeFile(root / "dst" / name, size, 'o');
    writeFile(root / "src" / name, size, 'n');
  }
  flushEverything();
}

double timeTransaction(const fs::path& root, int count, apr_pool_t* pool) {
  const fs::path previous = fs::current_path();
  fs::current_path(root);
  const auto start = Clock::now();
  {
    TransactionEngine engine(nullptr, pool);
    engine.clear(true);
    for (int i = 0; i < count; ++i) {
      const std::string name = "f" + std::to_string(i) + ".dat";
      auto* move = new TransactionalFileMove(engine.pool());
      move->setSourceFilename("src/" + name);
      move->setDestinationFilename("dst/" + name);
      engine << move;
    }
    if (!engine.executeTransaction()) std::fprintf(stderr, "failed\n");
  }
  const double seconds =
      std::chrono::duration<double>(Clock::now() - start).count();
  fs::current_path(previous);
  return seconds;
}

double timeCopy(const fs::path& root) {
  const std::string command = "cd '" + root.string() +
                              "' && cp --backup=simple -t dst src/* && sync";
  const auto start = Clock::now();
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "cp failed\n");
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Alternates the two so that a busy machine weighs on both alike, and
// prints the medians.
void compare(const fs::path& root, const char* label, int count,
             std::size_t size, int rounds, apr_pool_t* pool) {
  std::vector<double> ours;
  std::vector<double> theirs;
  for (int round = 0; round < rounds; ++round) {
    makeFiles(root, count, size);
    ours.push_back(timeTransaction(root, count, pool));
    makeFiles(root, count, size);
    theirs.push_back(timeCopy(root));
  }
  const double a = median(ours);
  const double b = median(theirs);
  std::printf("%-22s transaction %7.3f s   cp --backup + sync %7.3f s   "
              "ratio %5.2f   (median of %d)\n",
              label, a, b, a / b, rounds);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  apr_initialize();
  apr_pool_t* pool = nullptr;
  apr_pool_create(&pool, nullptr);
  const char* tmp = getenv("TMPDIR");
  fs::path base = argc > 1 ? argv[1] : (tmp != nullptr && *tmp ? tmp : "/tmp");
  const fs::path root = base / ("vq_transaction_bench." +
                                std::to_string(static_cast<long>(getpid())));
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  compare(root, "1000 moves of 4 KiB", 1000, 4 * 1024, rounds, pool);
  compare(root, "10 moves of 10 MiB", 10, 10 * 1024 * 1024, rounds, pool);
  fs::remove_all(root);
  apr_pool_destroy(pool);
  apr_terminate();
  return 0;
}
