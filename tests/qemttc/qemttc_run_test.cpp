// qemttc end to end on the simulated crate: the healthy path with its
// defaults and other loop counts, an old TTCrx, each TTC and serial fault,
// windows that cannot be mapped, and the bus cycles sent to the TTCvi.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "param_name.h"
#include "program_runner.h"

namespace {

using vmetest::countOf;
using vmetest::RunOptions;
using vmetest::RunResult;
using vmetest::runProgram;
using vmetest::sourcePath;

const std::vector<std::string> kTests = {"REG", "TTC", "SER", "I2C"};

std::string faultCrate(const std::string& file) {
  return sourcePath("examples/faults/" + file + ".crate");
}

RunResult run(const std::string& input, const std::string& crateFile = "",
              const std::string& trace = "") {
  RunOptions o;
  o.input = input;
  o.timeoutMs = 60000;
  if (!crateFile.empty()) o.env["VME_SIM_CRATE"] = crateFile;
  if (!trace.empty()) o.env["VME_SIM_TRACE"] = trace;
  return runProgram("qemttc", o);
}

// The tests whose verdict line says Fail; every test must have one verdict.
std::set<std::string> failed(const RunResult& r) {
  std::set<std::string> out;
  for (const std::string& t : kTests) {
    const std::string pass = t + " test: Pass\n";
    const std::string fail = t + " test: Fail -- ";
    EXPECT_EQ(countOf(r.out, pass) + countOf(r.out, fail), 1u) << t << "\n" << r.out;
    if (countOf(r.out, fail) != 0) out.insert(t);
  }
  return out;
}

void expectCleanEnd(const RunResult& r, int status = 0) {
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitStatus, status);
  EXPECT_EQ(r.err, "");  // nothing outside a window
  ASSERT_GE(r.out.size(), 10u);
  EXPECT_EQ(r.out.substr(r.out.size() - 10), "VXI done.\n");
  // The summary line before it names the module and the outcome.
  const char* word[] = {"PASSED", "FAILED", "UNTESTED", "INCOMPLETE"};
  const std::size_t at = r.out.rfind("\nqemttc: ");
  ASSERT_NE(at, std::string::npos) << r.out;
  const std::string line = r.out.substr(at + 1, r.out.find('\n', at + 1) - at - 1);
  if (line.starts_with("qemttc: 4 tests, ")) {
    EXPECT_NE(line.find("; module serial 01 firmware "), std::string::npos) << line;
  }
  EXPECT_TRUE(line.ends_with(std::string(": ") + word[status])) << line;
}

// The text between a test's loop question and its verdict.
std::string section(const std::string& out, const std::string& test) {
  const std::size_t from = out.find(test + " test: Enter number of loops");
  const std::size_t to = out.find(test + " test: ", from + 1);
  if (from == std::string::npos || to == std::string::npos) return "";
  return out.substr(from, to - from);
}

const char kOpening[] =
    "Enter  VME base address [4xBAD000] : \a"
    "Checking VME access  (by causing bus error)\n"
    "Base VME address = bad000, End VME address = bad7ff\n"
    "  mapped address = 10100000\n"
    "Select VME A32  address mode? [A24] [N] : \a"
    "Enter  VME base address [4xF00000] : \a"
    "Checking VME access  (by causing bus error)\n"
    "Base VME address = f00000, End VME address = f007ff\n"
    "  mapped address = 10200000\n"
    "Checking VME access  (by causing bus error)\n"
    "Base VME address = f08000, End VME address = f0ffff\n"
    "  mapped address = 10300000\n";

// ---------------------------------------------------------------- good path

