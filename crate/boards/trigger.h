// The two-register trigger and calibration interface: a command register at
// offset 0 and a status register at offset 2, D16 only, plus the register
// block of its load sequence (offsets 0x4 to 0xA, and a strobe latch written
// at offset 2).
//
// The status answers the last command written:
//   bits 0x0E  echo of the command's pattern bits
//   bit  0x04  also set while an armed command (0x40 with 0x02) is latched,
//              until a 0x00 or 0xFF command
//   bit  0x10  calibration busy (0x14 while busy); then bit 0x01 "done"
//   bit  0x01  trigger fired; clears by itself
// 0x00 and 0xFF clear everything at once; 0xFF also reads back as 0.
// Time is the crate's BC clock: the self-clearing bits are worked out from
// the time elapsed since the command was written, when the status is read.
#pragma once

#include <array>
#include <cstdint>

#include "crate/crate.h"
#include "regmap/trigger.h"

namespace vmesim {

class TriggerBoard : public Board {
 public:
  // Self-clearing times, in BC after the command write.
  static constexpr Bc kCalBusyTime = 400;  // 10 us calibration
  static constexpr Bc kCalDoneTime = 200;  // done bit after the busy bit clears
  static constexpr Bc kTriggerTime = 200;  // trigger bit

  static constexpr std::uint32_t kCommand = regmap::trigger::kCommand.offset;
  static constexpr std::uint32_t kStatus = regmap::trigger::kStatus.offset;
  static constexpr std::uint32_t kBlockEnd = regmap::trigger::kBlockEnd;

  explicit TriggerBoard(const Crate& crate) : crate_(crate) {}

  unsigned widths() const override { return kD16; }
  bool read(std::uint32_t offset, Width w, std::uint32_t& value) override;
  bool write(std::uint32_t offset, Width w, std::uint32_t value) override;

  // Faults of the catalogue.
  void calHang() { calHang_ = true; }
  void trigHang() { trigHang_ = true; }
  void stuck1(std::uint32_t offset, std::uint16_t mask) { stuck1_[offset / 2] |= mask; }
  void flaky(std::uint32_t every) { flakyEvery_ = every; }

  // The status as it reads now, without faults or side effects.
  std::uint16_t status() const;
  // The last value written to a block register (offset 0x2 gives the strobe latch).
  std::uint16_t latch(std::uint32_t offset) const { return latch_[offset / 2]; }

  static std::unique_ptr<Board> make(const BoardConfig& config, Crate& crate, std::string& error);

 private:
  void command(std::uint16_t value);

  const Crate& crate_;
  std::uint16_t command_ = 0;  // read back at offset 0
  std::uint8_t echo_ = 0;      // command bits 0x1F of the last command
  std::uint8_t armed_ = 0;     // 0x04 while an armed command is latched
  Bc written_ = 0;             // time of the last command write

  std::array<std::uint16_t, kBlockEnd / 2> latch_{};
  std::array<std::uint16_t, kBlockEnd / 2> stuck1_{};
  bool calHang_ = false;
  bool trigHang_ = false;
  std::uint32_t flakyEvery_ = 0;
  std::uint32_t statusReads_ = 0;
};

}  // namespace vmesim
