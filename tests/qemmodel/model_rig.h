// A crate with the module (and usually the TTC sender) and plain bus cycles
// on it, as the module programs make them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "crate/crate.h"
#include "qemlib/qem_registers.h"
#include "qemlib/qem_scan.h"
#include "regmap/qem.h"

namespace qemmodel {

inline constexpr std::uint32_t kQem = 0xF00000;
inline constexpr std::uint32_t kTtc = 0xBAD000;

// Register offsets, short names of regmap/qem.h.
namespace q = regmap::qem;
inline constexpr std::uint32_t ENABLES = q::kEnables.offset, COMMAND = q::kCommand.offset,
                               BURST = q::kBurst.offset, DELAYS = q::kDelays.offset,
                               STATUS = q::kStatus.offset, L1LO = q::kL1lo.offset,
                               L1HI = q::kL1hi.offset, BCID = q::kBCid.offset,
                               TTID = q::kTTid.offset, ENTTC = q::kEnTTC.offset,
                               SEQCTL = q::kSeqControl.offset, SEQLAST = q::kSeqLast.offset,
                               TTCDAT = q::kTtcdat.offset, X28 = q::kX28.offset,
                               BCIN = q::kBCin.offset, I2C = q::kI2C.offset,
                               TTCCMD = q::kTTCcmd.offset, OUTPUT = q::kOutput.offset,
                               SERIAL = q::kSerial.offset;

inline std::string crateText(const std::string& qemOptions, bool withTtc = true) {
  std::string t = "qem A24 0xF00000 " + qemOptions + "\n";
  if (withTtc) t += "ttcvi A24 0xBAD000\n";
  return t;
}

class Rig {
 public:
  explicit Rig(const std::string& qemOptions = "firmware=9 serial=0x01", bool withTtc = true) {
    std::string error;
    c_ = vmesim::Crate::parse(crateText(qemOptions, withTtc), "rig", error);
    EXPECT_TRUE(c_) << error;
  }

  std::uint16_t r(std::uint32_t off) { return read(kQem + off); }
  void w(std::uint32_t off, std::uint16_t v) { write(kQem + off, v); }
  std::uint16_t ram(std::uint32_t word) { return r(q::kRamOffset + 2 * word); }
  void setRam(std::uint32_t word, std::uint16_t v) { w(q::kRamOffset + 2 * word, v); }
  std::uint16_t ttcR(std::uint32_t off) { return read(kTtc + off); }
  void ttcW(std::uint32_t off, std::uint16_t v) { write(kTtc + off, v); }

  // A command the way the programs give it: 0 first, then the value.
  void command(std::uint16_t v) {
    w(COMMAND, 0);
    w(COMMAND, v);
  }
  // Reads reg until (reg & mask) == value; the number of reads after the
  // first, or -1 when max reads did not see it.
  int poll(std::uint32_t off, std::uint16_t mask, std::uint16_t value, int max = 0xFFFF) {
    for (int i = 0; i <= max; ++i)
      if ((r(off) & mask) == value) return i;
    return -1;
  }
  std::uint32_t l1id(bool oldLayout) {
    const std::uint32_t lo = r(L1LO), hi = r(L1HI);
    return oldLayout ? ((hi & 0xFFF) << 12) + (lo & 0xFFF) : ((hi & 0xFF) << 16) + lo;
  }
  // The sink (or source) lane scanned with the module library's scan.
  ScanResult scan(int count, int lane = 1, int nextL1ID = -999, int pipeline = 99, int ttc = 0) {
    std::vector<std::int32_t> buf(0x4000, 0);
    for (int k = 0; k < count; ++k) buf[k] = ram(k);
    ScanParams p = scanDefaults();
    p.count = count;
    p.byte = lane;
    p.nextL1ID = nextL1ID;
    p.pipeline = pipeline;
    p.ttcTiming = ttc;
    return scanReport(buf.data(), p);
  }
  vmesim::Crate& crate() { return *c_; }

 private:
  std::uint16_t read(std::uint32_t a) {
    std::uint32_t v = 0;
    ok_ = c_->read(vmesim::Space::A24, a, vmesim::Width::D16, v);
    return static_cast<std::uint16_t>(v);
  }
  void write(std::uint32_t a, std::uint16_t v) {
    ok_ = c_->write(vmesim::Space::A24, a, vmesim::Width::D16, v);
  }

 public:
  bool ok_ = true;

 private:
  std::unique_ptr<vmesim::Crate> c_;
};

}  // namespace qemmodel
