// qemtest end to end on a healthy module: the unattended run on the default
// crate and with firmware 8, the debug levels, the loop counts, the
// repeatability of a run and the run without a window.
#include <gtest/gtest.h>

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
// runs its walking-bit and command parts whatever it is.
struct LoopCase {
  const char* answer;
  std::size_t loops;
};

class QemtestLoops : public testing::TestWithParam<LoopCase> {};

TEST_P(QemtestLoops, GoodModulePassesAndRunsTheLoopsAsked) {
  const LoopCase c = GetParam();
  vmetest::TempDir dir;
  const std::string trace = dir.file("t.trace");
  const auto r = runProgram("qemtest", options(answers("", c.answer), "", trace, 120000));
  // Without loops only SEQall, which asks none, has tested: incomplete.
  EXPECT_EQ(r.exitStatus, c.loops == 0 ? 3 : 0);
  EXPECT_EQ(countOf(r.out, "ERROR"), 0u) << r.out;
  expectAllPass(r.out);
  // Resets: start-up, one per RST loop, the SEQ test's own and one per loop.
  EXPECT_EQ(tracedCount(trace, "W A24 D16 00F00002 FFFF"), 2 + 2 * c.loops);
  // Sequencer starts: SEQ loops, 8 walking bits, 4 commands, 16 per BCID
  // loop, SEQall.
  EXPECT_EQ(tracedCount(trace, "W A24 D16 00F0001A 40FF"), c.loops + 12 + 16 * c.loops + 1);
  // Burst starts: two per BRST loop.
  EXPECT_EQ(tracedCount(trace, "W A24 D16 00F00002 0200"), 2 * c.loops);
}

INSTANTIATE_TEST_SUITE_P(Counts, QemtestLoops,
                         testing::Values(LoopCase{"0", 0}, LoopCase{"1", 1}, LoopCase{"10", 16}),
                         [](const auto& p) { return std::string("loops") + p.param.answer; });

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
