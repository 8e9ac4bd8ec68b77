// The module model driven through the crate, cycle by cycle, the way the
// module programs drive it.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>

#include "model_rig.h"
#include "qemlib/qem_settings.h"

namespace qemmodel {
namespace {

// The generator the test programs use.
struct Lcg {
  std::uint32_t s;
  int next() {
    s = s * 214013u + 2531011u;
    return static_cast<int>((s >> 16) & 0x7FFF);
  }
};

// Registers and the bits that read back what was written, less the enables.
constexpr std::size_t kReadWriteCount = [] {
  std::size_t n = 0;
  for (const q::QemReg& r : q::kRegisters) n += r.testMask != 0;
  return n;
}();
static_assert(kReadWriteCount == 16, "16 registers read back");
const auto kReadWrite = [] {
  std::array<const q::QemReg*, kReadWriteCount> rows{};
  std::size_t n = 0;
  for (const q::QemReg& r : q::kRegisters)
    if (r.testMask != 0) rows[n++] = &r;
  return rows;
}();

void reset(Rig& m) {
  m.w(COMMAND, 0xFFFF);
  m.poll(TTCCMD, 0x4000, 0x4000);
  m.poll(STATUS, 0x0100, 0x0100);
}

TEST(QemRegisters, MapIsOneWordPerOffsetAndFieldsStayInTheirBits) {
  for (std::size_t i = 0; i < q::kRegisters.size(); ++i) {
    const q::QemReg& r = q::kRegisters[i];
    EXPECT_EQ(r.offset, 2 * i);
    EXPECT_EQ(q::index(r), i);
    EXPECT_EQ(r.width, 2u);
    EXPECT_EQ(r.testMask & ~r.readMask, 0) << "byte " << r.offset;
  }
  EXPECT_EQ(q::kRegBytes, 0x34u);
  // Deposit cuts the value to the field and keeps the other bits.
  EXPECT_EQ(regmap::fieldDp(0x0123, q::bcid::kOffset, 0x15), 0x5123u);
  EXPECT_EQ(regmap::fieldEx(0xA5FF, q::bcid::kOffset), 0xAu);
  EXPECT_EQ(regmap::fieldEx(0xFFFF, q::l1::kLo), 0xFFFFu);
  EXPECT_EQ(regmap::mask(q::i2c::kReg), 0x1F00u);
  EXPECT_EQ(regmap::mask(0, 32), 0xFFFFFFFFu);
  EXPECT_EQ(regmap::bits(q::status::kSeqBusy), 0x0060);
}

TEST(QemRegisters, AfterResetValuesByFirmware) {
  for (int fw : {9, 8}) {
    Rig m("firmware=" + std::to_string(fw) + " serial=0x17");
    reset(m);
    std::array<std::uint16_t, 26> expect{};
    expect[0x0C / 2] = 0x2B80;  // with the TTC clock of the sender
    expect[0x0E / 2] = 0x4040;
    expect[0x10 / 2] = fw >= 9 ? 0xFFFF : 0;
    expect[0x12 / 2] = fw >= 9 ? 0x00FF : 0;
    expect[0x2E / 2] = 0x4000;
    for (std::uint32_t r = 0; r < 25; ++r) EXPECT_EQ(m.r(2 * r), expect[r]) << "fw " << fw << " byte " << 2 * r;
    EXPECT_EQ(m.r(SERIAL), (fw << 8) | 0x17);
  }
  // Without a TTC sender there is neither TTC clock nor a ready TTCrx.
  Rig alone("firmware=9", false);
  EXPECT_EQ(alone.r(STATUS), 0x2A80);
  EXPECT_EQ(alone.r(TTCCMD), 0);
}

TEST(QemRegisters, OnlyD16InsideTheRegisterBlockAndRam) {
  Rig m;
  std::uint32_t v = 0;
  EXPECT_FALSE(m.crate().read(vmesim::Space::A24, kQem + 0x10, vmesim::Width::D32, v));
  EXPECT_FALSE(m.crate().write(vmesim::Space::A24, kQem + 0x11, vmesim::Width::D8, 1));
  m.r(0x34);
  EXPECT_FALSE(m.ok_);
  m.setRam(0x3FFF, 0xBEEF);
  EXPECT_EQ(m.ram(0x3FFF), 0xBEEF);
  EXPECT_TRUE(m.ok_);
}

TEST(QemRegisters, RandomWritesReadBackAndStartNothing) {
  Rig m;
  reset(m);
  m.w(COMMAND, 0);
  m.w(SEQCTL, 0x2200);
  const std::uint32_t l1Before = m.l1id(false);
  Lcg g{7};
  for (int loop = 0; loop < 200; ++loop) {
    for (const q::QemReg* row : kReadWrite) {
      const auto v = static_cast<std::uint16_t>(g.next() & row->testMask);
      m.w(row->offset, v);
      ASSERT_EQ(m.r(row->offset) & row->testMask, v) << "byte " << row->offset;
    }
  }
  // Whatever was written, nothing ran: no command, burst or sequencer busy,
  // nothing issued, and the counter moved only by the presets.
  m.w(SEQCTL, 0x2200);
  m.w(OUTPUT, 0);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(m.r(STATUS) & 0x0074, 0);
  EXPECT_EQ(m.r(OUTPUT), 0);
  m.w(L1LO, l1Before & 0xFFFF);
  m.w(L1HI, l1Before >> 16);
  EXPECT_EQ(m.l1id(false), l1Before);
}

TEST(QemFaults, StuckAndResetFaultsShowInTheRegisters) {
  Rig m("fault=stuck0:0x06:0x0080 fault=stuck1:0x08:0x00F0 fault=reset:0x1E:0x1234");
  reset(m);
  EXPECT_EQ(m.r(0x08), 0x00F0);
  EXPECT_EQ(m.r(0x1E), 0x1234);
  m.w(0x06, 0xFFFF);
  m.w(0x08, 0);
  m.w(0x1E, 0);
  EXPECT_EQ(m.r(0x06), 0xFF7F);
  EXPECT_EQ(m.r(0x08), 0x00F0);
  EXPECT_EQ(m.r(0x1E), 0);
}

TEST(QemFaults, BadFaultsAndOptionsAreRefused) {
  for (const char* bad : {"fault=nonsense", "fault=stuck0:0x35:1", "fault=stuck1:0x10",
                          "fault=ram-alias:14", "fault=serial-id-bit:36", "fault=ttc-bcast-dead:8",
                          "fault=clock-off:1", "firmware=0x100", "colour=red", "size=0x800"}) {
    std::string error;
    EXPECT_FALSE(vmesim::Crate::parse(crateText(bad), "x", error)) << bad;
    EXPECT_NE(error.find("line 1"), std::string::npos) << error;
  }
}

// ---- commands -------------------------------------------------------------------

struct CmdRow {
  std::uint16_t cmd;
  std::uint8_t out600, out0;
};
constexpr std::array<CmdRow, 6> kCmds = {
    {{0x02, 0x31, 0x01}, {0x04, 0x02, 0x02}, {0x08, 0x04, 0x04}, {0x10, 0x39, 0x09}, {0x20, 0x40, 0x40}, {0x40, 0x80, 0x80}}};

TEST(QemCommands, EachPulseRaisesItsOutputBitsAndCompletes) {
  for (std::uint16_t en : {0x0600, 0x0700, 0x0000}) {
    Rig m;
    reset(m);
    m.w(ENTTC, en);
    for (const CmdRow& row : kCmds) {
      m.w(OUTPUT, 0);
      m.command(row.cmd);
      const int polls = m.poll(STATUS, 0x0004, 0);
      ASSERT_GE(polls, 0);
      EXPECT_LT(polls, 10);
      EXPECT_EQ(m.r(OUTPUT), en ? row.out600 : row.out0) << "cmd " << row.cmd << " enTTC " << en;
    }
  }
}

TEST(QemCommands, CalHoldsTheCommandBitUntilItsDelayedL1A) {
  Rig m;
  reset(m);
  m.w(DELAYS, 0x00C8);  // 200 + 29 BC
  m.command(0x10);
  const int polls = m.poll(STATUS, 0x0004, 0);
  EXPECT_GE(polls, 229 / 20 - 1);
  EXPECT_LE(polls, 229 / 20 + 2);
  EXPECT_EQ(m.l1id(false), 0u);
}

TEST(QemCommands, EcrFollowsTheFirmwareRule) {
  struct Case {
    const char* options;
    bool old;
    std::uint32_t afterEcr, afterL1A;
  };
  for (const Case& c : {Case{"firmware=9", false, 0x000005, 0}, Case{"firmware=8", true, 0, 1},
                        Case{"firmware=9 fault=ecr-immediate", false, 0, 1}}) {
    Rig m(c.options);
    reset(m);
    for (int i = 0; i < 6; ++i) m.command(0x02);
    EXPECT_EQ(m.l1id(c.old), c.old ? 6u : 5u) << c.options;
    m.command(0x04);
    m.command(0x08);
    m.command(0x20);
    EXPECT_EQ(m.l1id(c.old), c.afterEcr) << c.options;
    m.command(0x02);
    EXPECT_EQ(m.l1id(c.old), c.afterL1A) << c.options;
  }
}

TEST(QemCommands, DeadPulsesDoNothing) {
  Rig m("fault=cmd-dead:0x22");
  reset(m);
  m.w(ENTTC, 0x0600);
  m.w(OUTPUT, 0);
  m.command(0x02);
  m.command(0x20);
  EXPECT_EQ(m.r(OUTPUT), 0);
  EXPECT_EQ(m.l1id(false), 0xFFFFFFu);
  m.command(0x04);
  EXPECT_EQ(m.r(OUTPUT), 0x02);
}

// ---- event counter -----------------------------------------------------------

std::vector<std::uint32_t> fiveL1As(Rig& m, bool old) {
  std::vector<std::uint32_t> ids;
  for (int i = 0; i < 5; ++i) {
    m.command(0x02);
    m.poll(STATUS, 0x0004, 0);
    ids.push_back(m.l1id(old));
  }
  return ids;
}

TEST(QemCounter, RollOverRunsOfBothLayouts) {
  for (int fw : {9, 8}) {
    const bool old = fw < 9;
    Rig m("firmware=" + std::to_string(fw));
    reset(m);
    m.w(L1LO, 0xFFD);
    m.w(L1HI, 0);
    EXPECT_EQ(fiveL1As(m, old), (std::vector<std::uint32_t>{0xFFE, 0xFFF, 0x1000, 0x1001, 0x1002}));
    m.w(L1HI, 0xFFF);
    m.w(L1LO, 0xFFFD);
    EXPECT_EQ(fiveL1As(m, old), (std::vector<std::uint32_t>{0xFFFFFE, 0xFFFFFF, 0, 1, 2})) << fw;
    // The burst preset: 0xFFFF and 0x00FF give 0xFFFFFF in both layouts.
    m.w(L1LO, 0xFFFF);
    m.w(L1HI, 0x00FF);
    EXPECT_EQ(m.l1id(old), 0xFFFFFFu) << fw;
  }
}

TEST(QemCounter, NoCarryFaultLosesTheHighPart) {
  Rig m("fault=l1id-no-carry");
  reset(m);
  m.w(L1LO, 0xFFFE);
  m.w(L1HI, 0x12);
  EXPECT_EQ(fiveL1As(m, false), (std::vector<std::uint32_t>{0x12FFFF, 0x120000, 0x120001, 0x120002, 0x120003}));
}

// ---- sequencer ----------------------------------------------------------------

void play(Rig& m, int n) {
  m.w(ENABLES, 0);
  m.w(OUTPUT, 0);
  m.w(COMMAND, 0);
  m.w(ENTTC, 0);
  m.w(SEQLAST, static_cast<std::uint16_t>(n - 1));
  m.w(SEQCTL, 0x2200);
  m.w(SEQCTL, 0);
  m.w(SEQCTL, 0x40FF);
}

TEST(QemSequencer, PlaysVerbatimAndRecordsTheSink) {
  Rig m;
  reset(m);
  Lcg g{1};
  std::vector<std::uint16_t> words(0x4000);
  for (std::uint32_t k = 0; k < 0x4000; ++k) m.setRam(k, words[k] = static_cast<std::uint16_t>(g.next()));
  play(m, 0x2000);
  EXPECT_EQ(m.r(STATUS) & 0x0060, 0x0060);
  const int polls = m.poll(STATUS, 0x0060, 0, 999);
  ASSERT_GE(polls, 0);
  EXPECT_GT(polls, 0x2000 / 20 - 5);
  std::uint8_t orBits = 0;
  for (std::uint32_t k = 0; k < 0x4000; ++k) {
    const std::uint16_t lo = words[k] & 0xFF;
    if (k < 0x2000) orBits |= lo;
    ASSERT_EQ(m.ram(k), k < 0x2000 ? lo * 0x0101 : words[k]) << k;
  }
  EXPECT_EQ(m.r(OUTPUT), orBits);
}

TEST(QemSequencer, PlayedCommandsDriveCountersButSendNoTrains) {
  for (int nibble : {0, 7, 15}) {
    Rig m;
    reset(m);
    m.w(BCID, static_cast<std::uint16_t>(nibble << 12));
    for (std::uint32_t k = 0; k < 101; ++k) m.setRam(k, 0);
    m.setRam(1, 0x04);
    m.setRam(19, 0x09);  // L1A with a CAL: no L1A follows a played CAL
    m.setRam(40, 0x02);
    play(m, 100);
    m.w(ENTTC, 0x0600);
    ASSERT_GE(m.poll(STATUS, 0x0060, 0, 999), 0);
    EXPECT_EQ(m.r(BCID), (nibble << 12) | (17 - nibble));
    EXPECT_EQ(m.l1id(false), 0u);  // 0xFFFFFF + 1; the ECR leaves the reading alone
    EXPECT_EQ(m.r(OUTPUT), 0x0F);
    EXPECT_EQ(m.ram(19), 0x0909);
    EXPECT_EQ(m.ram(20), 0);
    EXPECT_EQ(m.ram(100), 0);
  }
  Rig bad("fault=bcid-no-offset");
  reset(bad);
  bad.w(BCID, 0xF000);
  bad.setRam(1, 0x04);
  bad.setRam(19, 0x01);
  play(bad, 100);
  bad.poll(STATUS, 0x0060, 0, 999);
  EXPECT_EQ(bad.r(BCID), 0xF011);
}

TEST(QemSequencer, StopEndsARunAtOnce) {
  Rig m;
  reset(m);
  play(m, 0x4000);
  for (int i = 0; i < 10; ++i) m.r(STATUS);
  m.w(SEQCTL, 0x2200);
  EXPECT_EQ(m.r(STATUS) & 0x0060, 0);
}

TEST(QemSequencer, HungOrDeadSinkFaults) {
  Rig hang("fault=seq-hang");
  reset(hang);
  hang.setRam(0, 0x01);
  play(hang, 10);
  EXPECT_EQ(hang.poll(STATUS, 0x0060, 0, 999), -1);
  hang.setRam(0, 0x02);
  play(hang, 10);  // a hung sequencer takes no new run
  hang.poll(STATUS, 0x0060, 0, 10);
  EXPECT_EQ(hang.ram(0), 0x0002);
  reset(hang);
  EXPECT_EQ(hang.r(STATUS) & 0x0060, 0);

  Rig dead("fault=sink-dead");
  reset(dead);
  dead.setRam(3, 0x0008);
  play(dead, 10);
  dead.poll(STATUS, 0x0060, 0, 999);
  EXPECT_EQ(dead.ram(3), 0x0008);
  EXPECT_EQ(dead.r(OUTPUT), 0x08);
}

TEST(QemRam, StuckAndAliasFaults) {
  Rig m("fault=ram-stuck0:0x123:0x0010 fault=ram-stuck1:0x3000:0x0F00 fault=ram-alias:12");
  m.setRam(0x123, 0xFFFF);
  EXPECT_EQ(m.ram(0x123), 0xFFEF);
  m.setRam(0x3000, 0);
  EXPECT_EQ(m.ram(0x3000), 0x0F00);
  // The sequencer sees the stuck bit too.
  m.setRam(0x123, 0x0010);
  play(m, 0x124);
  m.poll(STATUS, 0x0060, 0, 999);
  EXPECT_EQ(m.ram(0x123), 0);
  EXPECT_EQ(m.r(OUTPUT) & 0x10, 0);
  m.setRam(0x0042, 0x1111);
  EXPECT_EQ(m.ram(0x1042), 0x1111);
}

// ---- recording VME commands ------------------------------------------------

// Arms a 100-word recording, issues one command and scans the sink; returns
// the scan and reads back L1ID, BCID and TTID.
struct SinkRun {
  ScanResult scan;
  std::uint32_t l1id, bcid, ttid;
};
SinkRun sinkCheck(Rig& m, std::uint16_t cmd, int next = -999) {
  m.w(SEQLAST, 99);
  m.w(SEQCTL, 0x8000);
  for (std::uint32_t k = 0; k < 100; ++k) m.setRam(k, 0);
  m.w(OUTPUT, 0);
  m.command(cmd);
  EXPECT_GE(m.poll(STATUS, 0x0004, 0), 0);
  SinkRun s{};
  s.l1id = m.l1id(qemOldFirmware != 0);
  s.bcid = m.r(BCID) & 0xFFF;
  s.ttid = m.r(TTID);
  EXPECT_GE(m.poll(STATUS, 0x0060, 0, 999), 0);
  s.scan = m.scan(100, 1, next);
  return s;
}

TEST(QemRecording, VmeCommandsRecordCleanTrainsFromTheFirstL1A) {
  for (int fw : {9, 8}) {
    qemOldFirmware = fw < 9;
    Rig m("firmware=" + std::to_string(fw));
    reset(m);
    m.w(ENTTC, 0x0700);
    m.w(BCID, 0xF000);
    int next = -999;
    for (std::uint16_t ttid : {0u, 1u, 0x3FFu}) {
      m.w(TTID, ttid);
      for (std::uint16_t cmd : {0x02, 0x10}) {
        const SinkRun s = sinkCheck(m, cmd, next);
        EXPECT_EQ(s.scan.errors, 0);
        EXPECT_EQ(s.scan.indexL1A, 0);  // a CAL before its L1A is not recorded
        EXPECT_EQ(s.scan.countCAL, 0);
        EXPECT_EQ(static_cast<std::uint32_t>(s.scan.l1id), s.l1id);
        EXPECT_EQ(static_cast<std::uint32_t>(s.scan.bcid), s.bcid);
        EXPECT_EQ(static_cast<std::uint32_t>(s.scan.ttid), s.ttid);
        next = static_cast<int>(s.l1id + 1);
      }
    }
  }
  qemOldFirmware = 0;
}

TEST(QemRecording, SerialLineFaultsSpoilTheTrains) {
  Rig bit("fault=serial-id-bit:3");
  reset(bit);
  bit.w(ENTTC, 0x0600);
  const SinkRun s = sinkCheck(bit, 0x02);
  EXPECT_EQ(static_cast<std::uint32_t>(s.scan.l1id), s.l1id ^ 8u);

  Rig tt("fault=serial-tt-dead");
  reset(tt);
  tt.w(ENTTC, 0x0600);
  tt.w(TTID, 0x155);
  const SinkRun t = sinkCheck(tt, 0x02);
  EXPECT_EQ(t.scan.ttid, 0);
  EXPECT_EQ(tt.r(OUTPUT), 0x11);
}

// ---- bursts ---------------------------------------------------------------

struct BurstOut {
  int timeoutPolls;
  std::uint32_t l1id;
  std::uint16_t output;
  ScanResult scan;
};
BurstOut burstRun(Rig& m, std::uint16_t enables, std::uint16_t c, bool old) {
  m.w(ENABLES, enables);
  m.w(BURST, 7);
  m.w(COMMAND, 0x0200);
  m.w(L1LO, 0xFFFF);
  m.w(L1HI, 0x00FF);
  m.poll(STATUS, 0x0060, 0, 999);
  m.w(SEQLAST, 0x3FFF);
  m.w(SEQCTL, 0x8000);
  m.w(OUTPUT, 0);
  m.w(COMMAND, 0x0600);
  m.w(COMMAND, 0x0600 | c);
  BurstOut b{};
  b.timeoutPolls = m.poll(STATUS, 0x0010, 0);
  EXPECT_GE(m.poll(STATUS, 0x0060, 0, 999), 0);
  m.w(SEQCTL, 0);
  m.w(ENABLES, 0);
  m.w(COMMAND, 0);
  b.l1id = m.l1id(old);
  b.output = m.r(OUTPUT);
  b.scan = m.scan(0x4000, 1, -999, (m.r(DELAYS) & 0xFF) + 29);
  return b;
}

TEST(QemBursts, L1AAndCalBurstsEndAtSixAndScanClean) {
  for (int fw : {9, 8}) {
    qemOldFirmware = fw < 9;
    Rig m("firmware=" + std::to_string(fw));
    reset(m);
    // The largest offset, and loops enough for the bunch counter, running
    // without BCRs, to wrap by itself during bursts: the BCIDs must still
    // follow each other modulo 4096.
    m.w(BCID, 0xF000);
    for (std::uint16_t loop = 0; loop < 0x30; ++loop) {
      SCOPED_TRACE(loop);
      m.w(ENTTC, 0x0700);
      m.w(DELAYS, loop);
      const BurstOut a = burstRun(m, 2, 0x00, fw < 9);
      EXPECT_GE(a.timeoutPolls, 0);
      EXPECT_EQ(a.l1id, 6u);
      EXPECT_EQ(a.output, 0x31);
      EXPECT_EQ(a.scan.countL1A, 7);
      EXPECT_EQ(a.scan.errors, 0);
      const BurstOut c = burstRun(m, 0, 0x10, fw < 9);
      EXPECT_EQ(c.l1id, 6u);
      EXPECT_EQ(c.output, 0x39);
      EXPECT_EQ(c.scan.countL1A, 7);
      EXPECT_EQ(c.scan.countCAL, 6);  // the first CAL comes before the recording
      EXPECT_EQ(c.scan.errors, 0);
    }
  }
  qemOldFirmware = 0;
}

TEST(QemBursts, HangAndLateCalFaults) {
  Rig hang("fault=burst-hang");
  reset(hang);
  EXPECT_EQ(burstRun(hang, 2, 0, false).timeoutPolls, -1);

  Rig late("fault=cal-delay:5");
  reset(late);
  late.w(ENTTC, 0x0700);
  const BurstOut c = burstRun(late, 0, 0x10, false);
  EXPECT_EQ(c.l1id, 6u);          // the counters cannot tell
  EXPECT_EQ(c.scan.errors, 6);    // but the pipeline rule can
}

}  // namespace
}  // namespace qemmodel
