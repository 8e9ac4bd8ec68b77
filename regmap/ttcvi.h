// The TTCvi: the TTC sender board, 2 KiB of D16 registers.
#pragma once

#include <cstdint>

#include "regmap/fields.h"

namespace regmap::ttcvi {

inline constexpr std::uint32_t kSize = 0x800;

inline constexpr Reg kRom{0x20, 2, 0x0000, 0x0000};  // 24 words of the configuration ROM
inline constexpr int kRomWords = 24;
inline constexpr std::uint32_t kRomEnd = kRom.offset + 2 * kRomWords;
inline constexpr Reg kCsr1{0x80, 2, 0x0000, 0xFFFF};
inline constexpr Reg kCsr2{0x82, 2, 0x0000, 0xFF00};
inline constexpr Reg kCountReset{0x84, 2, 0x0000, 0x0000};  // written: the counter counts from 0
inline constexpr Reg kL1A{0x86, 2, 0x0000, 0x0000};         // written: one L1A
inline constexpr Reg kCountHi{0x88, 2, 0x0000, 0x00FF};     // event counter bits 16-23
inline constexpr Reg kCountLo{0x8A, 2, 0x0000, 0xFFFF};     // event counter bits 0-15
inline constexpr Reg kBgo0Mode{0x90, 2, 0x0000, 0xFFFF};
inline constexpr Reg kX92{0x92, 2, 0x0000, 0xFFFF};
inline constexpr Reg kX94{0x94, 2, 0x0000, 0xFFFF};
inline constexpr Reg kXB2{0xB2, 2, 0x0000, 0xFFFF};
inline constexpr Reg kLongHi{0xC0, 2, 0x0000, 0xFFFF};  // long-format cycle, high word first
inline constexpr Reg kLongLo{0xC2, 2, 0x0000, 0x0000};  // low word; this write sends the cycle
inline constexpr Reg kShort{0xC4, 2, 0x0000, 0x0000};   // short-format broadcast of a byte

namespace count {
inline constexpr Field kHi{0, 8};
}

namespace bgo {
inline constexpr Field kRepeat{0, 1};  // channel 0: a BCR every orbit
}

namespace longhi {
inline constexpr Field kExternal{0, 1};  // to the board's data port, else a TTCrx register
inline constexpr std::uint16_t kToData = 0x8001;
inline constexpr std::uint16_t kToTTCrx = 0x8000;
}  // namespace longhi

namespace longlo {
inline constexpr Field kData{0, 8}, kSubaddr{8, 8};
}

}  // namespace regmap::ttcvi
