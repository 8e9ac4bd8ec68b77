// The exit status of every program, end to end: 0 for a run whose verdicts
// all passed (or whose file or dialogue ran to its end), 1 for a failed
// verdict or a counted error, 2 when nothing could be tested, 3 when a test
// ran no loop.  The two file players keep 1 for a window they cannot map.
// Then the records of a run (VME_RESULTS, VME_JUNIT) read by real parsers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <nlohmann/json.hpp>
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
}

// A test that ran no loop is no pass: its "Pass" line stays, the status says
// what was not tested.
TEST(ExitStatus, TestsWithoutALoopAreNotRun) {
  const std::string stuck = sourcePath("examples/faults/qem-ram-stuck0.crate");
  const struct {
    const char* program;
    const char* crate;
    const char* input;
    int status;
  } rows[] = {
      // RST without a loop; RAM keeps its default and sees the stuck bit.
      {"qemtest", stuck.c_str(), "\n\n\n0\n", 1},
      // RAM, the one test that sees it, without a loop: incomplete, not passed.
      {"qemtest", stuck.c_str(), "\n\n\n\n\n\n0\n0\n", 3},
      {"qemtest", "", "\n\n\nzz\n", 3},  // a typo is 0 loops
      // Every asked test without a loop: SEQall, which asks none, still ran.
      {"qemtest", "", "\n\n\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n", 3},
      {"qemttc", "", "\n\n\n\n0\n0\n0\n0\n", 2},
      {"qemttc", "", "\n\n\n\n\n\n\n0\n", 3},
      {"vmemtest", "", "h200000\n\n\n\n\n0\n", 2},
      {"vmemtest", "", "h200000\n\n0\n\n\n\n", 2},  // a block of no words
      {"vmemtest", "", "h200000\n1\n4\n\n\n\n", 3},  // Long off its D32 boundary
  };
  for (const auto& row : rows) {
    RunOptions o = withInput(row.input);
    if (*row.crate) o.env["VME_SIM_CRATE"] = row.crate;
    const RunResult r = runProgram(row.program, o);
    EXPECT_EQ(r.exitStatus, row.status) << row.program << " " << row.input << "\n" << r.out;
  }
}

// Control-C in an endless soak: the counts and the summary, then the death
// by the signal, and the record says so.
TEST(ExitStatus, InterruptedSoakKeepsItsCountsAndDiesOfSigint) {
  TempDir dir;
  RunOptions o = withInput("\n\n", {{"VME_RESULTS", dir.file("r.jsonl")},
                                     {"VME_SIM_CRATE", sourcePath("examples/faults/trigger-flaky.crate")}});
  vmetest::ProgramSession s("trigsoak", o);
  ASSERT_TRUE(s.waitForOutput("error ", 10000));
  s.signal(SIGINT);
  const RunResult r = s.finish(10000);
  EXPECT_EQ(r.signal, SIGINT);
  EXPECT_THAT(r.out, testing::HasSubstr("\nerror counts = "));
  EXPECT_THAT(r.out, testing::MatchesRegex(
                         "(.|\n)*\ntrigsoak: [0-9]+ iterations \\(interrupted\\), errors calt "
                         "[0-9]+ cali [0-9]+ trig [0-9]+ other [1-9][0-9]*: FAILED\n"));
  const auto lines = vmetest::readLines(dir.file("r.jsonl"));
  ASSERT_EQ(lines.size(), 1u);
  const auto j = nlohmann::json::parse(lines[0]);
  EXPECT_EQ(j["outcome"], "interrupted");
  EXPECT_TRUE(j["exit_status"].is_null());
  EXPECT_GT(j["soak"]["other"].get<int>(), 0);
  EXPECT_EQ(j["tests"][0]["outcome"], "failed");
  EXPECT_THAT(j["tests"][0]["error_lines"][0].get<std::string>(), testing::StartsWith("error "));
}

std::string command(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    if (pclose(p) != 0) out += "[failed]";
  }
  return out;
}

// The records of a passing and of a failing run: one JSON line appended per
// run, and a JUnit file that an XML parser reads as the run.
TEST(ExitStatus, RecordsOfAPassingAndAFailingRun) {
  if (command("python3 -c 'import xml.etree.ElementTree' 2>&1") != "")
    GTEST_SKIP() << "python3 is needed to read the JUnit file";
  TempDir dir;
  const std::string jsonl = dir.file("r.jsonl"), junit = dir.file("r.xml");
  // An answer that is no UTF-8, with a control character, at the debug level.
  const char* inputs[] = {"", "\n\n\xff\x01z\n\n\n\n\n\n0\n"};
  const char* crates[] = {"", "examples/faults/qem-ram-stuck0.crate"};
  for (int run = 0; run < 2; ++run) {
    RunOptions o = withInput(inputs[run], {{"VME_RESULTS", jsonl}, {"VME_JUNIT", junit}});
    if (run == 1) o.env["VME_SIM_CRATE"] = sourcePath(crates[run]);
    const RunResult r = runProgram("qemtest", o);
    ASSERT_EQ(r.exitStatus, run == 0 ? 0 : 1);
    const auto lines = vmetest::readLines(jsonl);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(run + 1));
    const auto j = nlohmann::json::parse(lines[static_cast<std::size_t>(run)]);
    EXPECT_EQ(j["program"], "qemtest");
    EXPECT_EQ(j["module"]["serial"], "01");
    EXPECT_EQ(j["module"]["firmware"], 9);
    EXPECT_EQ(j["bus"]["method"], "sim");
    EXPECT_EQ(j["bases"][0]["address"], "0xF00000");
    EXPECT_EQ(j["tests"].size(), 11u);
    EXPECT_EQ(j["exit_status"], run == 0 ? 0 : 1);
    EXPECT_EQ(j["outcome"], run == 0 ? "passed" : "failed");
    // XML: one testsuite, a testcase per test, failures with their lines.
    const std::string xml = command(
        "python3 -c 'import sys, xml.etree.ElementTree as E; s = E.parse(sys.argv[1]).getroot(); "
        "p = {q.get(\"name\"): q.get(\"value\") for q in s.iter(\"property\")}; "
        "print(s.tag, len(s.findall(\"testcase\")), p[\"serial\"], p[\"firmware\"], p[\"bus\"]); "
        "[print(c.get(\"name\"), c[0].tag, c[0].text and c[0].text.splitlines()[0]) for c in s "
        "if c.tag == \"testcase\" and len(c)]' " + junit);
    EXPECT_THAT(xml, testing::StartsWith("testsuite 11 01 9 sim\n"));
    if (run == 0) continue;
    EXPECT_EQ(j["answers"][2]["answer"], "\xc3\xbf\x01z");  // bytes kept as Latin-1
    EXPECT_EQ(j["tests"][3]["name"], "RAM");
    EXPECT_EQ(j["tests"][3]["outcome"], "failed");
    EXPECT_EQ(j["tests"][5]["outcome"], "not run");  // L1ID with 0 loops
    EXPECT_THAT(j["tests"][3]["error_lines"][0].get<std::string>(), testing::StartsWith("wrote "));
    EXPECT_THAT(xml, testing::HasSubstr("\nRAM failure wrote "));
    EXPECT_THAT(xml, testing::HasSubstr("\nL1ID skipped None\n"));
  }
  // A record file that cannot be opened: one line, nothing tested.
  const RunResult r = runProgram("vmemtest", withInput("", {{"VME_JUNIT", dir.file("no/x.xml")}}));
  EXPECT_EQ(r.exitStatus, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_THAT(r.err, testing::HasSubstr("VME_JUNIT="));
}

}  // namespace
