// The steps of qemttc against small stand-ins: memory boards where the TTCvi
// and the module sit, or a scripted TTC path that answers each broadcast.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "crate/crate.h"
#include "output_capture.h"
#include "profile_in_force.h"
#include "qemlib/qem_harness.h"
#include "qemlib/qem_registers.h"
#include "qemlib/qem_scan.h"
#include "ttc_tests.h"

namespace {

// qemttc's forms, for the whole binary.
const vmetest::ProfileInForce kTtcProfile{
    {.prompts = PromptStyle::ReadLineFlush,
     .qem = {.bcidRecordAlways = true, .dumpPipelineFromDelays = false}}};

constexpr std::uint32_t kTtcvi = 0xBAD000;
constexpr std::uint32_t kModule = 0xF00000;

using vmetest::printed;
using vmetest::errorLines;

// Windows on the TTCvi and on the module's registers, as qemttc maps them.
class TtcStepTest : public testing::Test {
 protected:
  void TearDown() override { ttcReset(); }

  void mapWindows() {
    ttcWin_ = vmebus::Window{vmesim::Space::A24, kTtcvi, TTCVI_WINDOW, 0x10100000, 1, true, vmebus::currentMethod()};
    qemWin_ = vmebus::Window{vmesim::Space::A24, kModule, QEM_TTC_WINDOW, 0x10200000, 2, true, vmebus::currentMethod()};
    ttcReset();
    harnessReset();
    ttcvi = VmePtr(&ttcWin_, 0);
    qemMapRegisters(VmePtr(&qemWin_, 0));
    qemVersion = 9;
    qemOldFirmware = 0;
  }

  // Two memory boards; moduleFaults go on the module's line.
  void onMemory(const std::string& moduleFaults = "") {
    std::string error;
    auto c = vmesim::Crate::parse("memory A24 0xBAD000 size=0x800\n"
                                  "memory A24 0xF00000 size=0x800 " +
                                      moduleFaults + "\n",
                                  "test", error);
    ASSERT_TRUE(c) << error;
    vmesim::installCrate(std::move(c));
    mapWindows();
  }

  void setCount(int count) {
    ttcvi.write16(regmap::ttcvi::kCountHi.offset, static_cast<std::uint16_t>(0xAB00 | (count >> 16)));
    ttcvi.write16(regmap::ttcvi::kCountLo.offset, static_cast<std::uint16_t>(count & 0xFFFF));
  }

  std::uint64_t cycles() const { return vmesim::crate().cycles(); }

