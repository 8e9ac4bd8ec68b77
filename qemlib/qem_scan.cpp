#include "qemlib/qem_scan.h"

#include <algorithm>
#include <cstdio>

#include "foundation/verdicts.h"

#include "foundation/waves.h"
#include "qemlib/qem_registers.h"
#include "qemlib/qem_waves.h"

VmePtr seqRAM;
int seqLastIndex = NO_VALUE;
std::array<int, 2> seqLinePos = {0, 0};

namespace {

constexpr int kLineId = 0;
constexpr int kLineTt = 1;
constexpr int kLineBit[2] = {SEQ_SERID, SEQ_SERTT};

constexpr int kDeadEcrBcr = 7;
constexpr int kDeadCal = 27;
constexpr int kDeadL1A = 3;
constexpr int kL1IDMask = 0xFFFFFF;
constexpr int kBufferPrint = 200;
constexpr int kPerLine = 20;

// An index plus a distance given by the caller (the console passes any
// orbit): 32-bit two's complement, as the error lines print it.
int wrapAdd(int a, int b) {
  return static_cast<int>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

// Host image of the RAM for scanRAM.
std::int32_t ramImage[SEQ_WORDS];

// Runs one scan over a buffer.  Kept as one object so the train decoder
// shares the per-call state.  With marks, what it reports is also noted
// there for the waveform.
class Scan {
 public:
  Scan(const std::int32_t* buffer, const ScanParams& p, ScanMarks* marks)
      : buf_(buffer), p_(p), marks_(marks) {
    lane_ = p.byte != 0 ? 1 : 0;
#if defined(QEM_SEQ_FORMS)
    nextL1ID_ = 1;
#else
    nextL1ID_ = p.nextL1ID;
    nextTTID_ = p.nextTTID;
    ttcTiming_ = p.ttcTiming != 0;
#endif
  }

  void run() {
    if (p_.verbose) std::printf("\nScan report:\n");
    if (p_.verbose || kQemSeqForms)
      std::printf("byte %d size %d incr %d orbit %d\n", lane_, 4 * p_.count, 4, p_.orbit);
    for (int k = 0; k < p_.count; ++k) word(k);
    if (p_.verbose) std::printf("Scan end: non-zero bytes %d errors %d\n", nonzero_, errors_);
  }

  ScanResult result() const {
#if defined(QEM_SEQ_FORMS)
    return {indexL1A_, countL1A_, countECR_, countBCR_, countCAL_, errors_};
#else
    return {l1id_, bcid_, ttid_, indexL1A_, countL1A_, countECR_, countBCR_, countCAL_, errors_};
#endif
  }

 private:
  int byteAt(int k) const { return (buf_[k] >> (8 * lane_)) & 0xFF; }
  bool inside(int k) const { return k >= 0 && k < p_.count; }

  void error(const char* label, int a, int b) {
    printErrorLine("ERROR: %s %X %X\n", label, static_cast<unsigned>(a), static_cast<unsigned>(b));
    ++errors_;
    if (marks_ != nullptr) marks_->errors.push_back(k_);
  }

  void word(int k) {
    k_ = k;
    const int d = byteAt(k);
    if (d == 0) return;
    ++nonzero_;
    if ((d & SEQ_SERID) && (!hasTrain_[kLineId] || k > trainEnd_[kLineId]))
      error("SerialID: index next", k, hasTrain_[kLineId] ? trainEnd_[kLineId] : 0);
    if ((d & SEQ_SERTT) && (!hasTrain_[kLineTt] || k > trainEnd_[kLineTt]))
      error("SerialTT: index next", k, hasTrain_[kLineTt] ? trainEnd_[kLineTt] : 0);
    if ((d & SEQ_COMMANDS) == 0) return;

    int cmds = 0;
    // In a TTC recording a BCR alone in its word and exactly one orbit after
    // the last is the periodic one: it comes at its bunch whatever triggers
    // are around it, so it neither waits for a dead time nor starts one.
    const bool periodic =
        ttcTiming_ && (d & SEQ_BCR) && bcrOnOrbit(k) && (d & SEQ_COMMANDS) == SEQ_BCR;
    if (k < deadEnd_ && !periodic) error("deadtime: index next", k, deadEnd_);
    if (d & (SEQ_CMD40 | SEQ_CMD80)) {
      ++cmds;
      error("reserved: index data", k, d);
    }
    if (d & SEQ_ECR) {
      ++countECR_;
      ++cmds;
      deadEnd_ = k + kDeadEcrBcr;
      nextL1ID_ = kQemSeqForms ? 1 : qemOldFirmware;
      verboseIndex("ECR", k);
    }
    if (d & SEQ_BCR) {
      ++countBCR_;
      ++cmds;
      if (!periodic) deadEnd_ = k + kDeadEcrBcr;
      if (lastBCR_ != NO_VALUE && k != wrapAdd(lastBCR_, p_.orbit))
        error("BCRorbit: index next", k, wrapAdd(lastBCR_, p_.orbit));
      lastBCR_ = k;
      verboseIndex("BCR", k);
    }
    if (d & SEQ_CAL) {
      ++countCAL_;
      ++cmds;
      deadEnd_ = k + kDeadCal;
      calIndex_ = k;
      verboseIndex("CAL", k);
    }
    if (d & SEQ_L1A) {
      ++cmds;
      l1a(k);
    }
    if (cmds != 1) error("multiCMD: index cmds", k, cmds);
  }

  // Whether a BCR at k comes one orbit after the last one.  A virtual BCR
  // read from a BCID at the end of the orbit may lie one orbit early (see
  // l1a): a BCR two orbits after it settles that.
  bool bcrOnOrbit(int k) {
    if (lastBCR_ == NO_VALUE) return false;
    if (virtualEarly_ && k == wrapAdd(wrapAdd(lastBCR_, p_.orbit), p_.orbit))
      lastBCR_ = wrapAdd(lastBCR_, p_.orbit);
    virtualEarly_ = false;
    return k == wrapAdd(lastBCR_, p_.orbit);
  }

  // The module's BCIDs count modulo the orbit: in a TTC recording an L1A
  // fewer than bcOffset words after a BCR carries a BCID from the end of the
  // previous orbit, where the expected value is negative.
  bool bcidFits(long long next) const {
    if (bcid_ == (next & 0xFFF)) return true;
    return ttcTiming_ && next < 0 && bcid_ == next + p_.orbit;
  }

  void verboseIndex(const char* name, int k) {
    if (!p_.verbose) return;
    if (kQemSeqForms) std::printf("%s index %04X\n", name, k);
    else std::printf("%s index %5d %04X\n", name, k, k);
  }

  void l1a(int k) {
    ++countL1A_;
    deadEnd_ = k + kDeadL1A;
    indexL1A_ = k;
    if (lastBCR_ != NO_VALUE) nextBCID_ = k - lastBCR_ - p_.bcOffset;
    if (calIndex_ != NO_VALUE) {
      if (k != wrapAdd(calIndex_, p_.pipeline))
        error("pipeline: index next", k, wrapAdd(calIndex_, p_.pipeline));
      calIndex_ = NO_VALUE;
    }
    int fields[2];
    train(kLineId, k, 24, 12, fields);
    l1id_ = fields[0];
    bcid_ = fields[1];
    train(kLineTt, k, 10, 0, fields);
    ttid_ = fields[0];

    if (p_.verbose) {
      if (kQemSeqForms) {
        std::printf("L1A index %04X ", k);
        std::printf("start %04X stop %04X BCID %03X L1ID %06X\n", start_[kLineId], stop_[kLineId],
                    bcid_, l1id_);
        std::printf("               start %04X stop %04X TTID %03X\n", start_[kLineTt],
                    stop_[kLineTt], ttid_);
      } else {
        std::printf("L1A index %5d %04X ", k, k);
        std::printf("start %04X stop %04X BCID %03X L1ID %06X\n", start_[kLineId], stop_[kLineId],
                    bcid_, l1id_);
        std::printf("                     start %04X stop %04X TTID %03X\n", start_[kLineTt],
                    stop_[kLineTt], ttid_);
      }
    }
    if (nextL1ID_ != NO_VALUE && l1id_ != nextL1ID_)
      error("nextL1ID: L1id  next", l1id_, nextL1ID_);
    nextL1ID_ = (l1id_ + 1) & kL1IDMask;
    if (lastBCR_ == NO_VALUE) {
      lastBCR_ = k - bcid_ - p_.bcOffset;
      // A BCID in the last bcOffset - 1 values of the orbit is read as a
      // bunch beyond the orbit (a counter running free); it may as well come
      // from the first bunches after a BCR, which puts the BCR one orbit
      // later.  The next BCR or L1A tells.
      const long long bunchEnd = static_cast<long long>(bcid_) + p_.bcOffset;
      virtualEarly_ = ttcTiming_ && bcid_ < p_.orbit && bunchEnd > p_.orbit;
    } else {
      if (virtualEarly_ && !bcidFits(nextBCID_) &&
          bcidFits(static_cast<long long>(nextBCID_) - p_.orbit)) {
        lastBCR_ = wrapAdd(lastBCR_, p_.orbit);
        nextBCID_ = static_cast<int>(static_cast<long long>(nextBCID_) - p_.orbit);
      }
      virtualEarly_ = false;
      if (!bcidFits(nextBCID_)) error("nextBCID: BCid  next", bcid_, nextBCID_);
    }
    if (!kQemSeqForms && nextTTID_ != NO_VALUE && ttid_ != nextTTID_)
      error("nextTYPE: TTid  next", ttid_, nextTTID_);
  }

  // Decodes the train of a line that follows the L1A at k.  Up to two fields
  // (width 0 = none).
  void train(int line, int k, int w1, int w2, int* fields) {
    const int bit = kLineBit[line];
    int s = hasTrain_[line] ? std::max(k, trainEnd_[line]) : k;
    while (s < p_.count && (byteAt(s) & bit) == 0) ++s;
    start_[line] = s < p_.count ? s : 0;
    int p = s + 1;
    const int widths[2] = {w1, w2};
    for (int f = 0; f < 2; ++f) {
      const int w = widths[f];
      fields[f] = 0;
      if (w == 0) continue;
      unsigned value = 0;
      for (int i = 0; i < w; ++i, ++p) {
        value >>= 1;
        if (inside(p) && (byteAt(p) & bit)) value += 1u << (w - 1);
      }
      fields[f] = static_cast<int>(value);
    }
    if (p >= p_.count) {
#if defined(QEM_SEQ_FORMS)
      error("overflow: index size", p, p_.count);
#else
      if (stop_[line] == NO_VALUE) error("overflow: index loop", p, line);
#endif
    } else if (byteAt(p) & bit) {
      error("stop bit: index data", p, byteAt(p));
    }
    stop_[line] = p;
    trainEnd_[line] = p;
    hasTrain_[line] = true;
    if (marks_ != nullptr) marks_->trains.push_back({line, p, {fields[0], fields[1]}});
  }

  const std::int32_t* buf_;
  ScanParams p_;
  ScanMarks* marks_;
  int k_ = 0;  // the word being scanned
  int lane_ = 1;
  int errors_ = 0, nonzero_ = 0;
  int countL1A_ = 0, countECR_ = 0, countBCR_ = 0, countCAL_ = 0;
  int deadEnd_ = 0;
  int lastBCR_ = NO_VALUE, calIndex_ = NO_VALUE, indexL1A_ = NO_VALUE;
  bool ttcTiming_ = false;     // the rules of a TTC recording (see scanReport)
  bool virtualEarly_ = false;  // lastBCR_ is virtual and may lie one orbit early
  bool hasTrain_[2] = {false, false};
  int trainEnd_[2] = {0, 0};
  int start_[2] = {0, 0};
  int stop_[2] = {NO_VALUE, NO_VALUE};
  int nextL1ID_ = NO_VALUE;
  int nextBCID_ = NO_VALUE;
  int nextTTID_ = NO_VALUE;
  int l1id_ = NO_VALUE, bcid_ = NO_VALUE, ttid_ = NO_VALUE;
};

}  // namespace

void qemSeqStart(int n) {
  reg_enables.set(kQemSeqForms ? regmap::bits(qemreg::enables::kStandAlone) : 0);
  reg_output.set(0);
  reg_command.set(0);
  reg_enTTC.set(0);
  reg_seqLast.set(static_cast<std::uint16_t>(kQemSeqForms ? n : n - 1));
  reg_seqControl.set(qemreg::seqctl::kStop);
  reg_seqControl.set(qemreg::seqctl::kIdle);
  reg_seqControl.set(qemreg::seqctl::kPlay);
  if (kQemSeqForms) {
    const int status = reg_status.get();
    const int enables = reg_enables.get();
    if ((status & STATUS_SA_CLOCK) == 0 || regmap::fieldEx(enables, qemreg::enables::kStandAlone) == 0)
      std::printf("\nStand-alone clock is OFF, status %04X enables %04X\n\n", status, enables);
  }
}

ScanParams scanDefaults() {
#if defined(QEM_SEQ_FORMS)
  return {SEQ_WORDS, 1, 0, 7, 3560, 99};
#else
  return {SEQ_WORDS, 1, 0, 6, 3565, 99, NO_VALUE, NO_VALUE, NO_VALUE, 0};
#endif
}

ScanResult scanReport(const std::int32_t* buffer, ScanParams params) {
  if (params.count < 0) params.count = 0;
  ScanMarks marks;
  const bool waves = wavesWanted();
  Scan scan(buffer, params, waves ? &marks : nullptr);
  scan.run();
  if (waves) writeScanWaves(buffer, params.count, params.byte, marks);
  return scan.result();
}

ScanResult scanRAM(ScanParams params) {
  qemWait_seqBusys();
  if (params.count > SEQ_WORDS) {
    std::printf("scanRAM: count %X is beyond the RAM, clamped to %X\n",
                static_cast<unsigned>(params.count), SEQ_WORDS);
    params.count = SEQ_WORDS;
  }
  if (params.count < 0) params.count = 0;
  for (int k = 0; k < params.count; ++k)
    ramImage[k] = static_cast<std::int32_t>(seqRAM.read16(2u * static_cast<unsigned>(k)));
  return scanReport(ramImage, params);
}

#if !defined(QEM_SEQ_FORMS)
ScanResult scanSink(int count, int nextL1ID, int ttcTiming) {
  ScanParams p = scanDefaults();
  p.count = count;
  p.nextL1ID = nextL1ID;
  p.ttcTiming = ttcTiming;
  return scanRAM(p);
}

void qemRegisterDump(int count, int byte, int ttcTiming) {
#else
void qemRegisterDump(int count, int byte) {
#endif
  std::printf("\nQEM register dump:\n");
  const int lo = reg_L1lo.get();
  const int hi = reg_L1hi.get();
  const int l1id = kQemSeqForms ? qemL1IDOld(lo, hi) : qemL1ID(lo, hi);
  const int ttid = reg_TTid.get();
  const int bcid = reg_BCid.get();
  const int bcin = reg_BCin.get();
  const int status = reg_status.get();
  const int output = reg_output.get();
  std::printf("L1id %06X  TTid %03X  BCid %03X  BCin %03X  status %04X  output %04X\n", l1id, ttid,
              bcid, bcin, status, output);
  ScanParams p = scanDefaults();
  p.count = count;
  p.byte = byte;
  p.verbose = 1;
#if !defined(QEM_SEQ_FORMS)
  p.ttcTiming = ttcTiming;
#endif
  if (profile().qem.dumpPipelineFromDelays)
    p.pipeline = static_cast<int>(regmap::fieldEx(reg_delays.get(), qemreg::delays::kCal) +
                                  qemreg::delays::kCalBase);
  const ScanResult r = scanRAM(p);
  std::printf("scan indexL1A = %d\n", r.indexL1A);
  std::printf("scan countL1A = %d\n", r.countL1A);
}

void scanBuffer(const std::int32_t* buffer, int count, ScanParams params) {
  const int shown = std::min(count, kBufferPrint);
  for (int i = 0; i < shown; ++i) {
    const char sep = ((i + 1) % kPerLine == 0 || i == shown - 1) ? '\n' : ' ';
    std::printf("%2X%c", static_cast<unsigned>(buffer[i]), sep);
  }
  params.count = count;
  params.byte = 0;
  params.verbose = 1;
  const ScanResult r = scanReport(buffer, params);
  std::printf("scan errors = %d\n", r.errors);
}

void seqAddL1AReset() {
  seqLastIndex = NO_VALUE;
  seqLinePos = {0, 0};
}

void seqAddL1A(std::int32_t* buffer, int size, int index, const std::array<int, 3>& values,
               const std::array<int, 2>& gaps) {
  if (index < 0 || index >= size) return;
  if (seqLastIndex != NO_VALUE && buffer[seqLastIndex] == 0) {
    seqLastIndex = NO_VALUE;
    seqLinePos = {0, 0};
  } else {
    seqLastIndex = index;
  }
  buffer[index] |= SEQ_L1A;

  struct Field {
    int value, width;
  };
  for (int line = 0; line < 2; ++line) {
    const int bit = kLineBit[line];
    const Field idFields[2] = {{values[0], 24}, {values[1], 12}};
    const Field ttFields[1] = {{values[2], 10}};
    const Field* fields = line == kLineId ? idFields : ttFields;
    const int nFields = line == kLineId ? 2 : 1;
    int& pos = seqLinePos[static_cast<std::size_t>(line)];
    pos = std::max(pos, index + gaps[static_cast<std::size_t>(line)]);
    if (pos >= 0 && pos < size) {
      buffer[pos] |= bit;
      ++pos;
    }
    for (int f = 0; f < nFields; ++f) {
      int v = fields[f].value;
      int j = 0;
      for (; j < fields[f].width && pos + j < size; ++j) {
        if (pos + j >= 0 && (v & 1)) buffer[pos + j] |= bit;
        v >>= 1;
      }
      pos += j;
    }
    if (gaps[static_cast<std::size_t>(line)] != 0) ++pos;
  }
}