TEST(QemttcRun, DefaultCrateWithAllDefaultsPasses) {
  const RunResult r = run("");
  expectCleanEnd(r);
  EXPECT_EQ(r.out.substr(0, sizeof kOpening - 1), kOpening);
  EXPECT_EQ(countOf(r.out, "TTCvi ROM "), 24u);
  EXPECT_NE(r.out.find("Enter debug level [4x   0] : \a\n"), std::string::npos);
  EXPECT_NE(r.out.find("TTCrx Ready, TTC Clock Detected, and Enabled.\n"), std::string::npos);
  EXPECT_EQ(failed(r), std::set<std::string>{});
  EXPECT_EQ(r.out.find("ERROR"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("TTCrx is old ???"), std::string::npos);
  // The recording of the TTC test holds its one L1A.
  const std::string ttc = section(r.out, "TTC");
  EXPECT_NE(ttc.find("\nQEM register dump:\n"), std::string::npos);
  EXPECT_NE(ttc.find("scan countL1A = 1\n"), std::string::npos) << ttc;
  // The prompts come in the order of the tests, each with its default of 1.
  std::size_t at = 0;
  for (const std::string& t : kTests) {
    at = r.out.find(t + " test: Enter number of loops [4x   1] : ", at);
    EXPECT_NE(at, std::string::npos) << t;
  }
}

TEST(QemttcRun, LoopCountsZeroAndMoreKeepAGoodPathPassing) {
  vmetest::TempDir dir;
  // TTCvi, address mode, module, debug level, then REG, TTC, SER, I2C.
  const RunResult none = run("\n\n\n\n0\n0\n0\n0\n", "", dir.file("none.trace"));
  expectCleanEnd(none, 2);  // no test ran: nothing was tested
  EXPECT_NE(none.out.find("\nqemttc: 4 tests, 0 passed, 0 failed, 4 not run (REG TTC SER I2C)"),
            std::string::npos);
  EXPECT_EQ(failed(none), std::set<std::string>{});
  // Without a loop no L1A is sent, and the TTC test still dumps and scans.
  const auto cycles = vmetest::traceCycles(dir.file("none.trace"));
  EXPECT_EQ(std::count_if(cycles.begin(), cycles.end(),
                          [](const std::string& l) { return l.rfind("W A24 D16 00BAD086", 0) == 0; }),
            0);
  EXPECT_NE(none.out.find("scan countL1A = 0\n"), std::string::npos);
  EXPECT_EQ(section(none.out, "I2C").find("wait loops"), std::string::npos);

  // Several loops: the TTCvi event counter and the L1ID carry over.
  const RunResult more = run("\n\n\n\n3\n4\n5\n2\n");
  expectCleanEnd(more);
  EXPECT_EQ(failed(more), std::set<std::string>{});
  EXPECT_EQ(more.out.find("ERROR"), std::string::npos) << more.out;
  EXPECT_NE(more.out.find("scan countL1A = 4\n"), std::string::npos);
  EXPECT_EQ(countOf(section(more.out, "I2C"), "wait loops "), 2u * 6u);

  // Counts that put a SER step's L1A 2 BC before a periodic BCR, or in the
  // third bunch after one: the recordings are what a good module makes.  No
  // test needs another to have run a loop: each still runs and passes.
  for (const char* input : {"\n\n\n\n\n\n2F\n0\n", "\n\n\n3\n3\n0\n5\n0\n",
                            "\n\n\n\n\n\n100\n0\n", "\n\n\n\n0\n\n\n\n", "\n\n\n\n\n0\n\n\n",
                            "\n\n\n\n\n\n0\n\n"}) {
    const RunResult r = run(input);
    expectCleanEnd(r, 3);  // one test ran no loop
    EXPECT_EQ(failed(r), std::set<std::string>{}) << input;
    EXPECT_EQ(section(r.out, "SER").find("ERROR"), std::string::npos) << input;
  }
  // 0x100 TTC loops in one recording: every BCR and L1A of it scans clean.
  const RunResult ttc = run("\n\n\n\n\n100\n0\n0\n");
  EXPECT_EQ(ttc.out.find("ERROR"), std::string::npos);
}

TEST(QemttcRun, NegativeLoopCountsRunNoLoop) {
  // Loop counts are signed: "-2" is no loop, not four thousand million.
  vmetest::TempDir dir;
  const RunResult r = run("\n\n\n\n-2\n-2\n-2\n-2\n", "", dir.file("t.trace"));
  expectCleanEnd(r, 2);
  EXPECT_EQ(failed(r), std::set<std::string>{});
  const auto cycles = vmetest::traceCycles(dir.file("t.trace"));
  EXPECT_EQ(std::count_if(cycles.begin(), cycles.end(),
                          [](const std::string& l) { return l.rfind("W A24 D16 00BAD086", 0) == 0; }),
            0);
  EXPECT_EQ(section(r.out, "I2C").find("wait loops"), std::string::npos);
}

TEST(QemttcRun, DebugLevelsAddStepLinesAndSerialDumps) {
  const RunResult r = run("\n\n\n4\n1\n1\n2\n1\n");
  expectCleanEnd(r);
  EXPECT_EQ(failed(r), std::set<std::string>{});
  // Eight CMDs rows and a TYPE step print their register lines.
  EXPECT_EQ(countOf(section(r.out, "REG"), "reg_output "), 9u);
  EXPECT_NE(section(r.out, "REG").find("TTid 00DA\n"), std::string::npos);
  // One TTC step in the TTC test and one in each SER step, two lines each.
  EXPECT_EQ(countOf(r.out, "TTC L1id 00000"), 6u);
  EXPECT_NE(r.out.find("\nTTC L1id 000000\n"), std::string::npos);
  EXPECT_NE(r.out.find("TTC L1id 000003\n"), std::string::npos);
  // Above 3 each SER loop dumps the module.
  EXPECT_EQ(countOf(section(r.out, "SER"), "QEM register dump:"), 2u);
}

TEST(QemttcRun, OldTTCrxIsReportedAndStillPasses) {
  const RunResult r = run("", faultCrate("ttc-ttcrx-late"));
  expectCleanEnd(r);
  EXPECT_EQ(countOf(r.out, "TTCrx is old ???\n"), 1u);
  EXPECT_EQ(failed(r), std::set<std::string>{});
  EXPECT_EQ(r.out.find("ERROR"), std::string::npos) << r.out;
}

TEST(QemttcRun, OldFirmwareModulePasses) {
  // After a reset or an ECR the old event counter reads 0 and its first L1A
  // gives 1.
  vmetest::TempDir dir;
  const std::string crateFile =
      dir.write("fw8.crate", "qem A24 0xF00000 firmware=8 serial=0x01\nttcvi A24 0xBAD000\n");
  for (const char* input : {"", "\n\n\n\n0\n2\n2\n"}) {
    const RunResult r = run(input, crateFile);
    expectCleanEnd(r, *input ? 3 : 0);  // REG without a loop
    EXPECT_NE(r.out.find("Version  8\n"), std::string::npos);
    EXPECT_EQ(failed(r), std::set<std::string>{}) << input;
    EXPECT_EQ(r.out.find("ERROR"), std::string::npos) << r.out;
  }
}

// ---------------------------------------------------------------- faults

struct FaultCase {
  const char* crate;
  std::set<std::string> fails;
  const char* line;  // a line the fault must produce
};

// A case as gtest lists it.
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.crate; }

