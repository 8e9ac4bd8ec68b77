// The order of a value's bytes in a transfer: VME byte order is big-endian,
// a bridge set up to swap presents them little-endian.
#pragma once

#include <cstdint>

#include "common/bus_types.h"

namespace vmebus {

enum class ByteOrder { Big, Little };

// The value of width w as its bytes, in order.
inline void packBytes(std::uint32_t value, Width w, ByteOrder order, unsigned char* bytes) {
  const unsigned n = static_cast<unsigned>(w);
  for (unsigned i = 0; i < n; ++i)
    bytes[order == ByteOrder::Big ? i : n - 1 - i] =
        static_cast<unsigned char>(value >> (8 * (n - 1 - i)));
}

// The value of width w from its bytes, in order.
inline std::uint32_t unpackBytes(const unsigned char* bytes, Width w, ByteOrder order) {
  const unsigned n = static_cast<unsigned>(w);
  std::uint32_t v = 0;
  for (unsigned i = 0; i < n; ++i) v = (v << 8) | bytes[order == ByteOrder::Big ? i : n - 1 - i];
  return v;
}

}  // namespace vmebus
