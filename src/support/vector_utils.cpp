#include "support/vector_utils.h"

#include <apr_time.h>

#include <random>
#include <utility>

void shuffleVector(std::vector<std::string>& list, int start, int count) {
  const long size = static_cast<long>(list.size());
  if (start < 0 || start >= size)
    return;
  if (count == 0)
    count = static_cast<int>(size - start);
  // A range running past the end of the list is cut to it rather than
  // touching elements that do not exist.
  if (count < 0)
    return;
  if (static_cast<long>(start) + count > size) {
    count = static_cast<int>(size - start);
  }
  if (count < 2)
    return;
  // A private generator seeded from the current time in microseconds, so
  // that concurrent callers do not share the C library's rand() state.
  std::minstd_rand generator(
      static_cast<std::minstd_rand::result_type>(apr_time_now()));
  for (int i = 0; i < count; ++i) {
    const int a = static_cast<int>(generator() % count) + start;
    const int b = static_cast<int>(generator() % count) + start;
    if (a != b)
      std::swap(list[a], list[b]);
  }
}
