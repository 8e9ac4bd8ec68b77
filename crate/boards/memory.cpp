#include "crate/boards/memory.h"

namespace vmesim {

MemoryBoard::MemoryBoard(std::uint32_t size) : bytes_(size, 0xFF) {}

void MemoryBoard::stuck(std::uint32_t wordOffset, std::uint16_t mask0, std::uint16_t mask1) {
  stuck_.push_back(Stuck{wordOffset & ~1u, mask0, mask1});
}

std::uint8_t MemoryBoard::readByte(std::uint32_t offset) const {
  std::uint32_t c = cell(offset);
  std::uint8_t b = bytes_[c];
  for (const Stuck& s : stuck_) {
    if (cell(s.word) != (c & ~1u)) continue;  // an aliased address reaches the same cell
    // The even byte is the high half of the D16 word.
    unsigned shift = (c & 1u) ? 0 : 8;
    b = static_cast<std::uint8_t>((b & ~(s.zero >> shift)) | (s.one >> shift));
  }
  return b;
}

bool MemoryBoard::read(std::uint32_t offset, Width w, std::uint32_t& value) {
  if (w == Width::D16 && stuck_.empty()) {  // the common cycle, without faults to apply
    const std::uint32_t c = cell(offset);
    value = static_cast<std::uint32_t>(bytes_[c] << 8 | bytes_[cell(offset + 1)]);
    return true;
  }
  std::uint32_t v = 0;
  for (unsigned i = 0; i < static_cast<unsigned>(w); ++i) v = (v << 8) | readByte(offset + i);
  value = v;
  return true;
}

bool MemoryBoard::write(std::uint32_t offset, Width w, std::uint32_t value) {
  const unsigned n = static_cast<unsigned>(w);
  for (unsigned i = 0; i < n; ++i)
    bytes_[cell(offset + i)] = static_cast<std::uint8_t>(value >> (8 * (n - 1 - i)));
  return true;
}

std::unique_ptr<Board> MemoryBoard::make(const BoardConfig& config, Crate&, std::string& error) {
  if (!config.options.empty()) {
    error = "unknown memory option '" + config.options.front().first + "'";
    return nullptr;
  }
  auto m = std::make_unique<MemoryBoard>(config.size);
  for (const Fault& f : config.faults) {
    if (f.name == "stuck0" || f.name == "stuck1") {
      if (!faultArgs(f, 2, error)) return nullptr;
      if (f.args[0] >= config.size || f.args[0] % 2 != 0 || f.args[1] > 0xFFFF) {
        error = "fault " + f.name + ": offset must be an even offset inside the board, mask 16 bits";
        return nullptr;
      }
      auto mask = static_cast<std::uint16_t>(f.args[1]);
      m->stuck(f.args[0], f.name == "stuck0" ? mask : 0, f.name == "stuck1" ? mask : 0);
    } else if (f.name == "alias") {
      if (!faultArgs(f, 1, error)) return nullptr;
      if (f.args[0] > 31 || (1ull << f.args[0]) >= config.size) {
        error = "fault alias: bit " + std::to_string(f.args[0]) + " is outside the board";
        return nullptr;
      }
      m->alias(f.args[0]);
    } else if (f.name == "no-d8" || f.name == "no-d32") {
      if (!faultArgs(f, 0, error)) return nullptr;
      m->noWidth(f.name == "no-d8" ? kD8 : kD32);
    } else {
      error = "unknown memory fault '" + f.name + "'";
      return nullptr;
    }
  }
  return m;
}

}  // namespace vmesim
