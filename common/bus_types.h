// The bus's own types: address space, data width and what a bus cycle of a
// width carries, and the statuses a bus may force on the library's calls.
// The simulated crate and every access method use them.
#pragma once

#include <cstdint>

namespace vmebus {

enum class Space : std::uint8_t { A24, A32 };
enum class Width : std::uint8_t { D8 = 1, D16 = 2, D32 = 4 };

inline constexpr std::uint32_t allOnes(Width w) {
  return w == Width::D8 ? 0xFFu : w == Width::D16 ? 0xFFFFu : 0xFFFFFFFFu;
}
inline constexpr std::uint64_t spaceSize(Space s) {
  return s == Space::A24 ? 0x1000000ull : 0x100000000ull;
}
inline constexpr const char* spaceName(Space s) { return s == Space::A24 ? "A24" : "A32"; }

// A cycle of width w carries an aligned item: a D16 cycle is at an even
// address, a D32 cycle at a multiple of four.
inline constexpr bool aligned(std::uint32_t address, Width w) {
  return (address & (static_cast<std::uint32_t>(w) - 1)) == 0;
}

// Statuses forced on the library calls, 0 where a call is left alone (the
// simulated crate's library line).
struct ForcedStatuses {
  std::int16_t init = 0, size = 0, map = 0, range = 0, unmap = 0, close = 0, lookup = 0, status = 0;
};

}  // namespace vmebus