  vmebus::Window ttcWin_, qemWin_;
};

// ---------------------------------------------------------------- ttcI2C

TEST_F(TtcStepTest, I2CAccessThatCompletesAtOnce) {
  onMemory("fault=stuck0:0x2C:0x8000");  // the port never shows busy
  int data = -1;
  EXPECT_EQ(printed([&] { EXPECT_EQ(ttcI2C(I2C_READ, 3, &data), 0); }), "wait loops 0\n");
  // Start, prepare and read bits, register 3, and the low byte of -1.
  EXPECT_EQ(reg_I2C.get(), 0xE3FF & 0x7FFF);
  EXPECT_EQ(data, 0xFF);

  data = 0x1A;
  EXPECT_EQ(printed([&] { EXPECT_EQ(ttcI2C(I2C_WRITE, 1, &data), 0); }), "wait loops 0\n");
  EXPECT_EQ(reg_I2C.get(), 0xC11A & 0x7FFF);
  EXPECT_EQ(data, 0x1A);

  // A register number beyond the TTCrx's five bits never reaches the read bit.
  data = 5;
  printed([&] { ttcI2C(I2C_WRITE, 0x21, &data); });
  EXPECT_EQ(reg_I2C.get(), 0xC105 & 0x7FFF);
}

TEST_F(TtcStepTest, I2CAccessThatNeverCompletesTimesOut) {
  onMemory();  // reads back what was written: busy for ever
  int data = -1;
  const auto before = cycles();
  const std::string out = printed([&] { EXPECT_EQ(ttcI2C(I2C_READ, 3, &data), 1); });
  EXPECT_EQ(out, "wait loops FFFF\nTIMEOUT: TTCrx E3FF i 65535\n");
  EXPECT_EQ(data, 0xFF);
  // Two writes, the bounded polls, the data read and the TIMEOUT line's read.
  EXPECT_EQ(cycles() - before, 2u + 0xFFFFu + 2u);
}

TEST_F(TtcStepTest, I2CTestCountsTimeoutsAndWrongReadBacks) {
  onMemory();
  // End of input: the loop count keeps its default, one loop.
  ASSERT_NE(std::freopen("/dev/null", "r", stdin), nullptr);
  const std::string out = printed(i2cTest);
  // Six accesses time out; the four read-backs of 0xFF are wrong for 0 and 1.
  EXPECT_NE(out.find("I2C read 00FF write 0000 addr 0000\n"), std::string::npos);
  EXPECT_NE(out.find("I2C read 00FF write 0001 addr 0001\n"), std::string::npos);
  EXPECT_NE(out.find("I2C test: Fail -- 0xa (10) errors\n"), std::string::npos);
}

// ---------------------------------------------------------------- TTC step

// Runs one TTC step on memory boards holding the given BCid and BCin.
std::vector<std::string> bcinErrors(int bcid, int bcin) {
  reg_BCid.set(static_cast<std::uint16_t>(bcid));
  reg_BCin.set(static_cast<std::uint16_t>(bcin));
  std::vector<std::string> out;
  for (const std::string& line : errorLines(printed(ttcStep)))
    if (line.find("bcin") != std::string::npos) out.push_back(line);
  return out;
}

TEST_F(TtcStepTest, BCinLatencyWrapsAtTheOrbitsEnd) {
  onMemory();
  struct Case {
    int old, bcid, bcin;
  };
  // BCid 3560 (with and without the offset nibble) plus 5 is bunch 0.
  for (const Case& c : {Case{0, 0xDE8, 0}, Case{0, 0x5DE8, 0}, Case{0, 0xDEC, 4},
                        Case{1, 0xDE7, 0}, Case{1, 0xDE8, 1}, Case{0, 0x100, 0xF105},
                        Case{1, 0x100, 0x106}}) {
    ttcrxOld = c.old;
    EXPECT_TRUE(bcinErrors(c.bcid, c.bcin).empty()) << c.bcid << " " << c.bcin;
  }
  // No wrap into 3565 or beyond, and the old TTCrx's extra BC counts.
  ttcrxOld = 0;
  EXPECT_EQ(bcinErrors(0xDE8, 0xDED),
            std::vector<std::string>{"ERROR: TTC : bcin  bcid+ (000ded, 000000)"});
  ttcrxOld = 1;
  EXPECT_EQ(bcinErrors(0xDE8, 0),
            std::vector<std::string>{"ERROR: TTC : bcin  bcid+ (000000, 000001)"});
}

TEST_F(TtcStepTest, EventCounterExpectationWrapsAfter0xFFFFFF) {
  onMemory();
  setCount(0xFFFFFF);
  EXPECT_EQ(ttcEventCount(), 0xFFFFFF);  // the high byte of 0x88 is not counted
  nextTTCcount = 0xFFFFFF;
  auto has = [](const std::string& out) { return out.find("TTC : l1id   next") != std::string::npos; };
  EXPECT_FALSE(has(printed(ttcStep)));
  EXPECT_EQ(nextTTCcount, 0);

  setCount(0);
  EXPECT_FALSE(has(printed(ttcStep)));
  EXPECT_EQ(nextTTCcount, 1);

  // A counter that did not move is seen.
  const std::string out = printed(ttcStep);
  EXPECT_NE(out.find("ERROR: TTC : l1id   next (000000, 000001)\n"), std::string::npos);
  EXPECT_EQ(nextTTCcount, 1);
}

// ---------------------------------------------------------------- CMDs

// A TTC path scripted per broadcast byte: the TTCvi side logs the bytes, the
// module side is a register file that the script fills in.
struct ScriptedPath {
  std::array<std::uint16_t, TTCVI_WINDOW / 2> ttc{};
  std::array<std::uint16_t, QEM_TTC_WINDOW / 2> qem{};
  std::vector<int> sent;
  std::function<void(ScriptedPath&, int byte)> onBroadcast;
  void setReg(std::uint32_t off, int v) { qem[off / 2] = static_cast<std::uint16_t>(v); }
};

class ScriptedBoard : public vmesim::Board {
 public:
  ScriptedBoard(ScriptedPath& p, bool sender) : p_(p), sender_(sender) {}
  unsigned widths() const override { return vmesim::kD16; }
  bool read(std::uint32_t off, vmesim::Width, std::uint32_t& v) override {
    v = sender_ ? p_.ttc[off / 2] : p_.qem[off / 2];
    return true;
  }
  bool write(std::uint32_t off, vmesim::Width, std::uint32_t v) override {
    (sender_ ? p_.ttc : p_.qem)[off / 2] = static_cast<std::uint16_t>(v);
    if (sender_ && off == regmap::ttcvi::kShort.offset) {
      p_.sent.push_back(static_cast<int>(v));
      if (p_.onBroadcast) p_.onBroadcast(p_, static_cast<int>(v));
    }
    return true;
  }

