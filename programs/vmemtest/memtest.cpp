#include "programs/vmemtest/memtest.h"

#include <cstdio>

#include "foundation/pattern_rand.h"
#include "foundation/verdicts.h"

bool traceMode = false;
std::uint32_t masksSeed = 0, shortSeed = 0, charSeed = 0, longSeed = 0;
std::uint64_t blockRoom = 0;

namespace {

// Shift-register module: what is written to registers 1 and 2 shows up in
// registers 3 and 4.
struct ShiftEntry {
  std::uint16_t mask, value;
};
constexpr std::array<ShiftEntry, 5> kShift = {{{0, 0},
                                               {0xFFFF, 0xABCD},
                                               {0x001F, 0x0009},
                                               {0xFFFF, 0xABCD},
                                               {0x001F, 0x0009}}};

bool markerInside(std::uint32_t j) {
  return kMarkerOffset + 2ull * j + 2 <= blockRoom;
}

// Reads the error-marker word of item j so the failure shows on the bus.
bool readMarker(VmePtr block, std::uint32_t j, std::uint16_t& value) {
  if (!markerInside(j)) {
    std::printf("error address %04llx is outside the window, not read\n",
                static_cast<unsigned long long>(kMarkerOffset + 2ull * j));
    return false;
  }
  value = block.read16(kMarkerOffset + 2 * j);
  return true;
}

}  // namespace

std::uint16_t moduleMask(int code, std::uint64_t index) {
  if (code < 0 || code >= kModuleCount || index >= 16) return 0;
  return kModuleTypes[static_cast<std::size_t>(code)].masks[static_cast<std::size_t>(index)];
}

int testShift(VmePtr block, std::uint32_t loops) {
  int errors = 0;
  for (std::uint32_t loop = 0; loop < loops; ++loop) {
    (void)block.read16(2 * 7);
    (void)block.read16(2 * 5);
    for (std::uint32_t reg = 1; reg <= 2; ++reg) {
      const ShiftEntry& e = kShift[reg];
      const auto v = static_cast<std::uint16_t>(e.value & e.mask);
      block.write16(2 * reg, v);
      if (traceMode)
        std::printf("wrote %04x, read %04x, mask %04x, short word %x\n", v,
                    block.read16(2 * reg) & e.mask, e.mask, reg);
    }
    (void)block.read16(2 * 6);
    for (std::uint32_t reg = 3; reg <= 4; ++reg) {
      const ShiftEntry& e = kShift[reg];
      if ((block.read16(2 * reg) & e.mask) != e.value) {
        std::uint16_t marker;
        (void)readMarker(block, reg, marker);
        ++errors;
      }
    }
  }
  return errors;
}

int testMasks(VmePtr block, std::uint32_t bytes, std::uint32_t loops, int module,
              std::uint32_t firstRegister) {
  const std::uint32_t words = bytes / 2;
  int errors = 0;
  for (std::uint32_t loop = 0; loop < loops; ++loop) {
    vmeSrand(masksSeed);
    for (std::uint32_t j = 0; j < words; ++j) {
      const std::uint16_t mask = moduleMask(module, std::uint64_t{firstRegister} + j);
      const auto v = static_cast<std::uint16_t>(vmeRand() & mask);
      block.write16(2 * j, v);
      if (traceMode)
        std::printf("wrote %04x, read %04x, mask %04x, short word %x\n", v,
                    block.read16(2 * j) & mask, mask, j);
    }
    vmeSrand(masksSeed);
    std::uint32_t last = masksSeed;
    for (std::uint32_t j = 0; j < words; ++j) {
      const std::uint16_t mask = moduleMask(module, std::uint64_t{firstRegister} + j);
      const auto drawn = static_cast<std::uint32_t>(vmeRand());
      const auto expected = static_cast<std::uint16_t>(drawn & mask);
      const auto got = static_cast<std::uint16_t>(block.read16(2 * j) & mask);
      // The last expected value seeds the next loop.  Words whose mask is 0
      // expect nothing: a tail of them must not bring seed 0 (and so the
      // same pattern) back.
      if (mask != 0) last = expected;
      if (got == expected) continue;
      ++errors;
      std::uint16_t marker;
      if (readMarker(block, j, marker))
        printErrorLine("wrote %04x, read %04x, %04x, error address %04x, short word %x\n", expected,
                    got, marker, kMarkerOffset + 2 * j, j);
      else
        printErrorLine("wrote %04x, read %04x, short word %x\n", expected, got, j);
    }
    masksSeed = last;
  }
  return errors;
}

int testShort(VmePtr block, std::uint32_t bytes, std::uint32_t loops) {
  const std::uint32_t words = bytes / 2;
  int errors = 0;
  for (std::uint32_t loop = 0; loop < loops; ++loop) {
    vmeSrand(shortSeed);
    for (std::uint32_t j = 0; j < words; ++j) {
      const auto v = static_cast<std::uint16_t>(vmeRand());
      block.write16(2 * j, v);
      if (traceMode)
        std::printf("wrote %04x, read %04x, short word %x\n", v, block.read16(2 * j), j);
    }
    vmeSrand(shortSeed);
    std::uint32_t last = shortSeed;
    for (std::uint32_t j = 0; j < words; ++j) {
      const auto v = static_cast<std::uint16_t>(vmeRand());
      if (block.read16(2 * j) != v) ++errors;
      last = v;
    }
    shortSeed = last;
  }
  return errors;
}

int testChar(VmePtr block, std::uint32_t bytes, std::uint32_t loops) {
  int errors = 0;
  for (std::uint32_t loop = 0; loop < loops; ++loop) {
    vmeSrand(charSeed);
    for (std::uint32_t j = 0; j < bytes; ++j) {
      const auto v = static_cast<std::uint8_t>(vmeRand() & 0xFF);
      block.write8(j, v);
      if (traceMode) std::printf("wrote %02x, read %02x, char word %x\n", v, block.read8(j), j);
    }
    vmeSrand(charSeed);
    std::uint32_t last = charSeed;
    for (std::uint32_t j = 0; j < bytes; ++j) {
      const auto v = static_cast<std::uint8_t>(vmeRand() & 0xFF);
      if (block.read8(j) != v) ++errors;
      last = v;
    }
    charSeed = last;
  }
  return errors;
}

namespace {
std::uint32_t drawLong() {
  const auto high = static_cast<std::uint32_t>(vmeRand()) << 16;
  return high | (static_cast<std::uint32_t>(vmeRand()) & 0xFFFF);
}
}  // namespace

int testLong(VmePtr block, std::uint32_t bytes, std::uint32_t loops) {
  const std::uint32_t words = bytes / 4;  // a trailing D16 word is not tested
  int errors = 0;
  for (std::uint32_t loop = 0; loop < loops; ++loop) {
    vmeSrand(longSeed);
    for (std::uint32_t j = 0; j < words; ++j) {
      const std::uint32_t v = drawLong();
      block.write32(4 * j, v);
      if (traceMode)
        std::printf("wrote %08lx, read %08lx, long word %x\n", static_cast<unsigned long>(v),
                    static_cast<unsigned long>(block.read32(4 * j)), j);
    }
    vmeSrand(longSeed);
    std::uint32_t last = longSeed;
    for (std::uint32_t j = 0; j < words; ++j) {
      const std::uint32_t v = drawLong();
      if (block.read32(4 * j) != v) ++errors;
      last = v;
    }
    longSeed = last;
  }
  return errors;
}
