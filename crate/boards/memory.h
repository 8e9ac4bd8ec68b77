// Plain RAM answering D8, D16 and D32 in VME (big-endian) byte order.
#pragma once

#include <vector>

#include "crate/crate.h"

namespace vmesim {

class MemoryBoard : public Board {
 public:
  explicit MemoryBoard(std::uint32_t size);
  unsigned widths() const override { return widths_; }
  bool read(std::uint32_t offset, Width w, std::uint32_t& value) override;
  bool write(std::uint32_t offset, Width w, std::uint32_t value) override;

  // Faults of the catalogue.
  void stuck(std::uint32_t wordOffset, std::uint16_t mask0, std::uint16_t mask1);
  void alias(unsigned bit) { aliasMask_ |= 1u << bit; }
  void noWidth(unsigned widthBits) { widths_ &= ~widthBits; }

  static std::unique_ptr<Board> make(const BoardConfig& config, Crate& crate, std::string& error);

 private:
  std::uint32_t cell(std::uint32_t offset) const { return offset & ~aliasMask_; }
  std::uint8_t readByte(std::uint32_t offset) const;

  std::vector<std::uint8_t> bytes_;
  unsigned widths_ = kD8 | kD16 | kD32;
  std::uint32_t aliasMask_ = 0;
  struct Stuck {
    std::uint32_t word;
    std::uint16_t zero, one;
  };
  std::vector<Stuck> stuck_;
};

}  // namespace vmesim
