#ifndef VQ_SUPPORT_VECTOR_UTILS_H_
#define VQ_SUPPORT_VECTOR_UTILS_H_

#include <string>
#include <vector>

// Puts the elements list[start .. start + count - 1] in random order; a
// count of 0 means "to the end of the list". Elements outside that range
// never move; a range of fewer than two elements, or one that does not lie
// within the list, is left alone. Each call seeds a fresh generator from the
// current time in microseconds.
void shuffleVector(std::vector<std::string>& list, int start, int count);

#endif  // VQ_SUPPORT_VECTOR_UTILS_H_
