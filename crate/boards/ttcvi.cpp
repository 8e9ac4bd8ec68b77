#include "crate/boards/ttcvi.h"

#include "crate/boards/qem.h"

namespace vmesim {

namespace {

namespace t = regmap::ttcvi;

// Configuration ROM, one byte per word: maker, board type, revision, serial.
constexpr std::array<std::uint16_t, t::kRomWords> kRomWords = {
    0x0000, 0x000A, 0x005E, 0x0000, 0x0000, 0x0000, 0x0054, 0x0053,
    0x0000, 0x0000, 0x0000, 0x0002, 0x0000, 0x0000, 0x0000, 0x0017,
    0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000};

// CSR2 low byte: the four B-Go FIFOs report empty.
constexpr std::uint16_t kCsr2Status = 0x00AA;
// First periodic bunch-counter reset after the set-up, in BC.
constexpr Bc kFirstBcr = 100;

}  // namespace

void TtcviBoard::connect(Crate& crate) {
  qem_ = crate.find<QemBoard>();
  if (qem_ != nullptr) qem_->ttcClock(true);
}

bool TtcviBoard::read(std::uint32_t offset, Width, std::uint32_t& value) {
  if (offset >= t::kRom.offset && offset < t::kRomEnd) {
    value = kRomWords[(offset - t::kRom.offset) / 2];
    return true;
  }
  switch (offset) {
    case t::kCsr1.offset: value = csr1_; break;
    case t::kCsr2.offset: value = (csr2_ & t::kCsr2.readMask) | kCsr2Status; break;
    case t::kCountHi.offset: value = (count_ >> 16) & regmap::mask(t::count::kHi); break;
    case t::kCountLo.offset: value = count_ & 0xFFFF; break;
    case t::kL1A.offset:
    case t::kCountReset.offset:
    case t::kLongLo.offset:
    case t::kShort.offset: value = 0; break;
    case t::kLongHi.offset: value = longHi_; break;
    default: value = regs_[offset / 2]; break;
  }
  return true;
}

bool TtcviBoard::write(std::uint32_t offset, Width, std::uint32_t value) {
  const auto v = static_cast<std::uint16_t>(value);
  const Bc now = crate_.now();
  if (offset >= t::kRom.offset && offset < t::kRomEnd) return true;  // ROM ignores writes
  switch (offset) {
    case t::kCsr1.offset: csr1_ = v; break;
    case t::kCsr2.offset: csr2_ = v; break;
    case t::kCountReset.offset: count_ = 0; break;
    case t::kCountHi.offset: count_ = (count_ & 0xFFFF) | ((v & 0xFFu) << 16); break;
    case t::kCountLo.offset: count_ = (count_ & 0xFF0000) | v; break;
    case t::kL1A.offset:
      count_ = (count_ + 1) & 0xFFFFFF;
      if (qem_) qem_->ttcL1A(now);
      break;
    case t::kLongHi.offset: longHi_ = v; break;
    case t::kLongLo.offset:
      // Bit 0 of the high word: external (the board's data port), else a
      // TTCrx register; the low word carries sub-address and data.
      if (qem_)
        qem_->ttcLong(now, regmap::fieldEx(longHi_, t::longhi::kExternal) != 0,
                      static_cast<std::uint8_t>(regmap::fieldEx(v, t::longlo::kSubaddr)),
                      static_cast<std::uint8_t>(regmap::fieldEx(v, t::longlo::kData)));
      break;
    case t::kShort.offset:
      if (qem_) qem_->ttcBroadcast(now, static_cast<std::uint8_t>(v));
      break;
    case t::kBgo0Mode.offset: {
      // Channel 0 in repetitive mode sends a bunch-counter reset every orbit.
      const bool was = regmap::fieldEx(regs_[offset / 2], t::bgo::kRepeat) != 0;
      regs_[offset / 2] = v;
      const bool on = regmap::fieldEx(v, t::bgo::kRepeat) != 0;
      if (qem_ && on != was) qem_->ttcPeriodicBcr(on, now + kFirstBcr);
      break;
    }
    default: regs_[offset / 2] = v; break;
  }
  return true;
}

std::unique_ptr<Board> TtcviBoard::make(const BoardConfig& config, Crate& crate, std::string& error) {
  if (!config.options.empty()) {
    error = "unknown ttcvi option '" + config.options.front().first + "'";
    return nullptr;
  }
  if (!config.faults.empty()) {
    error = "unknown ttcvi fault '" + config.faults.front().name + "'";
    return nullptr;
  }
  if (config.size != kSize) {
    error = "a ttcvi board is 0x800 bytes";
    return nullptr;
  }
  return std::make_unique<TtcviBoard>(crate);
}

}  // namespace vmesim
