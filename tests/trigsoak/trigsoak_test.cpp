// trigsoak and trigsoak2 end to end: the report on a healthy board, the loop
// count, the endless run, and what each trigger fault does to the counts.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>

#include <map>

#include "program_runner.h"

namespace {

using vmetest::countOf;
using vmetest::RunOptions;
using vmetest::runProgram;

using vmetest::withInput;
using vmetest::sourcePath;

const char kReportClean[] =
    "error counts = 0 0 0\n"
    "other errors = 0\n"
    "  bus count  = 0\n";

std::string faultCrate(const std::string& name) {
  return sourcePath("examples/faults/trigger-" + name + ".crate");
}

std::size_t tracedCount(const std::string& trace, const std::string& prefix) {
  auto lines = vmetest::traceCycles(trace);
  return static_cast<std::size_t>(std::count_if(
      lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

TEST(Trigsoak2, HealthyBoardGivesACleanReport) {
  auto r = runProgram("trigsoak2");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out,
            "Checking VME access  (by causing bus error)\n"
            "VME base address = ff0000\n"
            "  mapped address = 10100000\n" +
                std::string(kReportClean) +
                "trigsoak2: 1 iterations, errors calt 0 cali 0 trig 0 other 0: PASSED\n"
                "VXI done.\n");
  EXPECT_EQ(r.err, "");
}

TEST(Trigsoak, RunsTheNumberOfLoopsAsked) {
  vmetest::TempDir dir;
  const std::string trace = dir.file("t.trace");
  auto r = runProgram("trigsoak", withInput("\n3\n", {{"VME_SIM_TRACE", trace}}));
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out,
            "Enter VME base address [4xFF0000] : Checking VME access  (by causing bus error)\n"
            "Base VME address = ff0000, End VME address = ff0fff\n"
            "  mapped address = 10100000\n"
            "Enter number of loops  [4x   0] : " +
                std::string(kReportClean) +
                "trigsoak: 3 iterations, errors calt 0 cali 0 trig 0 other 0: PASSED\n"
                "VXI done.\n");
  // The access check and then one D32 read at the end of each iteration.
  EXPECT_EQ(tracedCount(trace, "R A24 D32 00FF0000 FFFFFFFF BERR"), 4u);
  EXPECT_EQ(tracedCount(trace, "W A24 D16 00FF0000 0010"), 3u);  // one calibration each
}

TEST(Trigsoak, EmptyLoopCountRunsUntilInterrupted) {
  if (!vmetest::hasPosixSignals()) GTEST_SKIP() << "Linux-only: POSIX signals";
  vmetest::TempDir dir;
  const std::string trace = dir.file("t.trace");
  RunOptions o = withInput("\n\n", {{"VME_SIM_TRACE", trace}});
  vmetest::ProgramSession s("trigsoak", o);
  // Far more cycles than any bounded number of loops the answer could mean.
  ASSERT_TRUE(s.waitForLines(trace, 20000, 20000));
  s.signal(SIGINT);
  auto r = s.finish(10000);
  // The loop ends with its counts and summary; then the process dies of
  // the signal as it would have, without closing.
  EXPECT_EQ(r.signal, SIGINT);
  EXPECT_NE(r.out.find("Enter number of loops  [4x   0] : " + std::string(kReportClean) +
                       "trigsoak: "),
            std::string::npos)
      << r.out;
  EXPECT_TRUE(r.out.ends_with(
      " iterations (interrupted), errors calt 0 cali 0 trig 0 other 0: INTERRUPTED\n"))
      << r.out;
  EXPECT_EQ(r.out.find("VXI done."), std::string::npos);
  // Every cycle up to the signal is in the trace, each line whole.
  for (const std::string& l : vmetest::traceCycles(trace)) ASSERT_GE(l.size(), 20u) << l;
}

TEST(Trigsoak, EndOfInputAtTheLoopQuestionEndsCleanly) {
  RunOptions o = withInput("ff0000\n");
  o.timeoutMs = 10000;
  auto r = runProgram("trigsoak", o);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitStatus, 2);  // nothing was soaked
  EXPECT_EQ(r.out.find("error counts"), std::string::npos);
  // The summary still says what was soaked: nothing.
  EXPECT_TRUE(r.out.ends_with("Enter number of loops  [4x   0] : \atrigsoak: 0 iterations, errors "
                              "calt 0 cali 0 trig 0 other 0: UNTESTED\nVXI done.\n"))
      << r.out;
}

TEST(Trigsoak, WindowThatCannotBeMappedSkipsTheSoak) {
  vmetest::TempDir dir;
  const std::string crate = dir.write("c.crate", "trigger A24 0xFF0000\nlibrary map=-5\n");
  auto r = runProgram("trigsoak", withInput("\n3\n", {{"VME_SIM_CRATE", crate}}));
  EXPECT_EQ(r.exitStatus, 2);
  EXPECT_NE(r.out.find("VME window create error -5\n"), std::string::npos);
  EXPECT_EQ(r.out.find("Enter number of loops"), std::string::npos);
  EXPECT_NE(r.out.find("VXI done.\n"), std::string::npos);
}

TEST(Trigsoak2, NoBoardAtTheBaseFailsEveryCheck) {
  vmetest::TempDir dir;
  const std::string trace = dir.file("t.trace");
  auto r = runProgram("trigsoak2", withInput("", {{"VME_SIM_CRATE", faultCrate("absent")},
                                                   {"VME_SIM_TRACE", trace}}));
  EXPECT_EQ(countOf(r.out, "error ffff ffff\n"), 25u);
  EXPECT_EQ(countOf(r.out, "error calt ffff ffff 0 99\n"), 1u);
  EXPECT_EQ(countOf(r.out, "error cali ffff ffff 0\n"), 1u);
  EXPECT_EQ(countOf(r.out, "error trig ffff ffff 0\n"), 1u);
  EXPECT_NE(r.out.find("error counts = 1 1 1\nother errors = 25\n  bus count  = 0\n"),
            std::string::npos);
  // One status read per failed check, and three polls of 100 reads each
  // around the three single reads of the calibration and trigger steps.
  EXPECT_EQ(tracedCount(trace, "R A24 D16 00FF0002"), 25u + 3u * 100u + 3u);
}

TEST(Trigsoak2, EachTriggerFaultShowsInItsCounts) {
  struct Case {
    const char* fault;
    const char* line;    // a line the fault must print
    const char* counts;  // the first two report lines
  };
  const Case cases[] = {
      {"cal-hang", "error calt 10 14 0 99\n", "error counts = 1 0 0\nother errors = 1\n"},
      {"trig-hang", "error 1 1\n", "error counts = 0 0 0\nother errors = 2\n"},
      {"stuck1", "error cali 10 15 0\n", "error counts = 0 1 0\nother errors = 23\n"},
      {"flaky", "error 41 1\n", "error counts = 0 0 0\nother errors = 5\n"},
  };
  for (const Case& c : cases) {
    auto r = runProgram("trigsoak2", withInput("", {{"VME_SIM_CRATE", faultCrate(c.fault)}}));
    EXPECT_EQ(r.exitStatus, 1) << c.fault;  // errors were counted
    EXPECT_NE(r.out.find(c.line), std::string::npos) << c.fault << "\n" << r.out;
    EXPECT_NE(r.out.find(c.counts), std::string::npos) << c.fault << "\n" << r.out;
  }
}

}  // namespace
