// The exit status of every program, end to end: 0 for a run whose verdicts
// all passed (or whose file or dialogue ran to its end), 1 for a failed
// verdict or a counted error, 2 when nothing could be tested (a trace
// refused among them).  The two file players keep 1 for a window they cannot
// map.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>

#include "program_runner.h"

using namespace vmetest;

namespace {

struct StatusCase {
  const char* program;
  const char* file;       // argument, a file of the source tree, or ""
  const char* input;
  const char* faultCrate; // examples/faults/NAME.crate that must fail the run, or ""
  int noMapStatus;        // when every window mapping fails
};

const StatusCase kCases[] = {
    {"vmescript", "examples/scripts/winky.dat", "", "", 1},
    {"qemseq", "examples/qemseq/qemky.dat", "", "", 1},
    {"qemseq", "", "", "", 2},  // the console is no file player
    {"qemtest", "", "", "qem-sink-dead", 2},
    {"qemttc", "", "", "ttc-bcast-dead", 2},
    {"vmescope", "", "", "", 2},
    {"vmescope16", "", "", "", 2},
    {"vmescopeb", "", "", "", 2},
    {"vmemtest", "", "h200000\n\n\n\n\n\n", "memory-stuck1", 2},
    {"trigsoak", "", "\n1\n", "trigger-cal-hang", 2},
    {"trigsoak2", "", "", "trigger-cal-hang", 2},
    {"trigprobe", "", "\n", "trigger-cal-hang", 2},
    {"trigprobe2", "", "\n", "", 2},
    {"trigprobe3", "", "\n", "", 2},
};

int status(const StatusCase& c, const std::string& crate, const char* input,
           std::map<std::string, std::string> env = {}) {
  RunOptions o = withInput(input, std::move(env));
  if (*c.file) o.args = {sourcePath(c.file)};
  if (!crate.empty()) o.env["VME_SIM_CRATE"] = crate;
  o.timeoutMs = 60000;
  const RunResult r = runProgram(c.program, o);
  EXPECT_FALSE(r.timedOut) << c.program << " " << crate;
  return r.exitStatus;
}

TEST(ExitStatus, PassFailAndNothingTestedForEveryProgram) {
  TempDir dir;
  const std::string noMap = dir.write("nomap.crate", "library map=-4\n");
  for (const StatusCase& c : kCases) {
    SCOPED_TRACE(std::string(c.program) + " " + c.file);
    EXPECT_EQ(status(c, "", c.input), 0);
    if (*c.faultCrate) {
      EXPECT_EQ(status(c, sourcePath(std::string("examples/faults/") + c.faultCrate + ".crate"),
                       c.input), 1);
    }
    EXPECT_EQ(status(c, noMap, c.input), c.noMapStatus);
    // A bus that cannot be opened tests nothing, file players included.
    const std::string trace = dir.file("caen.trace");
    EXPECT_EQ(status(c, "", c.input, {{"VME_BUS", "caen:V1718:0"}, {"VME_TRACE", trace},
                                      {"VME_CAEN_LIBRARY", dir.file("libCAENVME.so")}}), 2);
    EXPECT_TRUE(traceCycles(trace).empty());
  }
  // Input that ends before the first test: nothing was tested.
  EXPECT_EQ(status({"vmemtest", "", "", "", 0}, "", "h200000\n\n\n\n\n"), 2);  // at the loop count
  EXPECT_EQ(status({"trigsoak", "", "", "", 0}, "", "\n"), 2);
}

// A trace that would write into an input of the run, a FIFO that nobody
// reads, a bad limit, a crate file that is a FIFO: nothing is tested, one
// line, and the inputs are as they were.
TEST(ExitStatus, TraceOrCrateFileRefused) {
  TempDir dir;
  const std::string crateText = readFile(sourcePath("examples/crates/default.crate"));
  const std::string crate = dir.write("my.crate", crateText);
  const std::string script = dir.write("w.dat", "200000\n0 1234\n0\n");
  const std::string table = dir.write("devices", "LOBBO 4\n");
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(link(script.c_str(), dir.file("w.link").c_str()), 0);
  struct Refusal {
    const char* program;
    std::string arg;
    std::map<std::string, std::string> env;
    std::string reason;
  };
  const Refusal cases[] = {
      {"qemtest", "", {{"VME_SIM_CRATE", crate}, {"VME_TRACE", crate}}, "is the crate file " + crate},
      {"vmescript", script, {{"VME_TRACE", script}}, "is the input file " + script},
      {"qemseq", script, {{"VME_TRACE", dir.file("w.link")}}, "is the input file " + script},
      {"trigprobe2", "", {{"VME_DEVICE_TABLE", table}, {"VME_TRACE", table}}, "is the device table"},
      {"qemtest", "", {{"VME_TRACE", fifo}}, "is a FIFO that no program reads"},
      {"qemtest", "", {{"VME_SIM_CRATE", fifo}}, "not a regular file"},
      {"trigsoak2", "", {{"VME_TRACE", dir.file("t")}, {"VME_TRACE_LIMIT", "4X"}}, "VME_TRACE_LIMIT=4X"},
  };
  for (const Refusal& c : cases) {
    RunOptions o = withInput("\n", c.env);
    if (!c.arg.empty()) o.args = {c.arg};
    o.timeoutMs = 20000;
    const RunResult r = runProgram(c.program, o);
    ASSERT_FALSE(r.timedOut) << c.reason;
    EXPECT_EQ(r.exitStatus, 2) << c.reason;
    EXPECT_EQ(countOf(r.err, "\n"), 1u) << r.err;
    EXPECT_THAT(r.err, testing::HasSubstr(c.reason));
  }
  EXPECT_EQ(readFile(crate), crateText);
  EXPECT_EQ(readFile(script), "200000\n0 1234\n0\n");
  EXPECT_EQ(readFile(table), "LOBBO 4\n");
}

}  // namespace
