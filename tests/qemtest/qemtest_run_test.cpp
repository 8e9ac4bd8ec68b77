// qemtest end to end on a healthy module: the unattended run on the default
// crate and with firmware 8, the debug levels, the loop counts, the
// repeatability of a run and the run without a window.
#include <gtest/gtest.h>

#include <algorithm>

#include "param_name.h"
#include "program_runner.h"
#include "qemtest_common.h"

namespace {

using namespace qemtest_e2e;
using vmetest::countOf;
using vmetest::runProgram;

std::string sizesLine() {
  return "long 4  int 4  short 2  char 1  bytes\n";
}

void expectAllPass(const std::string& out) {
  const auto v = verdicts(out);
  ASSERT_EQ(v.size(), testOrder().size()) << out;
  for (std::size_t i = 0; i < v.size(); ++i) {
    EXPECT_EQ(v[i].name, testOrder()[i]);
    EXPECT_TRUE(v[i].pass) << v[i].name;
  }
}

TEST(QemtestGoodModule, DefaultCrateUnattendedGivesTheFullTranscript) {
  const auto r = runProgram("qemtest");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.err, "");
  // End of input at every prompt keeps its default and rings the bell.
  EXPECT_EQ(r.out,
            "Select VME A32  address mode? [A24] [N] : \a"
            "Enter  VME base address [4xF00000] : \a"
            "Checking VME access  (by causing bus error)\n"
            "Base VME address = f00000, End VME address = f0ffff\n"
            "  mapped address = 10100000\n"
            "Enter debug level [4x   0] : \a" +
                sizesLine() +
                "\n--- QEM VReset ---\n"
                "\nQEM Serial No.  1  Version  9\n\n"
                "TTCrx Ready, TTC Clock Detected, but not Enabled.\n"
                "RST test: Enter number of loops [4x   3] : \aRST test: Pass\n"
                "CLK test: Enter number of loops [4x   1] : \aCLK test: Pass\n"
                "REG test: Enter number of loops [4x   3] : \aREG test: Pass\n"
                "RAM test: Enter number of loops [4x   2] : \aRAM test: Pass\n"
                "VReset\n"
                "SEQ test: Enter number of loops [4x   2] : \aVReset\nVReset\n"
                "SEQ test: Pass\n"
                "L1ID test: Enter number of loops [4x   3] : \aL1ID test: Pass\n"
                "BCID test: Enter number of loops [4x   3] : \aBCID test: Pass\n"
                "SER test: Enter number of loops [4x   3] : \aSER test: Pass\n"
                "CMD test: Enter number of loops [4x   3] : \aCMD test: Pass\n"
                "BRST test: Enter number of loops [4x   3] : \aBRST test: Pass\n"
                "SEQall test: Pass\n"
                "qemtest: 11 tests, 11 passed, 0 failed, 0 not run; module serial 01 firmware 9: "
                "PASSED\n"
                "VXI done.\n");
}

TEST(QemtestGoodModule, Firmware8Passes) {
  vmetest::TempDir dir;
  const auto r = runProgram("qemtest", options("", crateWith(dir, "firmware=8")));
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_NE(r.out.find("\nQEM Serial No.  0  Version  8\n"), std::string::npos);
  EXPECT_EQ(countOf(r.out, "ERROR"), 0u) << r.out;
  expectAllPass(r.out);

  // REG knows the twelve-bit reg_L1lo also when RST ran no loop.
  const auto noRst = runProgram("qemtest", options("\n\n\n0\n", crateWith(dir, "firmware=8")));
  EXPECT_NE(noRst.out.find("RST test: Pass\n"), std::string::npos);
  EXPECT_NE(noRst.out.find("REG test: Pass\n"), std::string::npos) << noRst.out;
}