class QemttcFault : public testing::TestWithParam<FaultCase> {};

TEST_P(QemttcFault, FailsTheTestsThatSeeIt) {
  const FaultCase& c = GetParam();
  const RunResult r = run("", faultCrate(c.crate));
  expectCleanEnd(r, c.fails.empty() ? 0 : 1);
  EXPECT_EQ(failed(r), c.fails) << r.out;
  EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    TtcAndSerialFaults, QemttcFault,
    testing::Values(
        FaultCase{"ttc-i2c-hang", {"I2C"}, "wait loops FFFF\nTIMEOUT: TTCrx "},
        FaultCase{"ttc-data-dead", {"REG", "TTC", "SER"}, "ERROR: TYPE: ttcdat TYPE (000000, 0000da)\n"},
        FaultCase{"ttc-bcast-dead", {"REG"}, "ERROR: CMDs: output mask (000000, 000040)\n"},
        FaultCase{"qem-serial-id-dead", {"TTC", "SER"}, "ERROR: SINK: l1id   scan"},
        FaultCase{"qem-serial-tt-dead", {"REG", "TTC", "SER"}, "ERROR: TYPE: output mask (000000, 000020)\n"},
        FaultCase{"qem-serial-id-bit", {"SER"}, "ERROR: SINK: l1id   scan"}),
    [](const testing::TestParamInfo<FaultCase>& i) { return vmetest::paramName(i.param.crate); });

TEST(QemttcRun, HungI2CPortCountsEveryAccessOfTheI2CTest) {
  const RunResult r = run("", faultCrate("ttc-i2c-hang"));
  const std::string i2c = section(r.out, "I2C");
  EXPECT_EQ(countOf(i2c, "TIMEOUT: TTCrx "), 6u);
  EXPECT_NE(r.out.find("I2C test: Fail -- 0xa (10) errors\n"), std::string::npos);
}

// ---------------------------------------------------------------- windows

TEST(QemttcRun, TTCviWindowThatCannotBeMappedSkipsTheTests) {
  vmetest::TempDir dir;
  // The TTCvi window would run past the end of A24 space.
  const RunResult r = run("FFFC00\n\n\n", "", dir.file("t.trace"));
  expectCleanEnd(r, 2);
  EXPECT_NE(r.out.find("Error opening TTCvi window: TTC tests skipped\n"), std::string::npos);
  EXPECT_EQ(r.out.find(" test: "), std::string::npos);
  EXPECT_EQ(r.out.find("TTCvi ROM"), std::string::npos);
  // Only the two access checks reached the crate.
  EXPECT_EQ(vmetest::traceCycles(dir.file("t.trace")).size(), 2u);
}

TEST(QemttcRun, NoWindowAtAllNamesTheModuleWindow) {
  vmetest::TempDir dir;
  const std::string crateFile =
      dir.write("nomap.crate", "qem A24 0xF00000\nttcvi A24 0xBAD000\nlibrary map=-5\n");
  const RunResult r = run("", crateFile);
  expectCleanEnd(r, 2);
  EXPECT_NE(r.out.find("Error opening VME window\n"), std::string::npos);
  EXPECT_EQ(r.out.find(" test: "), std::string::npos);
}

