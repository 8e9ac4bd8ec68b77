#include "crate/boards/trigger.h"

namespace vmesim {

namespace {

using regmap::trigger::cmd::kArm;
using regmap::trigger::cmd::kArmedPattern;
using regmap::trigger::cmd::kCalibrate;
using regmap::trigger::cmd::kReset;
using regmap::trigger::cmd::kTrigger;
constexpr std::uint8_t kArmedBit = regmap::trigger::status::kArmed;

}  // namespace

void TriggerBoard::command(std::uint16_t value) {
  const auto b = static_cast<std::uint8_t>(value & 0xFF);
  written_ = crate_.now();
  if (b == kReset) {
    command_ = 0;
    echo_ = 0;
    armed_ = 0;
    return;
  }
  command_ = value;
  echo_ = static_cast<std::uint8_t>(regmap::mask(regmap::trigger::cmd::kEcho) & b);
  if (b == 0) armed_ = 0;
  else if ((b & (kArm | kArmedPattern)) == (kArm | kArmedPattern)) armed_ = kArmedBit;
}

std::uint16_t TriggerBoard::status() const {
  const Bc t = crate_.now() - written_;
  unsigned s = (echo_ & regmap::mask(regmap::trigger::status::kPattern)) | armed_;
  if ((echo_ & kCalibrate) != 0) {
    if (calHang_ || t < kCalBusyTime) s |= kCalibrate | kArmedBit;
    else if (trigHang_ || t < kCalBusyTime + kCalDoneTime) s |= kTrigger;
  }
  if ((echo_ & kTrigger) != 0 && (trigHang_ || t < kTriggerTime)) s |= kTrigger;
  return static_cast<std::uint16_t>(s);
}

bool TriggerBoard::read(std::uint32_t offset, Width w, std::uint32_t& value) {
  if (w != Width::D16 || offset >= kBlockEnd) return false;
  std::uint16_t v;
  if (offset == kCommand) {
    v = command_;
  } else if (offset == kStatus) {
    v = status();
    if (flakyEvery_ != 0 && ++statusReads_ % flakyEvery_ == 0) v ^= 0x0001;
  } else {
    v = latch_[offset / 2];
  }
  value = v | stuck1_[offset / 2];
  return true;
}

bool TriggerBoard::write(std::uint32_t offset, Width w, std::uint32_t value) {
  if (w != Width::D16 || offset >= kBlockEnd) return false;
  const auto v = static_cast<std::uint16_t>(value);
  latch_[offset / 2] = v;
  if (offset == kCommand) command(v);
  return true;
}

std::unique_ptr<Board> TriggerBoard::make(const BoardConfig& config, Crate& crate,
                                          std::string& error) {
  if (!config.options.empty()) {
    error = "unknown trigger option '" + config.options.front().first + "'";
    return nullptr;
  }
  if (config.size < kBlockEnd) {
    error = "trigger board needs at least 0xC bytes for its registers";
    return nullptr;
  }
  auto t = std::make_unique<TriggerBoard>(crate);
  for (const Fault& f : config.faults) {
    if (f.name == "cal-hang" || f.name == "trig-hang") {
      if (!faultArgs(f, 0, error)) return nullptr;
      if (f.name == "cal-hang") t->calHang();
      else t->trigHang();
    } else if (f.name == "stuck1") {
      if (!faultArgs(f, 2, error)) return nullptr;
      if (f.args[0] >= kBlockEnd || f.args[0] % 2 != 0 || f.args[1] > 0xFFFF) {
        error = "fault stuck1: offset must be an even register offset 0x0-0xA, mask 16 bits";
        return nullptr;
      }
      t->stuck1(f.args[0], static_cast<std::uint16_t>(f.args[1]));
    } else if (f.name == "flaky") {
      if (!faultArgs(f, 1, error)) return nullptr;
      if (f.args[0] == 0) {
        error = "fault flaky: N must be at least 1";
        return nullptr;
      }
      t->flaky(f.args[0]);
    } else {
      error = "unknown trigger fault '" + f.name + "'";
      return nullptr;
    }
  }
  return t;
}

}  // namespace vmesim
