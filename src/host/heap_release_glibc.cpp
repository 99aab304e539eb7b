#include "host/heap_release.h"

#include <malloc.h>

namespace host {
namespace {

// Blocks from this size up are mapped on their own. Fixing it (glibc's
// default size) stops glibc from raising it to the largest block freed so
// far, which would move the 1 MiB receive buffers into the thread's heap.
constexpr int kMapOnItsOwnBytes = 128 * 1024;
// Free space above this at the top of a heap is returned when a block next
// to it is freed.
constexpr int kTrimAboveBytes = 64 * 1024;
// Heaps shared by all threads. By default glibc gives threads up to eight
// heaps per core; with the command server's many workers each one serving
// its first large reply grows a heap of its own that is then kept, so
// memory creeps up for as long as new workers are being used.
constexpr int kHeaps = 2;

}  // namespace

void tuneHeapForLongRunning() {
  mallopt(M_MMAP_THRESHOLD, kMapOnItsOwnBytes);
  mallopt(M_TRIM_THRESHOLD, kTrimAboveBytes);
  mallopt(M_ARENA_MAX, kHeaps);
  // No extra reserve when a heap grows: the next pass is seconds or minutes
  // away, and growing again then costs one system call.
  mallopt(M_TOP_PAD, 0);
}

void releaseFreeHeapMemory() { malloc_trim(0); }

}  // namespace host
