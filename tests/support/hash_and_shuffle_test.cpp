#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/general_hash_functions.h"
#include "support/vector_utils.h"

namespace {

TEST(PJWHashTest, KnownValues) {
  EXPECT_EQ(0u, PJWHash(std::string()));
  EXPECT_EQ(65u, PJWHash(std::string("A")));
  EXPECT_EQ((65u << 4) + 66u, PJWHash(std::string("AB")));
  // 0xFF is -1, so the hash is 0xFFFFFFFF before its top bits are folded.
  EXPECT_EQ(0x0FFFFF0Fu, PJWHash(std::string("\xff", 1)));
  EXPECT_EQ(0u, PJWHash(std::string(100, 'z')) & 0xF0000000u);
  const std::string bytes("a\0b", 3);
  EXPECT_EQ(PJWHash(bytes), PJWHash(bytes.data(), bytes.size()));
}

std::vector<std::string> Numbers(int n) {
  std::vector<std::string> list;
  for (int i = 0; i < n; ++i)
    list.push_back(std::to_string(i));
  return list;
}

TEST(ShuffleVectorTest, PermutesOnlyItsRange) {
  const std::vector<std::string> original = Numbers(40);
  bool moved = false;
  for (int round = 0; round < 20 && !moved; ++round) {
    std::vector<std::string> list = original;
    shuffleVector(list, 10, 20);
    EXPECT_TRUE(std::equal(list.begin(), list.begin() + 10, original.begin()));
    EXPECT_TRUE(
        std::equal(list.begin() + 30, list.end(), original.begin() + 30));
    EXPECT_TRUE(std::is_permutation(list.begin() + 10, list.begin() + 30,
                                    original.begin() + 10));
    moved = list != original;
  }
  EXPECT_TRUE(moved) << "twenty shuffles never moved an element";
}

TEST(ShuffleVectorTest, DegenerateRangesAreSafe) {
  const std::vector<std::string> original = Numbers(5);
  std::vector<std::string> list = original;
  shuffleVector(list, 4, 0);  // one element after start
  shuffleVector(list, 9, 3);  // beyond the end
  shuffleVector(list, -1, 3);
  shuffleVector(list, 2, -4);
  EXPECT_EQ(original, list);
  // A count running past the end is cut to the list (never out of bounds).
  shuffleVector(list, 3, 100);
  EXPECT_TRUE(std::equal(list.begin(), list.begin() + 3, original.begin()));
  EXPECT_TRUE(std::is_permutation(list.begin(), list.end(), original.begin()));
}

}  // namespace