TEST(QemtestDebug, LevelTwoAddsDumpsAndNoErrors) {
  const auto r = runProgram("qemtest", options(answers("2", "")));
  EXPECT_EQ(r.exitStatus, 0);
  expectAllPass(r.out);
  EXPECT_EQ(countOf(r.out, "ERROR"), 0u) << r.out;
  EXPECT_NE(r.out.find("Testing 26d registers\nRegister mask contents:\n"
                       "FF00 6F00 FFFF FFFF FFFF FFFF    0    0 FFFF   FF F000  3FF 7FE0 FFF0 FFFF "
                       "FFFF \nRegister contents:\n"),
            std::string::npos);
  EXPECT_EQ(countOf(r.out, "RAM contents:\n"), 2u);
  // Three SER loops, and two bursts in each of three BRST loops.
  EXPECT_EQ(countOf(r.out, "\nQEM register dump:\n"), 9u);
  // Level 3 lines stay out.
  EXPECT_EQ(countOf(r.out, "test_cmdbit:"), 0u);
}

TEST(QemtestDebug, LevelThreePassesWithScanErrorsOnlyInTheSeqDump) {
  const auto r = runProgram("qemtest", options(answers("3", "")));
  EXPECT_EQ(r.exitStatus, 0);
  expectAllPass(r.out);
  const auto seqStart = r.out.find("SEQ test: Enter number of loops");
  const auto seqEnd = r.out.find("SEQ test: Pass\n");
  ASSERT_NE(seqStart, std::string::npos);
  ASSERT_NE(seqEnd, std::string::npos);
  for (auto pos = r.out.find("ERROR"); pos != std::string::npos; pos = r.out.find("ERROR", pos + 1))
    EXPECT_TRUE(pos > seqStart && pos < seqEnd) << r.out.substr(pos, 60);
  // Three loops each of CMD (eighteen steps), L1ID (ten) and SER (two).
  EXPECT_EQ(countOf(r.out, "test_cmdbit: cmdmask"), 3u * (18u + 10u + 2u));
  EXPECT_EQ(countOf(r.out, "\nRun 2 - full roll over\nStarting at l1id fffffd.\n"), 3u);
}

// The loop counts are hexadecimal; every test asks its own, and the SEQ test
// runs its walking-bit and command parts whatever it is.  A test that needs
// what an earlier one leaves is not run after that one ran no loop, and is
// still asked its count.
struct LoopCase {
  const char* answer;  // every loop count but those of zeros
  std::size_t loops;
  std::vector<std::string> zeros = {};  // tests answered 0
  // Tests not run, each with the earlier test that ran no loop.
  std::vector<std::pair<std::string, std::string>> notRun = {};
  bool firmware8 = false;
};

// "loops1_RAM0_fw8": the count, the tests answered 0, the firmware.
std::string label(const LoopCase& c) {
  std::string name = std::string("loops") + c.answer;
  for (const std::string& z : c.zeros) name += "_" + z + "0";
  return vmetest::paramName(name + (c.firmware8 ? "_fw8" : ""));
}
void PrintTo(const LoopCase& c, std::ostream* os) { *os << label(c); }

class QemtestLoops : public testing::TestWithParam<LoopCase> {};

TEST_P(QemtestLoops, GoodModulePassesAndRunsTheLoopsAsked) {
  const LoopCase c = GetParam();
  const auto zero = [&](const std::string& name) {
    return std::find(c.zeros.begin(), c.zeros.end(), name) != c.zeros.end();
  };
  const auto notRun = [&](const std::string& name) {
    return std::any_of(c.notRun.begin(), c.notRun.end(),
                       [&](const auto& e) { return e.first == name; });
  };
  // Loops each test runs.
  const auto ran = [&](const std::string& name) {
    return zero(name) || notRun(name) ? 0 : c.loops;
  };
  std::string input = "\n\n\n";
  for (std::size_t i = 0; i < 10; ++i)
    input += (zero(testOrder()[i]) ? std::string("0") : std::string(c.answer)) + "\n";
  vmetest::TempDir dir;
  const std::string trace = dir.file("t.trace");
  const std::string crate = c.firmware8 ? crateWith(dir, "firmware=8") : "";
  const auto r = runProgram("qemtest", options(input, crate, trace, 120000));
  // Without loops only SEQall, which asks none, has tested: incomplete.
  EXPECT_EQ(r.exitStatus, c.loops == 0 || !c.zeros.empty() ? 3 : 0);
  EXPECT_EQ(countOf(r.out, "ERROR"), 0u) << r.out;
  EXPECT_EQ(countOf(r.out, " test: Enter number of loops"), 10u);
  const auto v = verdicts(r.out);
  EXPECT_EQ(v.size() + c.notRun.size(), testOrder().size()) << r.out;
  for (const Verdict& t : v) EXPECT_TRUE(t.pass) << t.name;
  for (const auto& [name, after] : c.notRun)
    EXPECT_EQ(countOf(r.out, name + " test: not run: the " + after + " test ran no loop\n"), 1u)
        << r.out;
  // Resets: start-up, one per RST loop, the SEQ test's own and one per loop.
  EXPECT_EQ(tracedCount(trace, "W A24 D16 00F00002 FFFF"), 2 + ran("RST") + ran("SEQ"));
  // Sequencer starts: SEQ loops, 8 walking bits, 4 commands, 16 per BCID
  // loop, SEQall.
  EXPECT_EQ(tracedCount(trace, "W A24 D16 00F0001A 40FF"), ran("SEQ") + 12 + 16 * ran("BCID") + 1);
  // Burst starts: two per BRST loop.
  EXPECT_EQ(tracedCount(trace, "W A24 D16 00F00002 0200"), 2 * ran("BRST"));
  // L1A commands: ten per L1ID loop, thirteen per CMD loop, one per SER loop.
  EXPECT_EQ(tracedCount(trace, "W A24 D16 00F00002 0002"),
            10 * ran("L1ID") + 13 * ran("CMD") + ran("SER"));
}