TEST(QemttcRun, RAMStaysAtItsFixedAddressWhateverTheModuleAddress) {
  vmetest::TempDir dir;
  const std::string crateFile = dir.write(
      "moved.crate", "qem A24 0xE00000\nttcvi A24 0xBAD000\nmemory A24 0xF08000 size=0x8000\n");
  const std::string trace = dir.file("t.trace");
  const RunResult r = run("\n\nE00000\n", crateFile, trace);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.err, "");
  std::size_t atRam = 0, atModuleRam = 0;
  for (const std::string& l : vmetest::traceCycles(trace)) {
    const std::string address = l.substr(10, 8);
    if (address >= "00F08000" && address <= "00F0FFFF") ++atRam;
    if (address >= "00E08000" && address <= "00E0FFFF") ++atModuleRam;
  }
  EXPECT_GE(atRam, 3u * 0x4000u);  // two clears and the TTC test's read-back, at least
  EXPECT_EQ(atModuleRam, 0u);
}

// ---------------------------------------------------------------- cycles

TEST(QemttcRun, TTCviSeesExactlyTheSetUpAndTestCycles) {
  vmetest::TempDir dir;
  const std::string trace = dir.file("t.trace");
  const RunResult r = run("", "", trace);
  expectCleanEnd(r);
  std::vector<std::string> writes;
  std::vector<std::string> csrReads;
  std::size_t reads = 0;
  for (const std::string& l : vmetest::traceCycles(trace)) {
    if (l.find(" 00BAD") == std::string::npos) continue;
    if (l.find(" D32 ") != std::string::npos) continue;  // the access check
    if (l[0] == 'W') writes.push_back(l.substr(15));  // offset and data
    else ++reads;
    if (l[0] == 'R' && l.compare(15, 2, "08") == 0 && (l[17] == '0' || l[17] == '2'))
      csrReads.push_back(l.substr(15, 3));
    EXPECT_EQ(l.find("BERR"), std::string::npos) << l;
  }
  // Each CSR line reads CSR1 first, then CSR2.
  EXPECT_EQ(csrReads, (std::vector<std::string>{"080", "082", "080", "082"}));
  const std::vector<std::string> expected = {
      // Counter from 0, CSR1, CSR2, then the two set-up registers.
      "084 0000", "080 000C", "082 FE00", "092 0000", "094 008E",
      // REG: TTCrx register 3, the eight broadcasts, the trigger type.
      "0C0 8000", "0C2 03E3", "0C4 0021", "0C4 0022", "0C4 0024", "0C4 0028",
      "0C4 0030", "0C4 0020", "0C4 0060", "0C4 00A0", "0C0 8001", "0C2 00DA",
      // TTC: set-up, then trigger type (L1lo's low byte) and one L1A.
      "0B2 0080", "090 000D", "0C0 8001", "0C2 00FF", "086 0000",
      // SER: the same step once more.
      "0C0 8001", "0C2 0000", "086 0000"};
  EXPECT_EQ(writes, expected);
  EXPECT_GT(reads, 24u);
}

// ---------------------------------------------------------------- waits

TEST(QemttcRun, WithoutATTCSenderTheProgramWaitsVisiblyThenStops) {
  vmetest::TempDir dir;
  const std::string crateFile = dir.write("alone.crate", "qem A24 0xF00000\n");
  RunOptions o;
  o.env["VME_SIM_CRATE"] = crateFile;
  vmetest::ProgramSession s("qemttc", o);
  // The module never sees its TTC clock: the set-up waits for the TTCrx.
  EXPECT_TRUE(s.waitForOutput("wait_state: register ", 20000));
  const RunResult r = s.finish(60000);  // it gives up, and tests nothing
  expectCleanEnd(r, 2);
  EXPECT_EQ(r.out.find(" test: "), std::string::npos);
  EXPECT_EQ(countOf(r.out, "\nwait_state: TIMEOUT: reg_TTCcmd 0000, mask 4000, value 4000, "), 1u);
  // No BCR ever in reg_output: the TTC test fails (REG on the broadcast BCR).
  const RunResult noBcr =
      run("", dir.write("b.crate", "qem A24 0xF00000 fault=stuck0:0x30:4\nttcvi A24 0xBAD000\n"));
  EXPECT_EQ(failed(noBcr), (std::set<std::string>{"REG", "TTC"}));
  EXPECT_EQ(countOf(section(noBcr.out, "TTC"), "TIMEOUT: reg_output 0000, mask 0004"), 1u);
}

}  // namespace
