// The trigger and calibration interface: command and status registers and
// the register block of its load sequence, all D16.
#pragma once

#include <cstdint>

#include "regmap/fields.h"

namespace regmap::trigger {

inline constexpr Reg kCommand{0x0, 2, 0x0000, 0xFFFF};
inline constexpr Reg kStatus{0x2, 2, 0x0000, 0x0000};  // written: the strobe latch
inline constexpr Reg kData{0x4, 2, 0x0000, 0xFFFF};
inline constexpr Reg kClearA{0x6, 2, 0x0000, 0xFFFF};
inline constexpr Reg kClearB{0x8, 2, 0x0000, 0xFFFF};
inline constexpr Reg kClearC{0xA, 2, 0x0000, 0xFFFF};
inline constexpr std::uint32_t kBlockEnd = 0xC;  // registers at 0x0 .. 0xA

// Command bytes.
namespace cmd {
inline constexpr std::uint8_t kIdle = 0x00;
inline constexpr std::uint8_t kReset = 0xFF;
inline constexpr std::uint8_t kTrigger = 0x01;
inline constexpr std::uint8_t kArmedPattern = 0x02;  // with kArm: an armed command
inline constexpr std::uint8_t kCalibrate = 0x10;
inline constexpr std::uint8_t kArm = 0x40;
inline constexpr Field kEcho{0, 5};  // bits the status answers
}  // namespace cmd

// Status bits.
namespace status {
inline constexpr std::uint8_t kDone = 0x01;     // trigger fired, or calibration done
inline constexpr std::uint8_t kArmed = 0x04;    // an armed command is latched
inline constexpr std::uint8_t kCalBusy = 0x10;
inline constexpr std::uint8_t kCalStarted = 0x14;  // busy, as it reads right after the command
inline constexpr Field kPattern{1, 3};          // echo of the command's pattern bits
}  // namespace status

// Strobe latch words of the load sequence.
namespace strobe {
inline constexpr std::uint16_t kNone = 0x0000;
inline constexpr std::uint16_t kStart = 0x0020;
inline constexpr std::uint16_t kPattern = 0x2000;
inline constexpr std::uint16_t kPatterns = 0x4000;
inline constexpr std::uint16_t kEnable = 0x0001;  // written to the command register
}  // namespace strobe

}  // namespace regmap::trigger
