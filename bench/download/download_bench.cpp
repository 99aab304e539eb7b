// Serves a large file on 127.0.0.1 and fetches it twice over: with the
// agent's download (streamed to a temporary file, then ssl_md5 of it, and
// the MD5 taken while streaming) and with `curl -o` followed by `md5sum`.
// Prints the throughput of each, their ratio and the peak resident memory
// of this process.
//
// Usage: bench_download [size in MiB, default 256]

#include <apr_general.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "support/apr_pool.h"
#include "testing/file_util.h"
#include "testing/http/test_http_server.h"
#include "testing/scoped_temp_dir.h"
#include "web/apple_web_download.h"
#include "web/ssl_crypto.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

long PeakRssKiB() {
  rusage usage = {};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void WriteRandomFile(const std::string& path, long mebibytes) {
  std::ofstream out(path, std::ios::binary);
  std::vector<std::uint64_t> block(1 << 17);  // 1 MiB
  std::uint64_t state = 0x9e3779b97f4a7c15ull;
  for (long i = 0; i < mebibytes; ++i) {
    for (auto& word : block) {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      word = state;
    }
    out.write(reinterpret_cast<const char*>(block.data()), 1 << 20);
  }
}

std::string RunCommand(const std::string& command) {
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char line[512];
    while (std::fgets(line, sizeof(line), pipe) != nullptr) output += line;
    pclose(pipe);
  }
  return output;
}

}  // namespace

int main(int argc, char** argv) {
  const long mebibytes = argc > 1 ? std::atol(argv[1]) : 256;
  if (mebibytes <= 0) {
    std::fprintf(stderr, "usage: %s [size in MiB]\n", argv[0]);
    return 2;
  }
  for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) {
    unsetenv(name);
  }
  apr_initialize();
  const double size_mib = static_cast<double>(mebibytes);
  double ours_best = 1e30, streamed_best = 1e30, curl_best = 1e30;
  std::string ours_md5, streamed_md5, curl_md5;
  long peak_before = 0;
  {
    vq_testing::ScopedTempDir dir;
    vq_testing::MakeDirs(dir.Append("www"));
    vq_testing::MakeDirs(dir.Append("out"));
    WriteRandomFile(dir.Append("www/big.bin"), mebibytes);
    vq_testing::TestHttpServer server(dir.Append("www"));
    const std::string url = server.url("/big.bin");
    const std::string curl_file = dir.Append("out/curl.bin");
    if (chdir(dir.Append("out").c_str()) != 0) return 1;
    peak_before = PeakRssKiB();

    for (int round = 0; round < 3; ++round) {
      Clock::time_point start = Clock::now();
      const std::string md5sum = RunCommand(
          "curl -s --noproxy '*' -o " + curl_file + " " + url +
          " && md5sum " + curl_file);
      curl_best = std::min(curl_best, Seconds(start));
      curl_md5 = md5sum.substr(0, 32);
      std::remove(curl_file.c_str());

      {
        apr::Pool pool;
        start = Clock::now();
        AppleWebDownload download(pool);
        download.setDigestWhileStreaming(false);
        // As in the agent: every transfer polls a cancel check.
        download.setCancelCheck([] { return false; });
        download.setUrl(url.c_str());
        download.get();
        ours_md5 = ssl_md5(download.DownloadFilename(), pool);
        ours_best = std::min(ours_best, Seconds(start));
        std::remove(download.DownloadFilename());
      }
      {
        apr::Pool pool;
        start = Clock::now();
        AppleWebDownload download(pool);
        download.setCancelCheck([] { return false; });
        download.setUrl(url.c_str());
        download.get();
        streamed_md5 = download.DownloadMd5();
        streamed_best = std::min(streamed_best, Seconds(start));
        std::remove(download.DownloadFilename());
      }
    }
    if (chdir("/") != 0) return 1;
  }
  apr_terminate();

  const bool same = ours_md5 == curl_md5 && streamed_md5 == curl_md5;
  std::printf("file size:                          %ld MiB\n", mebibytes);
  std::printf("curl -o + md5sum:                   %8.1f MiB/s (%.2f s)\n",
              size_mib / curl_best, curl_best);
  std::printf("AppleWebDownload + ssl_md5:         %8.1f MiB/s (%.2f s)\n",
              size_mib / ours_best, ours_best);
  std::printf("AppleWebDownload, MD5 while stream: %8.1f MiB/s (%.2f s)\n",
              size_mib / streamed_best, streamed_best);
  std::printf("ratio ours/curl (download+ssl_md5): %8.2f\n",
              curl_best / ours_best);
  std::printf("ratio ours/curl (MD5 while stream): %8.2f\n",
              curl_best / streamed_best);
  std::printf("peak resident memory:               %8.1f MiB (%.1f MiB before the downloads)\n",
              PeakRssKiB() / 1024.0, peak_before / 1024.0);
  std::printf("digests agree:                      %s (%s)\n",
              same ? "yes" : "NO", curl_md5.c_str());
  return same ? 0 : 1;
}
