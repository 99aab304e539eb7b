// Long-running memory check of the real agent against vqserve: update passes
// (each with a variable, a written file, a download and an error report) and
// command-server requests of every kind, with the agent's resident and
// anonymous memory sampled while it is idle. Prints the growth per pass and
// per request after a warm-up, and the totals.
//
//   soak_bench [PASSES [REQUESTS]]   (defaults 2000 and 24000)
//
// REQUESTS is divided evenly among the request kinds. A fifth of each
// stretch (at most 200 units) runs first as warm-up and is not counted. The
// measured passes run in tenths, each printed, so that the figures show
// whether memory levels off or keeps rising.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <vector>

#include "soak/soak_driver.h"

namespace {

long WarmUp(long units) { return std::min(units / 5, 200L); }

void PrintGrowth(const vq_soak::Growth& growth) {
  printf("%-20s %6ld units  anonymous %5ld -> %5ld KiB (%+7.1f B/unit)  "
         "resident %5ld -> %5ld KiB (%+7.1f B/unit)\n",
         growth.what.c_str(), growth.units, growth.at_start.anonymous_kib,
         growth.at_end.anonymous_kib, growth.AnonymousBytesPerUnit(),
         growth.at_start.resident_kib, growth.at_end.resident_kib,
         growth.ResidentBytesPerUnit());
  fflush(stdout);
}

// Adds `part`, which followed `total`, to it.
void Extend(vq_soak::Growth& total, const vq_soak::Growth& part) {
  total.units += part.units;
  total.at_end = part.at_end;
}

}  // namespace

int main(int argc, char** argv) {
  const long passes = argc > 1 ? atol(argv[1]) : 2000;
  const long requests = argc > 2 ? atol(argv[2]) : 24000;
  try {
    vq_soak::SoakAgent agent;
    const vq_soak::MemorySample start = agent.Sample();
    printf("after the first update: anonymous %ld KiB, resident %ld KiB\n",
           start.anonymous_kib, start.resident_kib);

    const std::vector<vq_soak::RequestKind> kinds =
        vq_soak::DefaultRequestKinds();
    const long per_kind = requests / static_cast<long>(kinds.size());
    long request_units = 0;
    long request_growth_kib = 0;
    for (const vq_soak::RequestKind& kind : kinds) {
      agent.RunRequests(kind, WarmUp(per_kind));
      const vq_soak::Growth growth =
          agent.RunRequests(kind, per_kind - WarmUp(per_kind));
      PrintGrowth(growth);
      request_units += growth.units;
      request_growth_kib += growth.AnonymousGrowthKib();
    }

    agent.RunPasses(WarmUp(passes));
    const long measured = passes - WarmUp(passes);
    vq_soak::Growth pass_growth = agent.RunPasses(0);
    for (long done = 0; done < measured;) {
      const long chunk = std::min(measured - done, std::max(1L, measured / 10));
      Extend(pass_growth, agent.RunPasses(chunk));
      done += chunk;
      printf("  after %5ld passes: anonymous %5ld KiB, resident %5ld KiB\n",
             pass_growth.units, pass_growth.at_end.anonymous_kib,
             pass_growth.at_end.resident_kib);
      fflush(stdout);
    }
    PrintGrowth(pass_growth);

    const vq_soak::MemorySample end = agent.Sample();
    printf("\nper pass:     %+.1f B anonymous over %ld passes after warm-up\n",
           pass_growth.AnonymousBytesPerUnit(), pass_growth.units);
    printf("per request:  %+.1f B anonymous over %ld requests after warm-up\n",
           request_units == 0 ? 0.0
                              : request_growth_kib * 1024.0 / request_units,
           request_units);
    printf("totals:       %ld passes and %ld requests in all; anonymous %ld -> "
           "%ld KiB, resident %ld -> %ld KiB\n",
           agent.PassesServed(), per_kind * static_cast<long>(kinds.size()),
           start.anonymous_kib, end.anonymous_kib, start.resident_kib,
           end.resident_kib);
  } catch (const std::exception& e) {
    std::cerr << "soak failed: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
