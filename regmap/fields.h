// Registers and named fields, declared once per board.
//
// A register is its byte offset, its width in bytes, its value after a
// reset and its read-back mask (the bits that read back what was written).
// A field is a shift and a length inside its register's word:
//
//   namespace seqctl { inline constexpr Field kLast{0, 8}; }
//   fieldEx(v, seqctl::kLast)        the field's value
//   fieldDp(v, seqctl::kLast, 0xFF)  v with the field replaced
//   mask(seqctl::kLast)              its bits in place
#pragma once

#include <cstdint>

namespace regmap {

struct Field {
  unsigned shift;
  unsigned length;
};

struct Reg {
  std::uint32_t offset;
  unsigned width;  // bytes
  std::uint16_t reset;
  std::uint16_t readMask;
};

constexpr std::uint32_t mask(unsigned shift, unsigned length) {
  return length >= 32 ? ~0u << shift : ((1u << length) - 1u) << shift;
}
constexpr std::uint32_t mask(Field f) { return mask(f.shift, f.length); }

// The field's bits of value, shifted down.
constexpr std::uint32_t fieldEx(std::uint32_t value, Field f) {
  return (value & mask(f)) >> f.shift;
}
// value with the field set to x (x cut to the field's length).
constexpr std::uint32_t fieldDp(std::uint32_t value, Field f, std::uint32_t x) {
  return (value & ~mask(f)) | ((x << f.shift) & mask(f));
}
// A word of the register's width made of the field alone.
constexpr std::uint16_t word(Field f, std::uint32_t x) {
  return static_cast<std::uint16_t>(fieldDp(0, f, x));
}
// The field with all its bits set, as a D16 word.
constexpr std::uint16_t bits(Field f) { return static_cast<std::uint16_t>(mask(f)); }

}  // namespace regmap