 private:
  ScriptedPath& p_;
  bool sender_;
};

// What a healthy module shows after each broadcast byte.
void healthyAnswer(ScriptedPath& p, int byte) {
  int output = 0;
  if (byte & 0x01) output |= SEQ_BCR;
  if (byte & 0x02) output |= SEQ_ECR;
  if (byte & 0x04) output |= SEQ_CMD40;
  if (byte & 0x40) output |= SEQ_CAL;
  p.setReg(regmap::qem::kOutput.offset, output);
  p.setReg(regmap::qem::kTTCcmd.offset, 0x4600 | byte);
}

class CmdsTest : public TtcStepTest {
 protected:
  static vmesim::BoardConfig config(std::uint32_t base, std::uint32_t size) {
    vmesim::BoardConfig s;
    s.kind = "scripted";
    s.base = base;
    s.size = size;
    return s;
  }

  void SetUp() override {
    auto c = std::make_unique<vmesim::Crate>();
    c->add(config(kTtcvi, TTCVI_WINDOW), std::make_unique<ScriptedBoard>(path_, true));
    c->add(config(kModule, QEM_TTC_WINDOW), std::make_unique<ScriptedBoard>(path_, false));
    vmesim::installCrate(std::move(c));
    mapWindows();
    path_.setReg(regmap::qem::kL1lo.offset, 0x0005);  // L1ID 5, BCID 0x123, both left alone
    path_.setReg(regmap::qem::kBCid.offset, 0x5123);
    path_.onBroadcast = healthyAnswer;
    freshHarness();
  }

  // As the set-up leaves it: the current L1ID and BCID recorded.
  void freshHarness() {
    harnessReset();
    printed([] { checkCounters(0, 0); });
  }

