// The trace's file on every system: its limit, bytes as written, and a
// trace made under the name of a missing input.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <fstream>
#include <string>
#include <vector>

#include "program_runner.h"

using namespace vmetest;
using testing::EndsWith;
using testing::HasSubstr;

namespace {

// The limit ends the trace, not the run: a last comment line counts the
// cycles after it, one line on standard error, and the run as without it.
TEST(ExitChecks, TraceLimitEndsTheTraceNotTheRun) {
  TempDir dir;
  const RunResult full = runProgram("qemtest", withInput("", {{"VME_TRACE", dir.file("full")}}));
  const RunResult r = runProgram(
      "qemtest", withInput("", {{"VME_TRACE", dir.file("t")}, {"VME_TRACE_LIMIT", "4096"}}));
  EXPECT_EQ(r.exitStatus, full.exitStatus);
  EXPECT_EQ(r.out, full.out);
  EXPECT_EQ(r.err, "vme-bus: trace " + dir.file("t") +
                       " reached its limit of 4 KiB; the cycles that follow are not traced\n");
  const std::string text = readFile(dir.file("t"));
  EXPECT_LE(text.size(), 4096u);
  EXPECT_GT(text.size(), 4000u);
  // Binary files and standard output: no LF became CR LF.
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_EQ(r.out.find('\r'), std::string::npos);
  const std::vector<std::string> cycles = traceCycles(dir.file("t")), all = traceCycles(dir.file("full"));
  ASSERT_GT(cycles.size(), 100u);
  EXPECT_TRUE(std::equal(cycles.begin(), cycles.end(), all.begin()));
  EXPECT_THAT(text, EndsWith("\n# the trace reached its limit of 4 KiB; the cycles that follow are "
                             "not traced\n# " + std::to_string(all.size() - cycles.size()) +
                             " cycles after the trace limit were not traced\n"));

  // Reached by a comment line (the unmap at the end), no cycle was lost:
  // no count line.
  const RunResult scope = runProgram(
      "vmescope", withInput("", {{"VME_TRACE", dir.file("s")}, {"VME_TRACE_LIMIT", "256"}}));
  EXPECT_EQ(scope.exitStatus, 0);
  EXPECT_THAT(readFile(dir.file("s")), EndsWith("\n# the trace reached its limit of 256 bytes; the "
                                                "cycles that follow are not traced\n"));
}

// A trace named after a script that does not exist made the file itself: it
// goes again, and the player says what is wrong, that the script is missing.
TEST(ExitChecks, TraceMadeUnderTheNameOfAMissingInputLeavesNoFile) {
  TempDir dir;
  for (const char* program : {"vmescript", "qemseq"}) {
    RunOptions o = withInput("", {{"VME_TRACE", dir.file("new.dat")}});
    o.args = {dir.file("new.dat")};
    const RunResult r = runProgram(program, o);
    EXPECT_EQ(r.exitStatus, 1) << program;
    EXPECT_THAT(r.out, HasSubstr("can't open file " + dir.file("new.dat")));
    EXPECT_EQ(r.err, dir.file("new.dat") + ": No such file or directory\n") << program;
    EXPECT_FALSE(std::ifstream(dir.file("new.dat")).good()) << program;
  }
}

// Two runs at once appending to one trace, each flush one write at the end:
// every line of both, each whole.
TEST(ExitChecks, TwoRunsSharingATraceLoseNoLine) {
  TempDir dir;
  ASSERT_EQ(runProgram("qemtest", withInput("", {{"VME_TRACE", dir.file("solo")}})).exitStatus, 0);
  const std::size_t solo = traceCycles(dir.file("solo")).size();
  ASSERT_GT(solo, 1000u) << "many flushes of the trace's buffer";
  ProgramSession one("qemtest", withInput("", {{"VME_TRACE", dir.file("shared")}}));
  ProgramSession two("qemtest", withInput("", {{"VME_TRACE", dir.file("shared")}}));
  EXPECT_EQ(one.finish(60000).exitStatus, 0);
  EXPECT_EQ(two.finish(60000).exitStatus, 0);
  EXPECT_EQ(traceCycles(dir.file("shared")).size(), 2 * solo);
  const std::regex line("[RW] A(24|32) D(8|16|32) [0-9A-F]{8} [0-9A-F]{2,8}( BERR)?|# .*");
  for (const std::string& l : readLines(dir.file("shared"))) ASSERT_TRUE(std::regex_match(l, line)) << l;
}

}  // namespace
