// The pattern generator shared by the test programs: the classic linear
// congruential rand/srand pair, the same sequence on every platform.
#pragma once

#include <cstdint>

inline std::uint32_t vmeRandState = 0;

inline void vmeSrand(std::uint32_t seed) { vmeRandState = seed; }

// 0 .. 32767
inline int vmeRand() {
  vmeRandState = vmeRandState * 214013u + 2531011u;
  return static_cast<int>((vmeRandState >> 16) & 0x7FFFu);
}
