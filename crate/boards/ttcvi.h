// The TTC sender board: 2 KiB, D16 only.  It sends L1As, broadcast command
// bytes and long-format cycles over the TTC link to the module of its crate,
// counts the L1As it sends and, once set up for it, a bunch-counter reset
// every orbit.
#pragma once

#include <array>
#include <cstdint>

#include "crate/crate.h"
#include "regmap/ttcvi.h"

namespace vmesim {

class QemBoard;

class TtcviBoard : public Board {
 public:
  static constexpr std::uint32_t kSize = regmap::ttcvi::kSize;

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
