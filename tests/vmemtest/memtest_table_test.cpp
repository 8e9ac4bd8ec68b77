// The pattern generator and the module mask table.
#include <gtest/gtest.h>

#include <vector>

#include "foundation/pattern_rand.h"
#include "programs/vmemtest/memtest.h"

TEST(PatternRand, FollowsTheSharedSequence) {
  vmeSrand(1);
  std::vector<int> got;
  for (int i = 0; i < 5; ++i) got.push_back(vmeRand());
  EXPECT_EQ(got, (std::vector<int>{41, 18467, 6334, 26500, 19169}));
  vmeSrand(0);
  EXPECT_EQ(vmeRand(), 38);
  // Reseeding repeats the sequence; values never reach bit 15.
  vmeSrand(0x12345678);
  std::vector<int> a, b;
  for (int i = 0; i < 1000; ++i) a.push_back(vmeRand());
  vmeSrand(0x12345678);
  for (int i = 0; i < 1000; ++i) b.push_back(vmeRand());
  EXPECT_EQ(a, b);
  for (int v : a) EXPECT_TRUE(v >= 0 && v <= 0x7FFF);
}

TEST(ModuleMasks, EachTypeHoldsItsRegisterBitsAndNothingElse) {
  struct Expect {
    const char* name;
    std::vector<std::pair<int, unsigned>> masks;  // register, mask
  };
  const std::vector<Expect> table = {
      {"pxCore", {{0, 0x007F}}},
      {"pxLink", {{0, 0xFFFF}, {2, 0xFFFF}, {4, 0xFFFF}}},
      {"BROOK ", {{0, 0xFFFF}, {1, 0xFFDF}, {3, 0xFFFF}, {4, 0xFFFF}, {5, 0x00FF}}},
      {"Keeper", {{1, 0xFFFF}, {3, 0xFFFC}, {7, 0xFFFF}, {8, 0xFFFF}, {9, 0xFFFF}, {10, 0xFFFF}}},
      {"Ridge ", {{3, 0xFFFF}}},
      {"pxFlow", {{1, 0xFFFF}, {2, 0x001F}}},
  };
  for (int code = 0; code < kModuleCount; ++code) {
    const Expect& e = table[static_cast<std::size_t>(code)];
    EXPECT_STREQ(kModuleTypes[static_cast<std::size_t>(code)].name, e.name);
    for (int reg = 0; reg < 16; ++reg) {
      unsigned want = 0;
      for (auto [r, m] : e.masks)
        if (r == reg) want = m;
      EXPECT_EQ(moduleMask(code, static_cast<std::uint64_t>(reg)), want)
          << e.name << " register " << reg;
    }
    // Past the sixteen registers there are no bits to test.
    EXPECT_EQ(moduleMask(code, 16), 0);
    EXPECT_EQ(moduleMask(code, 0xFFFFFFFFull), 0);
  }
  EXPECT_EQ(moduleMask(-1, 0), 0);
  EXPECT_EQ(moduleMask(kModuleCount, 0), 0);
}
