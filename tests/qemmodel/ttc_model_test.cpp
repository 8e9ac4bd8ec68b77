// The TTC sender driving the module's TTC input: the sequences of the TTC
// path test replayed on the crate.
#include <gtest/gtest.h>

#include <algorithm>

#include "model_rig.h"

namespace qemmodel {
namespace {

enum : std::uint32_t {
  CSR1 = 0x80, CSR2 = 0x82, CNTRESET = 0x84, L1ASEND = 0x86, CNTHI = 0x88, CNTLO = 0x8A,
  BGO0 = 0x90, LONGHI = 0xC0, LONGLO = 0xC2, SHORT = 0xC4,
};

// One TTCrx register access through the I2C port; -1 on time-out.
int i2c(Rig& m, std::uint16_t op, unsigned reg, int& data) {
  m.w(I2C, 0x4000);
  m.w(I2C, static_cast<std::uint16_t>(0xC000 | op | (reg << 8) | (data & 0xFF)));
  const int polls = m.poll(I2C, 0x8000, 0);
  data = m.r(I2C) & 0xFF;
  return polls;
}

// The set-up of the TTC path test; returns whether the TTCrx was ready at
// the first look after the reset.
bool setUp(Rig& m) {
  m.w(COMMAND, 0xFFFF);
  EXPECT_GE(m.poll(I2C, 0x8000, 0), 0);
  const bool readyAtOnce = (m.r(TTCCMD) & 0x4000) != 0;
  EXPECT_GE(m.poll(TTCCMD, 0x4000, 0x4000), 0);
  m.w(COMMAND, 0x1000);
  m.w(ENTTC, 0x07FF);
  m.ttcW(CNTRESET, 0);
  m.ttcW(CSR1, 0x000C);
  m.ttcW(CSR2, 0xFE00);
  m.ttcW(0x92, 0);
  m.ttcW(0x94, 0x008E);
  return readyAtOnce;
}

std::uint32_t ttcCount(Rig& m) { return ((m.ttcR(CNTHI) & 0xFF) << 16) + m.ttcR(CNTLO); }

void longCycle(Rig& m, std::uint16_t hi, std::uint16_t lo) {
  m.ttcW(LONGHI, hi);
  m.ttcW(LONGLO, lo);
}

TEST(TtcSender, RomCsrAndEventCounter) {
  Rig m;
  std::vector<std::uint16_t> rom;
  for (std::uint32_t off = 0x20; off < 0x50; off += 2) rom.push_back(m.ttcR(off));
  Rig other;
  for (std::uint32_t off = 0x20; off < 0x50; off += 2) EXPECT_EQ(other.ttcR(off), rom[(off - 0x20) / 2]);
  EXPECT_NE(std::count(rom.begin(), rom.end(), 0), 24);
  setUp(m);
  EXPECT_EQ(m.ttcR(CSR1), 0x000C);
  EXPECT_EQ(m.ttcR(CSR2) & 0xFF00, 0xFE00);
  EXPECT_EQ(ttcCount(m), 0u);
  m.ttcW(CNTHI, 0x00FF);
  m.ttcW(CNTLO, 0xFFFE);
  m.ttcW(L1ASEND, 0);
  EXPECT_EQ(ttcCount(m), 0xFFFFFFu);
  m.ttcW(L1ASEND, 0);
  EXPECT_EQ(ttcCount(m), 0u);
  std::uint32_t v = 0;
  EXPECT_FALSE(m.crate().read(vmesim::Space::A24, kTtc + 0x88, vmesim::Width::D32, v));
}

TEST(TtcPath, TypeStepDataCycleReachesTheExternalPort) {
  Rig m;
  setUp(m);
  m.w(TTCCMD, 0);
  m.w(OUTPUT, 0);
  m.w(X28, 0);
  EXPECT_EQ(m.r(OUTPUT), 0);
  longCycle(m, 0x8001, 0x00DA);
  EXPECT_EQ(m.r(TTCDAT), 0xDA);
  EXPECT_EQ(m.r(TTID) & 0x3FF, 0xDA);
  EXPECT_EQ(m.r(OUTPUT), 0x20);
  EXPECT_EQ(m.r(TTCCMD), 0x4800);
  EXPECT_EQ(ttcCount(m), 0u);
  EXPECT_EQ(m.l1id(false), 0xFFFFFFu);

  Rig dead("fault=ttc-data-dead");
  setUp(dead);
  dead.w(TTCCMD, 0);
  longCycle(dead, 0x8001, 0x00DA);
  EXPECT_EQ(dead.r(TTCDAT), 0);
  EXPECT_EQ(dead.r(OUTPUT), 0);
  EXPECT_EQ(dead.r(TTCCMD), 0x4000);
}

TEST(TtcPath, BroadcastBitsDecodeRowByRow) {
  struct Row {
    std::uint8_t byte, output;
  };
  constexpr Row rows[8] = {{0x21, 0x04}, {0x22, 0x02}, {0x24, 0x40}, {0x28, 0x00},
                           {0x30, 0x00}, {0x20, 0x00}, {0x60, 0x08}, {0xA0, 0x00}};
  for (int deadBit = -1; deadBit < 8; ++deadBit) {
    Rig m(deadBit < 0 ? "" : "fault=ttc-bcast-dead:" + std::to_string(deadBit));
    setUp(m);
    m.w(BCID, 0x5000);
    const std::uint16_t bcid = m.r(BCID);
    int failing = 0;
    for (const Row& row : rows) {
      m.w(TTCCMD, 0);
      m.w(OUTPUT, 0);
      m.ttcW(SHORT, row.byte);
      const bool ok = m.r(OUTPUT) == row.output && m.r(TTCCMD) == (row.byte | 0x4600) &&
                      m.r(BCID) == bcid && ttcCount(m) == 0;
      failing += ok ? 0 : 1;
    }
    // No L1A comes with a broadcast CAL, and the ECR leaves the reading alone.
    EXPECT_EQ(m.l1id(false), 0xFFFFFFu);
    // Bit 5 is in every byte of the table.
    EXPECT_EQ(failing, deadBit < 0 ? 0 : deadBit == 5 ? 8 : 1) << "dead bit " << deadBit;
  }
}

TEST(TtcPath, InternalLongCycleAndI2CReachTheTtcrxRegisters) {
  Rig m;
  setUp(m);
  int data = -1;
  const int polls = i2c(m, 0x2000, 3, data);
  EXPECT_GE(polls, 1);
  EXPECT_LT(polls, 100);
  EXPECT_EQ(data, 0x93);
  longCycle(m, 0x8000, 0x03E3);
  data = -1;
  i2c(m, 0x2000, 3, data);
  EXPECT_EQ(data, 0xE3);
  for (int r : {0, 1}) {
    data = r;
    EXPECT_GE(i2c(m, 0, static_cast<unsigned>(r), data), 0);
  }
  for (int r : {0, 1, 0, 1}) {
    data = -1;
    i2c(m, 0x2000, static_cast<unsigned>(r), data);
    EXPECT_EQ(data, r);
  }

  Rig hang("fault=i2c-hang");
  setUp(hang);  // the port is free after the reset ...
  data = -1;
  EXPECT_EQ(i2c(hang, 0x2000, 3, data), -1);  // ... and busy for ever once used
  hang.w(COMMAND, 0xFFFF);
  EXPECT_EQ(hang.r(I2C) & 0x8000, 0x8000);
}

// The TTC step: a data byte, one L1A, and what the module makes of it.
struct TtcStep {
  std::uint32_t l1id, count;
  std::uint16_t bcid, bcin, output, ttccmd;
};
TtcStep ttcStep(Rig& m) {
  m.w(TTCCMD, 0);
  m.w(OUTPUT, 0);
  longCycle(m, 0x8001, m.r(L1LO) & 0xFF);
  m.ttcW(L1ASEND, 0);
  TtcStep s{};
  s.l1id = m.l1id(false);
  s.bcid = m.r(BCID) & 0xFFF;
  s.count = ttcCount(m);
  s.bcin = m.r(BCIN) & 0xFFF;
  s.output = m.r(OUTPUT);
  s.ttccmd = m.r(TTCCMD);
  return s;
}

TEST(TtcPath, L1AAdvancesBothCountersWithItsLatency) {
  for (bool late : {false, true}) {
    Rig m(late ? "fault=ttcrx-late" : "");
    EXPECT_EQ(setUp(m), !late);
    m.w(BCID, 0x5000);
    m.ttcW(BGO0, 0x000D);  // BCRs keep the bunch count inside the orbit
    const unsigned latency = late ? 6 : 5;
    for (std::uint32_t n = 1; n <= 400; ++n) {
      const TtcStep s = ttcStep(m);
      EXPECT_EQ(s.l1id, n - 1);
      EXPECT_EQ(s.count, n);
      EXPECT_EQ(s.bcin, (s.bcid + latency) % 3565) << "step " << n;
      EXPECT_EQ(s.output & ~0x04, 0x31);
      EXPECT_EQ(s.ttccmd & 0xF9FE, 0x4900);
    }
  }
}

TEST(TtcPath, PeriodicBcrsOnlyOnceSetUpAndRecordingScansClean) {
  Rig m;
  setUp(m);
  m.w(BCID, 0x5000);
  m.w(OUTPUT, 0);
  for (int i = 0; i < 400; ++i) ASSERT_EQ(m.r(OUTPUT) & 0x04, 0);  // 8000 BC, over two orbits
  m.ttcW(0xB2, 0x0080);
  m.ttcW(BGO0, 0x000D);
  for (int twice = 0; twice < 2; ++twice) {
    m.w(OUTPUT, 0);
    const int polls = m.poll(OUTPUT, 0x0004, 0x0004);
    ASSERT_GE(polls, 0);
    EXPECT_LE(polls, 3565 / 20 + 1);
  }
  // Record several TTC steps over the whole RAM, as the TTC test does.
  for (std::uint32_t k = 0; k < 0x4000; ++k) m.setRam(k, 0);
  m.w(SEQLAST, 0x3FFF);
  m.w(SEQCTL, 0x2200);
  m.w(SEQCTL, 0);
  m.w(SEQCTL, 0x4000);
  for (int loop = 0; loop < 5; ++loop) ttcStep(m);
  ASSERT_GE(m.poll(STATUS, 0x0060, 0, 999), 0);
  const ScanResult r = m.scan(0x4000, 1, 0, 99, 1);
  EXPECT_EQ(r.errors, 0);
  EXPECT_EQ(r.countL1A, 5);
  EXPECT_GE(r.countBCR, 4);
  EXPECT_EQ(r.l1id, 4);
  EXPECT_EQ(static_cast<std::uint16_t>(r.bcid), m.r(BCID) & 0xFFF);
  EXPECT_EQ(static_cast<std::uint16_t>(r.ttid), m.r(TTID));
}

// TTC L1As come whatever the periodic BCRs do.  A good module records one
// in the third bunch after a BCR (its BCID borrows from the end of the
// orbit) and one 2 BC before a BCR, and the scan must take both as they
// come: as the first word of a recording, as the SER test makes it, and
// after a recorded BCR, as in the TTC test's longer recordings.
TEST(TtcPath, L1AsNextToAPeriodicBcrScanClean) {
  struct Case {
    bool probeRecorded;
    std::vector<unsigned> bunches;
  };
  for (const Case& c : {Case{false, {2, 3562}}, Case{false, {3562, 2}}, Case{true, {2, 3562}}}) {
    SCOPED_TRACE(testing::Message() << c.probeRecorded << " " << c.bunches[0]);
    Rig m;
    setUp(m);
    m.w(BCID, 0x5000);
    m.ttcW(0xB2, 0x0080);
    m.ttcW(BGO0, 0x000D);
    m.w(OUTPUT, 0);
    ASSERT_GE(m.poll(OUTPUT, 0x0004, 0x0004), 0);
    for (std::uint32_t k = 0; k < 0x4000; ++k) m.setRam(k, 0);
    auto record = [&] {
      m.w(SEQLAST, 0x3FFF);
      m.w(SEQCTL, 0x2200);
      m.w(SEQCTL, 0);
      m.w(SEQCTL, 0x4000);
    };
    if (c.probeRecorded) record();
    // An L1A probes the phase of the bunch counter: BCin latches its bunch.
    const vmesim::Bc sent = m.crate().now();
    m.ttcW(L1ASEND, 0);
    const unsigned probe = m.r(BCIN) & 0xFFF;
    if (!c.probeRecorded) record();
    for (unsigned bunch : c.bunches) {
      for (int reads = 0; (probe + (m.crate().now() - sent)) % 3565 != bunch; ++reads) {
        ASSERT_LT(reads, 1000);
        m.r(STATUS);
      }
      m.ttcW(L1ASEND, 0);
      EXPECT_EQ(m.r(BCIN) & 0xFFF, bunch);
    }
    ASSERT_GE(m.poll(STATUS, 0x0060, 0, 999), 0);
    const ScanResult r = m.scan(0x4000, 1, c.probeRecorded ? 0 : 1, 99, 1);
    EXPECT_EQ(r.errors, 0);
    EXPECT_EQ(r.countL1A, c.probeRecorded ? 3 : 2);
    EXPECT_GE(r.countBCR, 3);
    EXPECT_EQ(r.bcid, static_cast<int>((c.bunches.back() + 3565 - 5) % 3565));
  }
}

}  // namespace
}  // namespace qemmodel
