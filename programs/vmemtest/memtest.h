// Pattern tests of a block of D16 words: pseudo-random values written with
// D16, D8 and D32 cycles and read back, masked by the register layout of a
// known module type for the Masks and Shift tests.
#pragma once

#include <array>
#include <cstdint>

#include "buslib/vme_ptr.h"

struct ModuleType {
  const char* name;  // six characters
  std::array<std::uint16_t, 16> masks;  // bits that read back, per D16 register
};

inline constexpr int kModuleCount = 6;
inline constexpr int kShiftModule = 5;

inline constexpr std::array<ModuleType, kModuleCount> kModuleTypes = {{
    {"pxCore", {0x007F}},
    {"pxLink", {0xFFFF, 0, 0xFFFF, 0, 0xFFFF}},
    {"BROOK ", {0xFFFF, 0xFFDF, 0, 0xFFFF, 0xFFFF, 0x00FF}},
    {"Keeper", {0, 0xFFFF, 0, 0xFFFC, 0, 0, 0, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}},
    {"Ridge ", {0, 0, 0, 0xFFFF}},
    {"pxFlow", {0, 0xFFFF, 0x001F}},
}};

// Mask of register index of a module; 0 past its sixteen registers.
std::uint16_t moduleMask(int code, std::uint64_t index);

// The error-marker word of item j lies this many bytes past the block start.
inline constexpr std::uint32_t kMarkerOffset = 0xFF00;

// Test state, kept for the whole run.
extern bool traceMode;
extern std::uint32_t masksSeed, shortSeed, charSeed, longSeed;
// Bytes of the window from the block start to its end; no access goes past.
extern std::uint64_t blockRoom;

// Each returns its error count.  bytes is the block length.
int testShift(VmePtr block, std::uint32_t loops);
int testMasks(VmePtr block, std::uint32_t bytes, std::uint32_t loops, int module,
              std::uint32_t firstRegister);
int testShort(VmePtr block, std::uint32_t bytes, std::uint32_t loops);
int testChar(VmePtr block, std::uint32_t bytes, std::uint32_t loops);
int testLong(VmePtr block, std::uint32_t bytes, std::uint32_t loops);
