// The exit status and records where they need Linux: FIFOs, hard and
// symbolic links, the kernel method's stand-in, signals.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "program_runner.h"
#include "refusals.h"

using namespace vmetest;
using testing::HasSubstr;

namespace {

// A FIFO nobody reads as the trace, the crate or a record; an input or the
// device table under a link: nothing is tested, one line.
TEST(ExitStatus, FifosAndLinksRefused) {
  TempDir dir;
  const std::string script = dir.write("w.dat", "200000\n0 1234\n0\n");
  const std::string table = dir.write("devices", "LOBBO 4\n");
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(link(script.c_str(), dir.file("w.link").c_str()), 0);
  ASSERT_EQ(symlink(table.c_str(), dir.file("d.link").c_str()), 0);
  const Refusal cases[] = {
      {"qemseq", script, {{"VME_TRACE", dir.file("w.link")}}, "is the input file " + script},
      {"qemtest", "", {{"VME_TRACE", fifo}}, "is a FIFO that no program reads"},
      {"qemtest", "", {{"VME_SIM_CRATE", fifo}}, "not a regular file"},
      // The stand-in of the kernel interface loads its crate when the bus opens.
      {"qemtest", "", {{"VME_BUS", "vme_user:standin"}, {"VME_SIM_CRATE", fifo}}, "not a regular file"},
      {"trigprobe", "", {{"VME_DEVICE_TABLE", table}, {"VME_JUNIT", dir.file("d.link")}}, "is the device table"},
      {"qemtest", "", {{"VME_RESULTS", fifo}}, "VME_RESULTS=" + fifo + " cannot be opened: not a regular file"},
      {"qemtest", "", {{"VME_JUNIT", fifo}}, "VME_JUNIT=" + fifo + " cannot be opened: not a regular file"},
      {"qemttc", "", {{"VME_WAVES", "/proc"}}, "VME_WAVES=/proc cannot be written"},
  };
  expectRefused(cases);
  EXPECT_EQ(readFile(script), "200000\n0 1234\n0\n");
  EXPECT_EQ(readFile(table), "LOBBO 4\n");
}

// Control-C in an endless soak, or SIGTERM (kill, timeout) or SIGHUP (the
// terminal closed): the counts and the summary at that moment, then the
// death by the same signal, and the record says so.
void interruptSoak(int sig) {
  SCOPED_TRACE(sig);
  TempDir dir;
  RunOptions o = withInput("\n\n", {{"VME_RESULTS", dir.file("r.jsonl")},
                                     {"VME_SIM_CRATE", sourcePath("examples/faults/trigger-flaky.crate")}});
  vmetest::ProgramSession s("trigsoak", o);
  ASSERT_TRUE(s.waitForOutput("error ", 10000));
  s.signal(sig);
  const RunResult r = s.finish(10000);
  EXPECT_EQ(r.signal, sig);
  EXPECT_THAT(r.out, testing::HasSubstr("\nerror counts = "));
  EXPECT_THAT(r.out, testing::MatchesRegex(
                         "(.|\n)*\ntrigsoak: [0-9]+ iterations \\(interrupted\\), errors calt "
                         "[0-9]+ cali [0-9]+ trig [0-9]+ other [1-9][0-9]*: INTERRUPTED\n"));
  const auto lines = vmetest::readLines(dir.file("r.jsonl"));
  ASSERT_EQ(lines.size(), 1u);
  const auto j = nlohmann::json::parse(lines[0]);
  EXPECT_EQ(j["outcome"], "interrupted");
  EXPECT_TRUE(j["exit_status"].is_null());
  // The counts the summary printed, not an older snapshot.
  EXPECT_THAT(r.out, HasSubstr("trigsoak: " + j["soak"]["iterations"].dump() + " iterations ("));
  EXPECT_GT(j["soak"]["other"].get<int>(), 0);
  EXPECT_EQ(j["tests"][0]["outcome"], "failed");
  EXPECT_THAT(j["tests"][0]["error_lines"][0].get<std::string>(), testing::StartsWith("error "));
}

TEST(ExitStatus, InterruptedSoakKeepsItsCountsAndDiesOfTheSignal) {
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) interruptSoak(sig);
}

// The JUnit file is replaced whole, also through a link.
TEST(ExitStatus, JunitOfAKilledRunAndThroughALink) {
  TempDir dir;
  const std::string junit = dir.file("r.xml");
  ASSERT_EQ(runProgram("trigsoak2", withInput("", {{"VME_JUNIT", junit}})).exitStatus, 0);
  // The JUnit file is replaced whole: a run killed in the middle leaves the
  // last one as it was.
  const std::string report = readFile(junit);
  vmetest::ProgramSession killed("trigsoak", withInput("\n0\n", {{"VME_JUNIT", junit}}));
  ASSERT_TRUE(killed.waitForOutput("Enter number of loops", 10000));
  killed.signal(SIGKILL);
  EXPECT_EQ(killed.finish(10000).signal, SIGKILL);
  EXPECT_EQ(readFile(junit), report);

  // Through a symbolic link, also one to a file not there yet: the link stays.
  ASSERT_EQ(symlink("linked.xml", dir.file("link.xml").c_str()), 0);
  EXPECT_EQ(runProgram("trigsoak2", withInput("", {{"VME_JUNIT", dir.file("link.xml")}})).exitStatus, 0);
  EXPECT_THAT(readFile(dir.file("linked.xml")), HasSubstr("<testsuite name=\"trigsoak2\""));
  struct stat link {};
  EXPECT_TRUE(lstat(dir.file("link.xml").c_str(), &link) == 0 && S_ISLNK(link.st_mode));

}

}  // namespace
