// The TTC sender board: 2 KiB, D16 only.  It sends L1As, broadcast command
// bytes and long-format cycles over the TTC link to the module of its crate,
// counts the L1As it sends and, once set up for it, a bunch-counter reset
// every orbit.
#pragma once

#include <array>
#include <cstdint>

#include "crate/crate.h"

namespace vmesim {

class QemBoard;

class TtcviBoard : public Board {
 public:
  static constexpr std::uint32_t kSize = 0x800;

  enum Reg : std::uint32_t {
    kRom = 0x20, kRomEnd = 0x50, kCsr1 = 0x80, kCsr2 = 0x82, kCountReset = 0x84, kL1A = 0x86,
    kCountHi = 0x88, kCountLo = 0x8A, kBgo0Mode = 0x90, kLongHi = 0xC0, kLongLo = 0xC2,
    kShort = 0xC4,
  };

  explicit TtcviBoard(Crate& crate) : crate_(crate) {}
  unsigned widths() const override { return kD16; }
  bool read(std::uint32_t offset, Width w, std::uint32_t& value) override;
  bool write(std::uint32_t offset, Width w, std::uint32_t value) override;
  void connect(Crate& crate) override;

  std::uint32_t eventCount() const { return count_; }

  static std::unique_ptr<Board> make(const BoardConfig& config, Crate& crate, std::string& error);

 private:
  Crate& crate_;
  QemBoard* qem_ = nullptr;
  std::array<std::uint16_t, kSize / 2> regs_{};  // plain registers
  std::uint16_t csr1_ = 0, csr2_ = 0, longHi_ = 0;
  std::uint32_t count_ = 0;  // 24-bit event counter
};

}  // namespace vmesim
