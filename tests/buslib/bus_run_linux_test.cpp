// The programs on each bus where they need Linux: the kernel method's
// stand-in in a scope loop ended by Control-C and without its bus-error
// check, FIFOs where a library or a table is named, /dev/full, and signals.
#include "bus_run.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "program_runner.h"

#include <gmock/gmock.h>

using namespace vmetest;
using namespace vmetest::busrun;
using testing::HasSubstr;
using testing::EndsWith;

namespace {

// A scope loop, ended by Control-C: the same transcript, and the same cycles
// as far as the shorter trace goes.
TEST(OnEachBusLoop, ScopeLoopThroughTheStandins) {
  TempDir dir;
  std::vector<std::string> cycles[3];
  std::string out[3];
  const char* buses[3] = {"sim", kStandin, kCaen};
  for (int i = 0; i < 3; ++i) {
    RunOptions o;
    o.input = "n\nn\nh200000\nn\ny\n6\n1234\ny\ny\nn\n";
    o.closeInput = false;
    o.env = {{"VME_BUS", buses[i]}, {"VME_SIM_TRACE", dir.file(buses[i])},
             {"VME_CAEN_LIBRARY", kCaenLib}};
    ProgramSession s("vmescope", o);
    ASSERT_TRUE(s.waitForOutput("Exit loop by  Control-C\n", kTimeoutMs));
    ASSERT_TRUE(s.waitForLines(dir.file(buses[i]), 3000, kTimeoutMs));
    s.signal(SIGINT);
    ASSERT_TRUE(s.waitForOutput("\nExit loop\n", kTimeoutMs));
    s.closeInput();
    const RunResult r = s.finish(kTimeoutMs);
    EXPECT_EQ(r.exitStatus, 0);
    out[i] = r.out;
    cycles[i] = traceCycles(dir.file(buses[i]));
  }
  for (int i = 1; i < 3; ++i) {
    EXPECT_EQ(out[i], out[0]) << buses[i];
    const std::size_t n = std::min(cycles[0].size(), cycles[i].size());
    ASSERT_GT(n, 3000u) << buses[i];
    EXPECT_TRUE(std::equal(cycles[0].begin(), cycles[0].begin() + static_cast<long>(n),
                           cycles[i].begin()))
        << buses[i];
    EXPECT_EQ(cycles[i][2], "W A24 D16 00200006 0000");
  }
}

// A bridge that does not check for bus errors (the Tsi148 driver without
// err_chk=1): the missing board reads all ones, nothing counts it, and the
// library says so once when the driver shows its check is off.
TEST(OnEachBusUnchecked, BusErrorsUncountedAndSaidOnce) {
  for (const char* errChk : {"N\n", "Y\n"}) {
    TempDir dir;
    RunOptions o = withInput("", {{"VME_BUS", kStandin},
                                  {"VME_STANDIN_NO_BERR_CHECK", "1"},
                                  {"VME_TSI148_ERR_CHK_FILE", dir.write("err_chk", errChk)},
                                  {"VME_SIM_TRACE", dir.file("trace")}});
    o.env["VME_SIM_CRATE"] = sourcePath("examples/faults/trigger-absent.crate");
    const RunResult r = runProgram("trigsoak2", o);
    const bool off = errChk[0] == 'N';
    const std::string warning = "vme-bus: vme_tsi148 does not check for bus errors";
    EXPECT_EQ(r.err.find(warning) != std::string::npos, off) << errChk << r.err;
    EXPECT_EQ(r.err.find(warning), r.err.rfind(warning));
    const std::vector<std::string> cycles = traceCycles(dir.file("trace"));
    ASSERT_GT(cycles.size(), 100u);
    for (const std::string& c : cycles) ASSERT_EQ(c.find("BERR"), std::string::npos) << c;
  }
}

// A FIFO named as the CAEN library or as the device table: refused at once
// (the loader and a reader would wait for ever for a writer).
TEST(Fifos, AsLibraryOrDeviceTableRefusedWithoutWaiting) {
  TempDir dir;
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  RunOptions o = withInput("", {{"VME_BUS", kCaen}, {"VME_CAEN_LIBRARY", fifo}});
  RunResult r = runProgram("qemtest", o);
  EXPECT_EQ(r.exitStatus, 2);
  EXPECT_EQ(r.err, "vme-bus: CAEN bridge V1718 link 0: cannot load the library: " + fifo +
                       ": not a regular file\n");
  r = runProgram("trigprobe2", withInput("\n", {{"VME_DEVICE_TABLE", fifo}}));
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_NE(r.out.find("Device Lobbo logical address -1 return -1\n"), std::string::npos);
  EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
  EXPECT_EQ(countOf(r.err, "\n"), 1u) << r.err;
}

// Output that cannot be written is no success: one line, status 2.
TEST(ExitChecks, TraceOrStandardOutputThatCannotBeWritten) {
  TempDir dir;
  const RunResult good = runProgram("qemtest", withInput("", {{"VME_TRACE", dir.file("good")}}));
  ASSERT_EQ(good.exitStatus, 0);

  for (const char* name : {"VME_SIM_TRACE", "VME_TRACE"}) {
    const RunResult r = runProgram("qemtest", withInput("", {{name, "/dev/full"}}));
    EXPECT_EQ(r.exitStatus, 2) << name;
    EXPECT_EQ(r.err, "vme-bus: trace file /dev/full cannot be written: No space left on device\n");
    EXPECT_EQ(r.out, good.out.substr(0, good.out.rfind(": PASSED\n")) + ": ERROR\nVXI done.\n")
        << "as ever, but a run that lost its trace is no pass";
  }

  RunOptions full = withInput("");
  full.outFile = "/dev/full";
  RunResult r = runProgram("qemtest", full);
  EXPECT_EQ(r.exitStatus, 2);
  // The reason is known only when the last write fails.
  EXPECT_TRUE(r.err.starts_with("qemtest: write error on standard output")) << r.err;
  EXPECT_EQ(countOf(r.err, "\n"), 1u) << r.err;

  // Standard output closed: the trace must not take its descriptor.
  RunOptions closed = withInput("", {{"VME_SIM_TRACE", dir.file("closed")}});
  closed.outFile = "-";
  r = runProgram("qemtest", closed);
  EXPECT_EQ(r.exitStatus, 2);
  EXPECT_EQ(r.err, "qemtest: write error on standard output: Bad file descriptor\n");
  EXPECT_EQ(readFile(dir.file("closed")), readFile(dir.file("good")));
  const std::regex cycle("[RW] A(24|32) D(8|16|32) [0-9A-F]{8} [0-9A-F]{2,8}( BERR)?|# .*");
  for (const std::string& line : readLines(dir.file("closed")))
    ASSERT_TRUE(std::regex_match(line, cycle)) << line;
}

// A signal that ends the run leaves every cycle made before it in the trace,
// each line whole, and the run still dies of that signal.
TEST(ExitChecks, FatalSignalsLeaveEveryWholeLine) {
  TempDir dir;
  // SIGPIPE at the pause, the first write to standard output, whose reader
  // is gone: the cycles before the pause are all the run makes.
  std::string script = "200000\n";
  for (int i = 0; i < 60; ++i) script += std::to_string(i) + "\n";
  RunOptions full = withInput("\n", {{"VME_TRACE", dir.file("full")}});
  full.args = {dir.write("s.dat", script + "wait\n")};
  ASSERT_EQ(runProgram("vmescript", full).exitStatus, 0);
  RunOptions piped = full;
  piped.env["VME_TRACE"] = dir.file("piped");
  piped.outFile = "|";
  const RunResult r = runProgram("vmescript", piped);
  EXPECT_EQ(r.signal, SIGPIPE);
  EXPECT_EQ(traceCycles(dir.file("piped")), traceCycles(dir.file("full")));
  ASSERT_EQ(traceCycles(dir.file("full")).size(), 61u);

  // SIGTERM and SIGHUP in a scope loop; with a limit, the handler writes
  // the count of untraced cycles last.
  const std::regex line("[RW] A(24|32) D(8|16|32) [0-9A-F]{8} [0-9A-F]{2,8}( BERR)?|# .*");
  for (const int sig : {SIGTERM, SIGHUP}) {
    const std::string trace = dir.file("loop" + std::to_string(sig));
    RunOptions o = withInput("n\nn\nh200000\nn\ny\n6\n1234\ny\ny\nn\n", {{"VME_TRACE", trace}});
    o.closeInput = false;
    if (sig == SIGHUP) o.env["VME_TRACE_LIMIT"] = "64K";
    ProgramSession s("vmescope", o);
    ASSERT_TRUE(s.waitForLines(trace, 2500, kTimeoutMs));
    usleep(100000);
    s.signal(sig);
    const RunResult end = s.finish(kTimeoutMs);
    EXPECT_EQ(end.signal, sig);
    const std::vector<std::string> lines = readLines(trace);
    for (const std::string& l : lines) ASSERT_TRUE(std::regex_match(l, line)) << l;
    ASSERT_GT(lines.size(), 2500u);
    EXPECT_THAT(lines.back(), HasSubstr(sig == SIGHUP ? " cycles after the trace limit were not traced"
                                                      : "W A24 D16 00200006 "));
    EXPECT_THAT(readFile(trace), EndsWith("\n"));
  }
}

}  // namespace
