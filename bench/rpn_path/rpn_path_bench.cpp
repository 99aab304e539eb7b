// Times path selection over a document of 100,000 item elements and prints
// candidates per second: the candidate elements examined by the step that
// holds the filter, divided by the time of the whole path run. Both the
// wall-clock and the process CPU time are given, since the CPU figure stays
// meaningful on a loaded machine.

#include <tinyxml.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "rpn/rpn_path.h"

namespace {

constexpr int kItems = 100000;
constexpr int kRuns = 7;

void BuildDocument(TiXmlDocument& document) {
  auto* config = new TiXmlElement("config");
  document.LinkEndChild(config);
  for (int i = 0; i < kItems; ++i) {
    auto* item = new TiXmlElement("item");
    item->SetAttribute("id", std::to_string(i));
    item->SetAttribute("enabled", i % 2 ? "true" : "false");
    config->LinkEndChild(item);
  }
}

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void Time(TiXmlDocument& document, const char* text, size_t expected) {
  RpnPath path(text);
  std::vector<double> wall;
  std::vector<double> cpu;
  std::vector<TiXmlNode*> result;
  for (int run = 0; run < kRuns; ++run) {
    const double cpu_start = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    path.filter(&document, result);
    const auto end = std::chrono::steady_clock::now();
    cpu.push_back(CpuSeconds() - cpu_start);
    wall.push_back(std::chrono::duration<double>(end - start).count());
    if (result.size() != expected) {
      std::printf("%s: selected %zu elements, expected %zu\n", text,
                  result.size(), expected);
      return;
    }
  }
  const double wall_median = Median(wall);
  const double cpu_median = Median(cpu);
  std::printf(
      "%s\n  wall %7.2f ms  %6.2f M candidates/s | cpu %7.2f ms  "
      "%6.2f M candidates/s\n",
      text, wall_median * 1e3, kItems / wall_median / 1e6, cpu_median * 1e3,
      kItems / cpu_median / 1e6);
}

}  // namespace

int main() {
  TiXmlDocument document;
  BuildDocument(document);
  std::printf("%d item elements, medians of %d runs\n", kItems, kRuns);
  Time(document, "/config/item[@id '77777' =]", 1);
  Time(document, "/config/item[position() 10 <]", 10);
  Time(document, "/config/item[@enabled 'true' =][last() 1 =]", 1);
  return 0;
}