INSTANTIATE_TEST_SUITE_P(
    Counts, QemtestLoops,
    testing::Values(LoopCase{"0", 0}, LoopCase{"1", 1}, LoopCase{"10", 16},
                    // SEQ plays the RAM the RAM test leaves.
                    LoopCase{"1", 1, {"RAM"}, {{"SEQ", "RAM"}}},
                    LoopCase{"2", 2, {"RAM"}, {{"SEQ", "RAM"}}, true},
                    // BCID, SER and CMD start from the next L1ID the L1ID test sets up.
                    LoopCase{"1", 1, {"L1ID"},
                             {{"BCID", "L1ID"}, {"SER", "L1ID"}, {"CMD", "L1ID"}}},
                    LoopCase{"3", 3, {"L1ID"},
                             {{"BCID", "L1ID"}, {"SER", "L1ID"}, {"CMD", "L1ID"}}, true},
                    LoopCase{"2", 2, {"L1ID", "BCID"}, {{"SER", "L1ID"}, {"CMD", "L1ID"}}}),
    [](const auto& p) { return label(p.param); });

TEST(QemtestRepeat, TwoRunsAreIdenticalByteForByte) {
  vmetest::TempDir dir;
  const auto a = runProgram("qemtest", options(answers("3", "2"), "", dir.file("a.trace")));
  const auto b = runProgram("qemtest", options(answers("3", "2"), "", dir.file("b.trace")));
  EXPECT_EQ(a.out, b.out);
  EXPECT_EQ(a.err, b.err);
  EXPECT_TRUE(vmetest::readFile(dir.file("a.trace")) == vmetest::readFile(dir.file("b.trace")));
  // The access check's D32 peek is the only bus error; every other cycle is
  // a D16 access to the module.
  EXPECT_EQ(tracedCount(dir.file("a.trace"), "R A24 D32 00F00000 FFFFFFFF BERR"), 1u);
  EXPECT_EQ(countOf(vmetest::readFile(dir.file("a.trace")), "BERR"), 1u);
}

TEST(QemtestWindow, NoWindowSkipsTheTestsAndCloses) {
  vmetest::TempDir dir;
  const auto r = runProgram("qemtest",
                            options("", crateWith(dir, "firmware=9", "library map=-1\n")));
  EXPECT_EQ(r.exitStatus, 2);  // nothing was tested
  EXPECT_EQ(r.out,
            "Select VME A32  address mode? [A24] [N] : \a"
            "Enter  VME base address [4xF00000] : \a"
            "VME window create error -1\n"
            "  mapped address = 00000000\n"
            "Error opening VME window\n"
            "qemtest: 0 tests, 0 passed, 0 failed, 0 not run: UNTESTED\n"
            "VXI address unmap error -1\n"
            "VXI done.\n");
}

}  // namespace
