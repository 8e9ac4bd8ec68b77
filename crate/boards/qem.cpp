#include "crate/boards/qem.h"

#include <algorithm>
#include <limits>

namespace vmesim {

namespace {

namespace q = regmap::qem;

constexpr Bc kNever = std::numeric_limits<Bc>::max();

using regmap::bits;
using regmap::fieldEx;

constexpr std::uint8_t kL1A = bits(q::cmd::kL1A), kECR = bits(q::cmd::kECR),
                       kBCR = bits(q::cmd::kBCR), kCAL = bits(q::cmd::kCAL);
constexpr std::uint8_t kSerId = bits(q::cmd::kSerId), kSerTT = bits(q::cmd::kSerTT);

constexpr Bc kCalBase = q::delays::kCalBase;  // CAL to L1A: delay low byte + 29
constexpr Bc kBurstPeriod = 8;    // L1A to next burst command
constexpr Bc kI2cAccess = 400;    // one TTCrx register access on the I2C port
constexpr Bc kI2cInit = 10;       // port busy after a reset
constexpr Bc kTtcrxLateReady = 100;

// TTCrx registers after a reset.
constexpr std::array<std::uint8_t, 32> kTtcrxReset = {
    0x0E, 0x0E, 0x00, 0x93, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

// Command register pulse bit -> command byte bit.
std::uint8_t pulseBits(std::uint16_t pulses) {
  std::uint8_t b = 0;
  if (fieldEx(pulses, q::command::kL1A)) b |= kL1A;
  if (fieldEx(pulses, q::command::kECR)) b |= kECR;
  if (fieldEx(pulses, q::command::kBCR)) b |= kBCR;
  if (fieldEx(pulses, q::command::kCAL)) b |= kCAL;
  if (fieldEx(pulses, q::command::kCmd40)) b |= bits(q::cmd::kCmd40);
  if (fieldEx(pulses, q::command::kCmd80)) b |= bits(q::cmd::kCmd80);
  return b;
}

}  // namespace

QemBoard::QemBoard(Crate& crate, unsigned firmware, unsigned serial, const Faults& faults)
    : crate_(crate), firmware_(firmware), serial_(serial), faults_(faults), ram_(kRamWords, 0) {
  reset(0);
}

// ---- time ------------------------------------------------------------------

// Twelve-bit bunch counter, reset by a BCR so that the BC after it is bunch
// 0; without BCRs it runs through all 4096 values.  The BC of the BCR itself
// is the last bunch of the orbit.
unsigned QemBoard::bunch(Bc t) const {
  const std::int64_t d = static_cast<std::int64_t>(t) - lastBcr_ - 1;
  if (d < 0) return kOrbit - 1;
  return static_cast<unsigned>(d & 0xFFF);
}

void QemBoard::schedule(Bc t, Kind k, std::uint8_t a, std::uint8_t b) {
  queue_.push(Event{t, seq_++, k, a, b});
}

void QemBoard::catchUp(Bc now) {
  if (now < caught_) now = caught_;
  for (;;) {
    Bc t = kNever;
    int which = -1;
    if (!queue_.empty()) t = queue_.top().time, which = 0;
    if (playing_ && playStart_ + playNext_ < t) t = playStart_ + playNext_, which = 1;
    if (burstGen_ && burstNext_ < t) t = burstNext_, which = 2;
    if (bcrOn_ && bcrNext_ < t) t = bcrNext_, which = 3;
    if (which < 0 || t >= now) break;
    switch (which) {
      case 0: {
        Event e = queue_.top();
        queue_.pop();
        process(e);
        break;
      }
      case 1: playWord(); break;
      case 2: burstStep(); break;
      default:
        issue(bcrNext_, kBCR, kTtc);
        bcrNext_ += kOrbit;
        break;
    }
  }
  if (recActive_ && now > recEnd_) {
    recActive_ = false;
    if (faults_.seqHang) seqHung_ = true;
  }
  finishI2C(now);
  caught_ = now;
}

void QemBoard::process(const Event& e) {
  switch (e.kind) {
    case Kind::Issue: issue(e.time, e.a, kVme); break;
    case Kind::CalL1A: issue(e.time, kL1A, kVme); break;
    case Kind::TtcL1A:
      ttcEvents_ |= bits(q::ttccmd::kL1A);
      // The late receiver's bunch count reaches the BCin latch one BC on.
      {
        unsigned b = bunch(e.time) + (faults_.ttcrxLate ? 1 : 0);
        if (b == kOrbit) b = 0;
        bcin_ = static_cast<std::uint16_t>(b & 0xFFF);
      }
      issue(e.time, kL1A, kTtc);
      break;
    case Kind::TtcBcast: {
      auto byte = static_cast<std::uint8_t>(e.a & ~faults_.bcastDead);
      ttcEvents_ = static_cast<std::uint16_t>((ttcEvents_ & ~bits(q::ttccmd::kBroadcastByte)) | byte |
                                             bits(q::ttccmd::kBroadcast));
      std::uint8_t bits = 0;
      if (byte & 0x01) bits |= kBCR;
      if (byte & 0x02) bits |= kECR;
      if (byte & 0x04) bits |= regmap::bits(q::cmd::kCmd40);
      if (byte & 0x40) bits |= kCAL;
      if (bits) issue(e.time, bits, kTtc);
      break;
    }
    case Kind::TtcData:
      if (faults_.ttcDataDead) break;
      ttcdat_ = e.a;
      ttid_ = static_cast<std::uint16_t>(((e.b & 3u) << 8) | e.a);
      ttcEvents_ |= bits(q::ttccmd::kData);
      // A data cycle's own trigger-type train is not sampled by the sink.
      startTrain(e.time, 1, ttid_, 10, kNever);
      break;
    case Kind::TtcInternal: ttcrx_[e.b & 0x1F] = e.a; break;
  }
}

// ---- issuing commands --------------------------------------------------------

void QemBoard::issue(Bc t, std::uint8_t bits, unsigned origin) {
  output_ |= bits;
  if (bits & kECR) ecr();
  if (bits & kBCR) lastBcr_ = static_cast<std::int64_t>(t);
  if (bits & kL1A) l1a(t, origin);
  if (!(origin & kPlayed)) sink(t, bits);
  if ((bits & kCAL) && (origin & kVme)) {
    Bc d = fieldEx(delays_, q::delays::kCal) + kCalBase + faults_.calDelay;
    schedule(t + d, Kind::CalL1A);
  }
}

void QemBoard::ecr() {
  if (oldFirmware() || faults_.ecrImmediate) {
    count_ = 0;
    ecrPending_ = false;
  } else {
    ecrPending_ = true;
  }
}

void QemBoard::l1a(Bc t, unsigned origin) {
  const bool played = (origin & kPlayed) != 0;
  if (recArmed_ && !played) {
    recArmed_ = false;
    recActive_ = true;
    recStart_ = t;
    recEnd_ = t + (seqLast_ & (kRamWords - 1));
    if (!faults_.sinkDead)
      for (Bc k = 0; k <= recEnd_ - recStart_; ++k) ram_[cell(static_cast<std::uint32_t>(k))] &= 0x00FF;
  }

  if (ecrPending_) {
    count_ = 0;
    ecrPending_ = false;
  } else {
    const unsigned loBits = oldFirmware() ? 12 : 16;
    const std::uint32_t loMask = (1u << loBits) - 1;
    std::uint32_t lo = (count_ & loMask) + 1;
    std::uint32_t hi = count_ >> loBits;
    if (lo > loMask) {
      lo = 0;
      if (!faults_.l1idNoCarry) ++hi;
    }
    count_ = ((hi << loBits) | lo) & 0xFFFFFF;
  }

  const unsigned off = faults_.bcidNoOffset ? 0 : offsetNibble_;
  // A borrow from the offset goes back into the counter's previous cycle:
  // the orbit before a BCR, or all 4096 values when the counter, running
  // without BCRs, wrapped by itself.
  const unsigned b = bunch(t);
  const bool wrappedFree = static_cast<std::int64_t>(t) - lastBcr_ - 1 >= 0x1000;
  const unsigned cycle = wrappedFree ? 0x1000 : kOrbit;
  bcidLatch_ = static_cast<std::uint16_t>(b >= off ? b - off : b + cycle - off);

  if (!played && (enTTC_ & q::enttc::kTrainsOn) == q::enttc::kTrainsOn) {
    startTrain(t, 0, count_ | (static_cast<std::uint64_t>(bcidLatch_) << 24), 36, t);
    startTrain(t, 1, fieldEx(ttid_, q::ttid::kType), q::ttid::kType.length, t);
  }
}

// One train on a serial line: start bit, the fields LSB first, stop bit.
// Trains queue behind the line's previous one.
void QemBoard::startTrain(Bc t, int line, std::uint64_t fields, unsigned width, Bc l1aTime) {
  if (line == 0 ? faults_.serialIdDead : faults_.serialTtDead) return;
  const std::uint8_t bit = line == 0 ? kSerId : kSerTT;
  if (line == 0 && faults_.serialIdBit >= 0 && static_cast<unsigned>(faults_.serialIdBit) < width)
    fields ^= 1ull << faults_.serialIdBit;
  const Bc s = std::max(t + 1, lineFree_[line]);
  lineFree_[line] = s + width + 2;
  output_ |= bit;
  if (cmdBusy_ && t <= cmdBusyUntil_) cmdBusyUntil_ = std::max(cmdBusyUntil_, s + width + 1);
  if (!recActive_ || l1aTime == kNever || l1aTime < recStart_ || faults_.sinkDead) return;
  for (unsigned i = 0; i <= width; ++i) {
    const bool one = i == 0 || ((fields >> (i - 1)) & 1u);
    if (one && recording(s + i)) ram_[cell(static_cast<std::uint32_t>(s + i - recStart_))] |= bit << 8;
  }
}

void QemBoard::sink(Bc t, std::uint8_t bits) {
  if (bits == 0 || faults_.sinkDead || !recording(t)) return;
  ram_[cell(static_cast<std::uint32_t>(t - recStart_))] |= static_cast<std::uint16_t>(bits << 8);
}

// ---- sequencer and bursts ----------------------------------------------------

void QemBoard::playWord() {
  const std::uint32_t k = playNext_++;
  const Bc t = playStart_ + k;
  const auto d = static_cast<std::uint8_t>(ramRead(k) & 0xFF);
  if (!faults_.sinkDead) {
    std::uint16_t& c = ram_[cell(k)];
    c = static_cast<std::uint16_t>((c & 0x00FF) | (d << 8));
  }
  if (d) issue(t, d, kPlayed);
  if (playNext_ >= playCount_) {
    playing_ = false;
    if (faults_.seqHang) seqHung_ = true;
  }
}

void QemBoard::startBurst(Bc t, bool cal) {
  if (burstGen_ || burst_ == 0) return;
  const Bc d = fieldEx(delays_, q::delays::kCal) + kCalBase + faults_.calDelay;
  burstGen_ = true;
  burstCal_ = cal;
  burstLeft_ = burst_;
  burstNext_ = t + 1;
  burstGap_ = cal ? d + kBurstPeriod : kBurstPeriod;
  burstUntil_ = t + 1 + (burstLeft_ - 1) * burstGap_ + (cal ? d : 0);
  burstOn_ = true;
  if (faults_.burstHang) burstHung_ = true;
}

void QemBoard::burstStep() {
  issue(burstNext_, burstCal_ ? kCAL : kL1A, kVme);
  if (--burstLeft_ == 0) burstGen_ = false;
  else burstNext_ += burstGap_;
}

// ---- register side effects -----------------------------------------------------

void QemBoard::reset(Bc t) {
  while (!queue_.empty()) queue_.pop();
  enables_ = command_ = burst_ = x06_ = x08_ = delays_ = 0;
  ttid_ = enTTC_ = seqControl_ = seqLast_ = x1E_ = x28_ = 0;
  offsetNibble_ = bcidLatch_ = ttcdat_ = bcin_ = 0;
  ttcEvents_ = 0;
  output_ = 0;
  count_ = oldFirmware() ? 0 : 0xFFFFFF;
  ecrPending_ = false;
  lastBcr_ = static_cast<std::int64_t>(t) - 1;
  lineFree_ = {t, t};
  cmdBusy_ = false;
  cmdBusyUntil_ = 0;
  playing_ = recArmed_ = recActive_ = seqHung_ = false;
  burstGen_ = burstOn_ = burstHung_ = false;
  ttcrxReadyAt_ = t + (faults_.ttcrxLate ? kTtcrxLateReady : 1);
  ttcrx_ = kTtcrxReset;
  i2c_ = 0;
  i2cBusy_ = true;
  i2cOp_ = -1;
  i2cDone_ = t + kI2cInit;
  resetPending_ = faults_.hasReset;
}

void QemBoard::writeCommand(Bc t, std::uint16_t v) {
  if (v == q::command::kReset) {
    reset(t);
    return;
  }
  const auto rising = static_cast<std::uint16_t>(v & ~command_);
  command_ = v;
  const auto pulses = static_cast<std::uint16_t>(rising & bits(q::command::kPulses) & ~faults_.cmdDead);
  if ((v & q::command::kBurstMode) == q::command::kBurstMode) {
    // Burst mode: the rising 0x0400 starts an L1A burst when the enables
    // allow it; a CAL or L1A pulse starts a burst of that command.
    if (fieldEx(rising, q::command::kBurstGo) && fieldEx(enables_, q::enables::kBurst)) startBurst(t, false);
    else if (fieldEx(pulses, q::command::kCAL)) startBurst(t, true);
    else if (fieldEx(pulses, q::command::kL1A)) startBurst(t, false);
    return;
  }
  const std::uint8_t bits = pulseBits(pulses);
  if (bits == 0) return;
  Bc until = t + 1;
  if (bits & kCAL) until += fieldEx(delays_, q::delays::kCal) + kCalBase + faults_.calDelay;
  cmdBusyUntil_ = cmdBusy_ ? std::max(cmdBusyUntil_, until) : until;
  cmdBusy_ = true;
  schedule(t + 1, Kind::Issue, bits);
}

void QemBoard::writeSeqControl(Bc t, std::uint16_t v) {
  seqControl_ = v;
  if ((v & q::seqctl::kStopBits) == q::seqctl::kStopBits) {
    playing_ = recArmed_ = recActive_ = false;
    return;
  }
  if (seqHung_) return;
  if ((v & q::seqctl::kPlayBits) == q::seqctl::kPlayBits) {
    recArmed_ = recActive_ = false;
    playing_ = true;
    playStart_ = t + 1;
    playNext_ = 0;
    playCount_ = (seqLast_ & (kRamWords - 1)) + 1u;
  } else if (v & q::seqctl::kRecordBits) {
    // Record: the sink starts with the next L1A.
    recActive_ = false;
    recArmed_ = true;
  }
}

void QemBoard::writeI2C(Bc t, std::uint16_t v) {
  if (i2cBusy_) return;
  i2c_ = v & q::i2c::kValue;
  if (!fieldEx(v, q::i2c::kStart)) return;
  i2cBusy_ = true;
  i2cOp_ = static_cast<int>(fieldEx(v, q::i2c::kOp));
  if (faults_.i2cHang) i2cHung_ = true;
  i2cDone_ = t + kI2cAccess;
}

void QemBoard::finishI2C(Bc now) {
  if (!i2cBusy_ || i2cHung_ || now <= i2cDone_) return;
  i2cBusy_ = false;
  if (i2cOp_ < 0) return;
  const auto op = static_cast<std::uint32_t>(i2cOp_);
  const unsigned reg = fieldEx(op, q::i2c::kReg);
  if (fieldEx(op, q::i2c::kRead))
    i2c_ = static_cast<std::uint16_t>(regmap::fieldDp(i2c_, q::i2c::kData, ttcrx_[reg]));
  else ttcrx_[reg] = static_cast<std::uint8_t>(fieldEx(op, q::i2c::kData));
  i2cOp_ = -1;
}

// ---- TTC input -------------------------------------------------------------------

void QemBoard::ttcL1A(Bc t) {
  catchUp(t);
  schedule(t + kTtcLatency + (faults_.ttcrxLate ? 1 : 0), Kind::TtcL1A);
}

void QemBoard::ttcBroadcast(Bc t, std::uint8_t byte) {
  catchUp(t);
  schedule(t + kTtcLatency, Kind::TtcBcast, byte);
}

void QemBoard::ttcLong(Bc t, bool external, std::uint8_t subaddr, std::uint8_t data) {
  catchUp(t);
  schedule(t + kTtcLatency, external ? Kind::TtcData : Kind::TtcInternal, data, subaddr);
}

void QemBoard::ttcPeriodicBcr(bool on, Bc first) {
  catchUp(crate_.now());
  bcrOn_ = on;
  bcrNext_ = first;
}

// ---- bus side ----------------------------------------------------------------------

std::uint16_t QemBoard::ramRead(std::uint32_t word) const {
  const std::uint32_t c = cell(word);
  std::uint16_t v = ram_[c];
  for (const auto& s : faults_.ramStuck0)
    if (cell(s.first) == c) v = static_cast<std::uint16_t>(v & ~s.second);
  for (const auto& s : faults_.ramStuck1)
    if (cell(s.first) == c) v = static_cast<std::uint16_t>(v | s.second);
  return v;
}

std::uint16_t QemBoard::readReg(std::uint32_t off, Bc now) {
  std::uint16_t v = 0;
  switch (off) {
    case q::kEnables.offset: v = enables_; break;
    case q::kCommand.offset: v = command_ & q::kCommand.readMask; break;
    case q::kBurst.offset: v = burst_; break;
    case q::kX06.offset: v = x06_; break;
    case q::kX08.offset: v = x08_; break;
    case q::kDelays.offset: v = delays_; break;
    case q::kStatus.offset:
      v = q::status::kFixed;
      if (!faults_.clockOff) v |= bits(q::status::kSaClock);
      if (ttcClock_) v |= bits(q::status::kTtcClock);
      if (cmdBusy_ && now <= cmdBusyUntil_) v |= bits(q::status::kCmdBusy);
      if (burstHung_ || (burstOn_ && now <= burstUntil_)) v |= bits(q::status::kBurst);
      if (playing_ || seqHung_) v |= bits(q::status::kSeqBusy);
      else if (recActive_) v |= bits(q::status::kRecording);
      break;
    case q::kX0E.offset: v = q::kX0E.reset; break;
    case q::kL1lo.offset: v = static_cast<std::uint16_t>(oldFirmware() ? count_ & 0xFFF : count_ & 0xFFFF); break;
    case q::kL1hi.offset: v = static_cast<std::uint16_t>(oldFirmware() ? (count_ >> 12) & 0xFFF : (count_ >> 16) & 0xFF); break;
    case q::kBCid.offset: v = static_cast<std::uint16_t>(regmap::fieldDp(bcidLatch_, q::bcid::kOffset, offsetNibble_)); break;
    case q::kTTid.offset: v = ttid_ & q::kTTid.readMask; break;
    case q::kEnTTC.offset: v = enTTC_ & q::kEnTTC.readMask; break;
    case q::kSeqControl.offset: v = seqControl_ & q::kSeqControl.readMask; break;
    case q::kSeqLast.offset: v = seqLast_; break;
    case q::kX1E.offset: v = x1E_; break;
    case q::kTtcdat.offset: v = ttcdat_; break;
    case q::kX28.offset: v = x28_ & q::kX28.readMask; break;
    case q::kBCin.offset: v = bcin_; break;
    case q::kI2C.offset: v = static_cast<std::uint16_t>(i2c_ | (i2cBusy_ ? bits(q::i2c::kStart) : 0)); break;
    case q::kTTCcmd.offset: v = static_cast<std::uint16_t>(ttcEvents_ | (ttcrxReady(now) ? bits(q::ttccmd::kReady) : 0)); break;
    case q::kOutput.offset: v = output_; break;
    case q::kSerial.offset: v = static_cast<std::uint16_t>(((firmware_ & 0xFF) << 8) | (serial_ & 0xFF)); break;
    default: break;  // x20, x22, x24 read 0
  }
  const std::uint32_t r = off / 2;
  if (resetPending_[r]) v = faults_.resetValue[r];
  return static_cast<std::uint16_t>((v & ~faults_.stuck0[r]) | faults_.stuck1[r]);
}

void QemBoard::writeReg(std::uint32_t off, std::uint16_t v, Bc now) {
  resetPending_[off / 2] = false;
  switch (off) {
    case q::kEnables.offset: enables_ = v; break;
    case q::kCommand.offset: writeCommand(now, v); break;
    case q::kBurst.offset: burst_ = v; break;
    case q::kX06.offset: x06_ = v; break;
    case q::kX08.offset: x08_ = v; break;
    case q::kDelays.offset: delays_ = v; break;
    case q::kL1lo.offset:
      count_ = oldFirmware() ? (count_ & ~0xFFFu) | (v & 0xFFFu) : (count_ & ~0xFFFFu) | v;
      ecrPending_ = false;
      break;
    case q::kL1hi.offset:
      if (oldFirmware()) {
        // Twelve-bit high part behind an eight-bit port: bits 8-11 follow bit 7.
        std::uint32_t hi = (v & 0xFFu) | ((v & 0x80u) ? 0xF00u : 0u);
        count_ = (count_ & 0xFFFu) | (hi << 12);
      } else {
        count_ = (count_ & 0xFFFFu) | ((v & 0xFFu) << 16);
      }
      ecrPending_ = false;
      break;
    case q::kBCid.offset: offsetNibble_ = static_cast<std::uint16_t>(fieldEx(v, q::bcid::kOffset)); break;
    case q::kTTid.offset: ttid_ = v & q::kTTid.readMask; break;
    case q::kEnTTC.offset: enTTC_ = v; break;
    case q::kSeqControl.offset: writeSeqControl(now, v); break;
    case q::kSeqLast.offset: seqLast_ = v; break;
    case q::kX1E.offset: x1E_ = v; break;
    case q::kX28.offset: x28_ = v; break;
    case q::kI2C.offset: writeI2C(now, v); break;
    case q::kTTCcmd.offset: ttcEvents_ = 0; break;
    case q::kOutput.offset: output_ = 0; break;
    default: break;  // read-only registers ignore writes
  }
}

bool QemBoard::read(std::uint32_t offset, Width, std::uint32_t& value) {
  const Bc now = crate_.now();
  catchUp(now);
  if (offset >= kRamOffset) {
    value = ramRead((offset - kRamOffset) / 2);
    return true;
  }
  if (offset >= kRegBytes) return false;
  value = readReg(offset, now);
  return true;
}

bool QemBoard::write(std::uint32_t offset, Width, std::uint32_t value) {
  const Bc now = crate_.now();
  catchUp(now);
  const auto v = static_cast<std::uint16_t>(value);
  if (offset >= kRamOffset) {
    ram_[cell((offset - kRamOffset) / 2)] = v;
    return true;
  }
  if (offset >= kRegBytes) return false;
  writeReg(offset, v, now);
  return true;
}

// ---- crate file ------------------------------------------------------------------

std::unique_ptr<Board> QemBoard::make(const BoardConfig& config, Crate& crate, std::string& error) {
  if (config.size != 0x10000) {
    error = "a qem board is 0x10000 bytes";
    return nullptr;
  }
  unsigned firmware = 9, serial = 0;
  for (const auto& [key, value] : config.options) {
    long long v = 0;
    if (key != "firmware" && key != "serial") {
      error = "unknown qem option '" + key + "'";
      return nullptr;
    }
    if (!parseNumber(value, v) || v > 0xFF) {
      error = "qem " + key + " must be a number from 0 to 0xFF, got '" + value + "'";
      return nullptr;
    }
    (key == "firmware" ? firmware : serial) = static_cast<unsigned>(v);
  }

  Faults f;
  auto regIndex = [&](const Fault& ft, std::uint32_t off, std::uint32_t& r) {
    if (off >= kRegBytes || off % 2 != 0) {
      error = "fault " + ft.name + ": offset must be an even register offset below 0x34";
      return false;
    }
    r = off / 2;
    return true;
  };
  auto mask16 = [&](const Fault& ft, std::uint32_t m) {
    if (m > 0xFFFF) error = "fault " + ft.name + ": mask must be 16 bits";
    return m <= 0xFFFF;
  };
  for (const Fault& ft : config.faults) {
    const std::string& n = ft.name;
    std::uint32_t r = 0;
    if (n == "clock-off" || n == "ttcrx-late" || n == "l1id-no-carry" || n == "bcid-no-offset" ||
        n == "serial-id-dead" || n == "serial-tt-dead" || n == "burst-hang" || n == "seq-hang" ||
        n == "sink-dead" || n == "i2c-hang" || n == "ecr-immediate" || n == "ttc-data-dead") {
      if (!faultArgs(ft, 0, error)) return nullptr;
      bool& flag = n == "clock-off"        ? f.clockOff
                   : n == "ttcrx-late"     ? f.ttcrxLate
                   : n == "l1id-no-carry"  ? f.l1idNoCarry
                   : n == "bcid-no-offset" ? f.bcidNoOffset
                   : n == "serial-id-dead" ? f.serialIdDead
                   : n == "serial-tt-dead" ? f.serialTtDead
                   : n == "burst-hang"     ? f.burstHang
                   : n == "seq-hang"       ? f.seqHang
                   : n == "sink-dead"      ? f.sinkDead
                   : n == "i2c-hang"       ? f.i2cHang
                   : n == "ecr-immediate"  ? f.ecrImmediate
                                           : f.ttcDataDead;
      flag = true;
    } else if (n == "stuck0" || n == "stuck1") {
      if (!faultArgs(ft, 2, error) || !regIndex(ft, ft.args[0], r) || !mask16(ft, ft.args[1]))
        return nullptr;
      (n == "stuck0" ? f.stuck0 : f.stuck1)[r] |= static_cast<std::uint16_t>(ft.args[1]);
    } else if (n == "reset") {
      if (!faultArgs(ft, 2, error) || !regIndex(ft, ft.args[0], r)) return nullptr;
      if (ft.args[1] > 0xFFFF) {
        error = "fault reset: value must be 16 bits";
        return nullptr;
      }
      f.hasReset[r] = true;
      f.resetValue[r] = static_cast<std::uint16_t>(ft.args[1]);
    } else if (n == "ram-stuck0" || n == "ram-stuck1") {
      if (!faultArgs(ft, 2, error) || !mask16(ft, ft.args[1])) return nullptr;
      if (ft.args[0] >= kRamWords) {
        error = "fault " + n + ": word index must be below 0x4000";
        return nullptr;
      }
      (n == "ram-stuck0" ? f.ramStuck0 : f.ramStuck1)
          .emplace_back(ft.args[0], static_cast<std::uint16_t>(ft.args[1]));
    } else if (n == "ram-alias") {
      if (!faultArgs(ft, 1, error)) return nullptr;
      if (ft.args[0] > 13) {
        error = "fault ram-alias: bit must be 0 to 13 (0x4000 words)";
        return nullptr;
      }
      f.ramAliasMask |= 1u << ft.args[0];
    } else if (n == "serial-id-bit") {
      if (!faultArgs(ft, 1, error)) return nullptr;
      if (ft.args[0] > 35) {
        error = "fault serial-id-bit: bit must be 0 to 35 (L1ID and BCID fields)";
        return nullptr;
      }
      f.serialIdBit = static_cast<int>(ft.args[0]);
    } else if (n == "cmd-dead") {
      if (!faultArgs(ft, 1, error)) return nullptr;
      if (ft.args[0] > 0xFF) {
        error = "fault cmd-dead: mask must be 8 bits";
        return nullptr;
      }
      f.cmdDead = static_cast<std::uint8_t>(f.cmdDead | ft.args[0]);
    } else if (n == "cal-delay") {
      if (!faultArgs(ft, 1, error)) return nullptr;
      if (ft.args[0] > 0xFFFF) {
        error = "fault cal-delay: at most 0xFFFF BC";
        return nullptr;
      }
      f.calDelay = ft.args[0];
    } else if (n == "ttc-bcast-dead") {
      if (!faultArgs(ft, 1, error)) return nullptr;
      if (ft.args[0] > 7) {
        error = "fault ttc-bcast-dead: bit must be 0 to 7";
        return nullptr;
      }
      f.bcastDead = static_cast<std::uint8_t>(f.bcastDead | (1u << ft.args[0]));
    } else {
      error = "unknown qem fault '" + n + "'";
      return nullptr;
    }
  }
  return std::make_unique<QemBoard>(crate, firmware, serial, f);
}

}  // namespace vmesim