  ScriptedPath path_;
};

TEST_F(CmdsTest, SendsTheEightBroadcastBitsInOrder) {
  std::string out;
  int errors = -1;
  out = printed([&] { errors = cmdsStep(); });
  EXPECT_EQ(errors, 0) << out;
  EXPECT_EQ(path_.sent, (std::vector<int>{0x21, 0x22, 0x24, 0x28, 0x30, 0x20, 0x60, 0xA0}));
}

TEST_F(CmdsTest, EachRowChecksItsOwnOutput) {
  const std::array<int, 8> expected = {0x04, 0x02, 0x40, 0x00, 0x00, 0x00, 0x08, 0x00};
  for (std::size_t row = 0; row < 8; ++row) {
    freshHarness();
    // The module answers row `row` with one extra output bit.
    path_.onBroadcast = [row](ScriptedPath& p, int byte) {
      healthyAnswer(p, byte);
      if (byte == kTtcCmds[row].byte) p.setReg(regmap::qem::kOutput.offset, p.qem[regmap::qem::kOutput.offset / 2] | 0x01);
    };
    const auto lines = errorLines(printed(cmdsStep));
    char want[80];
    std::snprintf(want, sizeof want, "ERROR: CMDs: output mask (%06x, %06x)", expected[row] | 1,
                  expected[row]);
    EXPECT_EQ(lines, std::vector<std::string>{want}) << "row " << row;
  }
}

TEST_F(CmdsTest, EachRowChecksTheByteInTTCcmd) {
  for (std::size_t row = 0; row < 8; ++row) {
    freshHarness();
    path_.onBroadcast = [row](ScriptedPath& p, int byte) {
      healthyAnswer(p, byte);
      if (byte == kTtcCmds[row].byte) p.setReg(regmap::qem::kTTCcmd.offset, 0x4600);  // byte lost
    };
    const auto lines = errorLines(printed(cmdsStep));
    ASSERT_EQ(lines.size(), 1u) << "row " << row;
    char want[80];
    std::snprintf(want, sizeof want, "ERROR: CMDs: TTCcmd mask (004600, %06x)",
                  kTtcCmds[row].byte | 0x4600);
    EXPECT_EQ(lines[0], want);
  }
}

TEST_F(CmdsTest, OnlyTheECRRowAllowsTheEventCounterToReset) {
  // Old firmware: after an ECR the counter must read 0.  It reads 5 here, so
  // exactly the ECR row complains; every other row sees it unchanged.
  qemVersion = 8;
  qemOldFirmware = 1;
  freshHarness();
  auto lines = errorLines(printed(cmdsStep));
  EXPECT_EQ(lines, std::vector<std::string>{
                       "ERROR: checkID: post ECR, L1ID non-zero: l1id= (000005, 000000)"});

  // A counter that moves at the CAL row is an error there (no L1A may follow
  // a broadcast CAL).
  qemVersion = 9;
  qemOldFirmware = 0;
  freshHarness();
  path_.onBroadcast = [](ScriptedPath& p, int byte) {
    healthyAnswer(p, byte);
    if (byte == 0x60) p.setReg(regmap::qem::kL1lo.offset, 6);
  };
  lines = errorLines(printed(cmdsStep));
  EXPECT_EQ(lines, std::vector<std::string>{
                       "ERROR: checkID: post non-ECR/L1A, L1ID changed: (l1id, last)= (000006, 000005)"});
}

TEST_F(CmdsTest, AnL1AFromTheTTCviIsSeenInEveryRow) {
  path_.ttc[regmap::ttcvi::kCountLo.offset / 2] = 1;
  const auto lines = errorLines(printed(cmdsStep));
  EXPECT_EQ(lines.size(), 8u);
  for (const auto& l : lines) EXPECT_EQ(l, "ERROR: CMDs: l1id   next (000001, 000000)");
}

// ---------------------------------------------------------------- windows

TEST_F(TtcStepTest, MissingWindowsAreNamedAndNothingIsTouched) {
  onMemory();
  const VmePtr t(&ttcWin_, 0);
  const VmePtr q(&qemWin_, 0);
  const auto before = cycles();
  EXPECT_EQ(printed([&] { EXPECT_FALSE(qemttcRun(t, q, VmePtr())); }),
            "Error opening sequencer RAM window: TTC tests skipped\n");
  EXPECT_EQ(printed([&] { qemttcRun(VmePtr(), q, VmePtr()); }),
            "Error opening TTCvi window: TTC tests skipped\n"
            "Error opening sequencer RAM window: TTC tests skipped\n");
  EXPECT_EQ(printed([&] { qemttcRun(t, VmePtr(), t); }), "Error opening VME window\n");
  EXPECT_EQ(cycles(), before);
}

}  // namespace
