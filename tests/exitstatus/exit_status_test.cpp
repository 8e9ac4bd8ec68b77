// The exit status of every program, end to end: 0 for a run whose verdicts
// all passed (or whose file or dialogue ran to its end), 1 for a failed
// verdict or a counted error, 2 when nothing could be tested.  The two file
// players keep 1 for a window they cannot map.
#include <gtest/gtest.h>

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

int status(const StatusCase& c, const std::string& crate, const char* input) {
  RunOptions o = withInput(input);
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
  }
  // Input that ends before the first test: nothing was tested.
  EXPECT_EQ(status({"vmemtest", "", "", "", 0}, "", "h200000\n\n\n\n\n"), 2);  // at the loop count
  EXPECT_EQ(status({"trigsoak", "", "", "", 0}, "", "\n"), 2);
  const StatusCase ttc = {"qemttc", "", "", "", 0};  // a module at another base, or none
  EXPECT_EQ(status(ttc, "", "hBAD000\n\nhE00000\n"), 2);
  EXPECT_EQ(status(ttc, sourcePath("examples/faults/trigger-absent.crate"), ""), 2);
}

}  // namespace
