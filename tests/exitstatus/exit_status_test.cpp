// The exit status of every program, end to end: 0 for a run whose verdicts
// all passed (or whose file or dialogue ran to its end), 1 for a failed
// verdict or a counted error, 2 when nothing could be tested (a trace
// refused among them), 3 when a test ran no loop.  The two file players keep
// 1 for a window they cannot map.  -h, --help and --version answer without
// the bus; an unknown option or a stray argument ends with 2.  Then the
// records of a run (VME_RESULTS, VME_JUNIT) read by real parsers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "program_runner.h"
#include "refusals.h"

using namespace vmetest;
using testing::HasSubstr;
using testing::StartsWith;

namespace {

struct StatusCase {
  const char* program;
  const char* file;       // argument, a file of the source tree, or ""
  const char* input;
  const char* faultCrate; // examples/faults/NAME.crate that must fail the run, or ""
  int noMapStatus;        // when every window mapping fails
  bool records = false;   // writes VME_RESULTS and VME_JUNIT
};

const StatusCase kCases[] = {  // a file player's file first, as it plays after "--"
    {"vmescript", "examples/scripts/winky.dat", "", "", 1},
    {"qemseq", "examples/qemseq/qemky.dat", "", "", 1},
    {"qemseq", "", "", "", 2},  // the console is no file player
    {"qemtest", "", "", "qem-sink-dead", 2, true},
    {"qemttc", "", "", "ttc-bcast-dead", 2, true},
    {"vmescope", "", "", "", 2},
    {"vmescope16", "", "", "", 2},
    {"vmescopeb", "", "", "", 2},
    {"vmemtest", "", "h200000\n\n\n\n\n\n", "memory-stuck1", 2, true},
    {"trigsoak", "", "\n1\n", "trigger-cal-hang", 2, true},
    {"trigsoak2", "", "", "trigger-cal-hang", 2, true},
    {"trigprobe", "", "\n", "trigger-cal-hang", 2, true},
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

// The runs every program of kCases makes: the default crate, every mapping
// failing, a bridge that cannot be opened (file players included: it tests
// nothing), its fault crate; with the status each must end with.
struct Variant {
  std::string name;
  std::map<std::string, std::string> env;
  int status;
};
std::vector<Variant> variants(const StatusCase& c, const TempDir& dir) {
  std::vector<Variant> v = {
      {"default", {}, 0},
      {"no window", {{"VME_SIM_CRATE", dir.write("nomap.crate", "library map=-4\n")}}, c.noMapStatus},
      {"no bridge", {{"VME_BUS", "caen:V1718:0"}, {"VME_TRACE", dir.file("caen.trace")},
                     {"VME_CAEN_LIBRARY", dir.file("libCAENVME.so")}}, 2},
  };
  if (*c.faultCrate)
    v.push_back({c.faultCrate, {{"VME_SIM_CRATE", sourcePath(std::string("examples/faults/") +
                                                             c.faultCrate + ".crate")}}, 1});
  return v;
}

TEST(ExitStatus, PassFailAndNothingTestedForEveryProgram) {
  TempDir dir;
  for (const StatusCase& c : kCases) {
    for (const Variant& v : variants(c, dir)) {
      SCOPED_TRACE(std::string(c.program) + " " + c.file + " " + v.name);
      EXPECT_EQ(status(c, "", c.input, v.env), v.status);
    }
    EXPECT_TRUE(traceCycles(dir.file("caen.trace")).empty());
  }
  // Input that ends before the first test: nothing was tested.
  EXPECT_EQ(status({"vmemtest", "", "", "", 0}, "", "h200000\n\n\n\n\n"), 2);  // at the loop count
  EXPECT_EQ(status({"trigsoak", "", "", "", 0}, "", "\n"), 2);
  const StatusCase ttc = {"qemttc", "", "", "", 0};  // a module at another base, or none
  EXPECT_EQ(status(ttc, "", "hBAD000\n\nhE00000\n"), 2);
  EXPECT_EQ(status(ttc, sourcePath("examples/faults/trigger-absent.crate"), ""), 2);
}

// A trace that would write into an input of the run (under any of its
// names), a bad limit, a record that would be an input, the trace or the
// other record: nothing is tested, one line, and the inputs are as they were.
// FIFOs and links: exit_status_linux_test.cpp.
TEST(ExitStatus, TraceOrCrateFileRefused) {
  TempDir dir;
  const std::string crateText = readFile(sourcePath("examples/crates/default.crate"));
  const std::string crate = dir.write("my.crate", crateText);
  const std::string script = dir.write("w.dat", "200000\n0 1234\n0\n");
  const std::string table = dir.write("devices", "LOBBO 4\n");
  const std::string lib = dir.write("libCAENVME.so", "no library");
  const std::string history = dir.write("history.jsonl", "{\"program\":\"qemtest\"}\n");
  const Refusal cases[] = {
      {"qemtest", "", {{"VME_SIM_CRATE", crate}, {"VME_TRACE", crate}}, "is the crate file " + crate},
      // The same file under another name: told by its identity, not its name.
      {"qemtest", "", {{"VME_SIM_CRATE", crate}, {"VME_TRACE", dir.path() + "/./my.crate"}},
       "is the crate file " + crate},
      {"vmescript", script, {{"VME_TRACE", script}}, "is the input file " + script},
      {"trigprobe2", "", {{"VME_DEVICE_TABLE", table}, {"VME_TRACE", table}}, "is the device table"},
      {"trigsoak2", "", {{"VME_TRACE", dir.file("t")}, {"VME_TRACE_LIMIT", "4X"}}, "VME_TRACE_LIMIT=4X"},
      // The records: never an input, the trace or each other; never a FIFO.
      {"qemtest", "", {{"VME_SIM_CRATE", crate}, {"VME_JUNIT", crate}}, "VME_JUNIT=" + crate + " is the crate file"},
      {"qemtest", "", {{"VME_SIM_CRATE", crate}, {"VME_RESULTS", crate}}, "is the crate file " + crate},
      {"qemtest", "", {{"VME_BUS", "caen:V1718:0"}, {"VME_CAEN_LIBRARY", lib}, {"VME_RESULTS", lib}},
       "is the CAEN library"},
      {"qemtest", "", {{"VME_RESULTS", history}, {"VME_JUNIT", history}}, "is the JUnit file"},
      {"qemtest", "", {{"VME_RESULTS", dir.file("rt")}, {"VME_TRACE", dir.file("rt")}}, "is the trace file"},
      // The waveforms' folder: there, a folder, and taking files.
      {"qemtest", "", {{"VME_WAVES", dir.file("none")}}, "VME_WAVES=" + dir.file("none") + " cannot be used"},
      {"qemseq", "", {{"VME_WAVES", crate}}, "VME_WAVES=" + crate + " is not a folder"},
  };
  expectRefused(cases);
  EXPECT_EQ(readFile(crate), crateText);
  EXPECT_EQ(readFile(script), "200000\n0 1234\n0\n");
  EXPECT_EQ(readFile(table), "LOBBO 4\n");
  EXPECT_EQ(readFile(lib), "no library");
  EXPECT_EQ(readFile(history), "{\"program\":\"qemtest\"}\n");
  EXPECT_FALSE(std::ifstream(dir.file("rt")).good());
}

TEST(ExitStatus, HelpVersionAndBadArgumentsNeverTouchTheBus) {
  TempDir dir;
  const std::string trace = dir.file("help.trace");
  using Args = std::vector<std::string>;
  for (const StatusCase& c : kCases) {
    SCOPED_TRACE(c.program);
    const auto run = [&](const Args& args, bool option = true) {
      RunOptions o = withInput(c.input, {{"VME_TRACE", trace}});
      o.args = args;
      const RunResult r = runProgram(c.program, o);
      if (option) {  // answered before the bus starts
        EXPECT_EQ(r.bus, "");
        EXPECT_NE(access(trace.c_str(), F_OK), 0) << "a trace was written";
      }
      std::remove(trace.c_str());
      return r;
    };
    const std::string usage = std::string("Usage: ") + c.program + " [-h | --help | --version]";
    const RunResult help = run({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_THAT(help.out, StartsWith(usage));
    EXPECT_THAT(help.out, HasSubstr("Exit status:\n  0  "));
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(run({"-h"}).out, help.out);
    const RunResult version = run({"--version"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out, std::string(c.program) + " (VME bench suite) " VME_SUITE_VERSION "\n");
    // An unknown option, and a stray argument (it could be a mistyped option;
    // a file player takes one file).
    const bool player = *c.file || std::string(c.program) == "qemseq";
    for (const Args& bad : {Args{"-x"}, Args{"--hel"}, Args{"--", "a", "b"},
                            player ? Args{"a", "b"} : Args{"help"}}) {
      const RunResult r = run(bad, bad.size() == 1 && bad[0][0] == '-');
      EXPECT_EQ(r.exitStatus, 2) << bad.back();
      EXPECT_EQ(r.out, "") << bad.back();
      EXPECT_THAT(r.err, HasSubstr(usage)) << bad.back();
    }
    // A file whose name starts with '-' is played after "--"; "-" is a file.
    for (const std::string file : {"-file.dat", "-"}) {
      if (!*c.file) break;
      dir.write(file, readFile(sourcePath(c.file)));
      RunOptions o = withInput("");
      o.workDir = dir.path();
      o.args = file == "-" ? Args{"-"} : Args{"--", file};
      const RunResult r = runProgram(c.program, o);
      EXPECT_EQ(r.exitStatus, 0) << file;
      EXPECT_THAT(r.out, HasSubstr("reading file " + file + "\n")) << file;
    }
  }
}

// Every question a default run asks is in the usage, with the default the
// prompt shows: "QUESTION [DEFAULT] : ", the default in hex after "4x", and in
// the order the run asks them.
TEST(ExitStatus, UsageListsTheQuestionsOfARunWithTheirDefaults) {
  // The default runs, and the scopes through a write loop's questions to the
  // end of input at the last one.
  struct Run {
    const char* program;
    const char* input;
    const char* last = "";  // the question asked last
  };
  std::vector<Run> runs;
  for (const StatusCase& c : kCases)
    if (!*c.file) runs.push_back({c.program, c.input});  // the file players ask nothing
  runs.insert(runs.end(),
              {{"vmescope", "\n\n\n\ny\n0\n1234\ny\nn\ny\n", "Error message each loop?"},
               {"vmescope16", "\n\ny\n0\n1234\ny\nn\n", "Zero register each loop?"},
               {"vmescopeb", "\n\ny\n0\n1234\ny\nn\ny\n", "Error message each loop?"}});
  for (const Run& r : runs) {
    SCOPED_TRACE(r.program);
    RunOptions o = withInput(r.input);
    const std::string out = runProgram(r.program, o).out;
    o.args = {"--help"};
    const std::string usage = runProgram(r.program, o).out;
    if (*r.last) {
      EXPECT_THAT(out, HasSubstr(std::string(r.last) + " [N] : "));
    }
    std::size_t listedBefore = 0;  // where the question asked before is listed
    for (std::size_t end = out.find(" : "), after = 0; end != std::string::npos;
         after = end + 3, end = out.find(" : ", after)) {
      const std::size_t start = std::max(out.find_last_of("\n\a", end) + 1, after);
      const std::size_t bracket = out.rfind(" [", end);
      ASSERT_TRUE(bracket != std::string::npos && bracket >= start) << out.substr(start, end);
      std::string question = out.substr(start, bracket - start);
      std::string shown = out.substr(bracket + 2, end - bracket - 3);
      if (shown.rfind("4x", 0) == 0) shown = shown.substr(shown.find_first_not_of(" ", 2));
      // The loop counts share one line: "NAME test: ...", then "RST 3, CLK 1".
      const std::size_t test = question.find(" test: ");
      if (test != std::string::npos) {
        const std::string listedAs = " " + question.substr(0, test) + " " + shown;
        EXPECT_TRUE(usage.find(listedAs + ",") != std::string::npos ||
                    usage.find(listedAs + "\n") != std::string::npos) << listedAs;
        question = "NAME" + question.substr(test);
      }
      bool listed = false;
      for (std::size_t at = usage.find("\n  " + question); at != std::string::npos && !listed;
           at = usage.find("\n  " + question, at + 1))
        listed = usage.substr(at, usage.find('\n', at + 1) - at).find(shown) != std::string::npos;
      // The write data's default is no answer anyone types: the order only.
      if (!*r.last) {
        EXPECT_TRUE(listed) << "'" << question << "' [" << shown << "]\n" << usage;
      }
      const std::size_t at = usage.find("\n  " + question, listedBefore);
      EXPECT_NE(at, std::string::npos) << "'" << question << "' asked out of the usage's order";
      if (at != std::string::npos) listedBefore = at;
    }
  }
  RunOptions full;
  full.args = {"--help"};
  full.outFile = "/dev/full";
  EXPECT_EQ(runProgram("qemtest", full).exitStatus, 2);  // a help nobody can read
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

std::string command(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    if (pclose(p) != 0) out += "[failed]";
  }
  return out;
}

// Where python3 reads the JUnit files with its XML parser (Linux); under wine
// it cannot be started, and the files are read as text.
bool havePython() { return command("python3 -c 'import xml.etree.ElementTree' 2>&1") == ""; }

// A value between after and the next quote in text, or "?".
std::string valueAfter(const std::string& text, const std::string& after) {
  const std::size_t at = text.find(after);
  if (at == std::string::npos) return "?";
  const std::size_t start = at + after.size();
  return text.substr(start, text.find('"', start) - start);
}

// Every case of the status table, and the runs a bus, an output or a trace
// spoils, with both records set: the JSON record's exit status is the
// process's, its outcome the JUnit file's and the summary line's.  A program
// without records says so and writes none.
TEST(ExitStatus, RecordsAgreeWithTheStatusOnEveryPath) {
  TempDir dir;
  const std::string jsonl = dir.file("r.jsonl"), junit = dir.file("r.xml");
  struct Run {
    StatusCase c;
    std::string name;
    std::map<std::string, std::string> env;
    std::string outcome, error;  // expected where not empty
  };
  std::vector<Run> runs;
  for (const StatusCase& c : kCases)
    for (const Variant& v : variants(c, dir))
      runs.push_back({c, v.name, v.env, v.name == "no bridge" ? "error" : "",
                      v.name == "no bridge" ? "vme-bus: CAEN bridge V1718 link 0: " : ""});
  for (const StatusCase& c : {kCases[3], kCases[10]}) {  // qemtest, trigsoak2
    runs.push_back({c, "link lost", {{"VME_BUS", "caen:V1718:0"}, {"CAEN_STANDIN_COMM_ERROR_AFTER", "3"},
                                     {"VME_CAEN_LIBRARY", VME_CAEN_STANDIN_LIBRARY}}, "untrusted", ""});
    runs.push_back({c, "trace lost", {{"VME_TRACE", "/dev/full"}}, "error", ""});
    runs.push_back({c, "no crate", {{"VME_SIM_CRATE", dir.file("none")}}, "error", "vme-sim: crate file"});
  }
  std::size_t records = 0;
  std::string expected, files;  // each JUnit file's outcome and error count
  for (const Run& run : runs) {
    SCOPED_TRACE(std::string(run.c.program) + " " + run.name);
    RunOptions o = withInput(run.c.input, run.env);
    if (*run.c.file) o.args = {sourcePath(run.c.file)};
    o.env["VME_RESULTS"] = jsonl;
    o.env["VME_JUNIT"] = junit;
    o.timeoutMs = 60000;
    const RunResult r = runProgram(run.c.program, o);
    ASSERT_FALSE(r.timedOut);
    const auto lines = vmetest::readLines(jsonl);
    if (!run.c.records) {
      EXPECT_EQ(lines.size(), records);
      EXPECT_THAT(r.err, HasSubstr(std::string(run.c.program) + " writes no run record\n"));
      continue;
    }
    ASSERT_EQ(lines.size(), ++records);
    const auto j = nlohmann::json::parse(lines.back());
    EXPECT_EQ(j["exit_status"], r.exitStatus);
    const std::string outcome = j["outcome"];
    EXPECT_TRUE(run.outcome.empty() || outcome == run.outcome) << outcome;
    EXPECT_TRUE(run.error.empty() || j["error"].dump().starts_with("\"" + run.error)) << j["error"];
    EXPECT_EQ(j["output_error"].is_string(), run.name == "trace lost") << j["output_error"];
    // The summary line, where the run got as far as one, ends in the same word.
    std::string word = outcome;
    for (char& ch : word) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    const bool summary = r.out.find(" passed, ") != std::string::npos ||
                         r.out.find(" iterations") != std::string::npos;
    EXPECT_TRUE(!summary || r.out.find(": " + word + "\n") != std::string::npos) << r.out;
    // Every JUnit file is read by one parser run at the end.
    files += " " + dir.file("j" + std::to_string(records));
    ASSERT_EQ(std::rename(junit.c_str(), files.substr(files.rfind(' ') + 1).c_str()), 0);
    expected += outcome + (outcome == "untrusted" || outcome == "error" ? " 1\n" : " 0\n");
  }
  if (havePython()) {
    EXPECT_EQ(command("python3 -c 'import sys, xml.etree.ElementTree as E\n"
                      "for f in sys.argv[1:]:\n"
                      "  s = E.parse(f).getroot()\n"
                      "  p = {q.get(\"name\"): q.get(\"value\") for q in s.iter(\"property\")}\n"
                      "  print(p[\"outcome\"], s.get(\"errors\"))' " + files),
              expected);
    return;
  }
  std::string read;
  for (std::size_t at = 1; at < files.size(); at = files.find(' ', at) + 1) {
    const std::string xml = readFile(files.substr(at, files.find(' ', at) - at));
    read += valueAfter(xml, "<property name=\"outcome\" value=\"") + " " +
            valueAfter(xml, " errors=\"") + "\n";
    if (files.find(' ', at) == std::string::npos) break;
  }
  EXPECT_EQ(read, expected);
}

// The records of a passing and of a failing run: one JSON line appended per
// run, and a JUnit file that an XML parser reads as the run.
TEST(ExitStatus, RecordsOfAPassingAndAFailingRun) {
  const bool python = havePython();
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
    const std::string text = readFile(junit);
    EXPECT_EQ(valueAfter(text, " tests=\""), "11");
    EXPECT_EQ(countOf(text, "<failure "), run == 0 ? 0u : 2u);
    const std::string xml = !python ? "" : command(
        "python3 -c 'import sys, xml.etree.ElementTree as E; s = E.parse(sys.argv[1]).getroot(); "
        "p = {q.get(\"name\"): q.get(\"value\") for q in s.iter(\"property\")}; "
        "print(s.tag, len(s.findall(\"testcase\")), p[\"serial\"], p[\"firmware\"], p[\"bus\"]); "
        "[print(c.get(\"name\"), c[0].tag, c[0].text and c[0].text.splitlines()[0]) for c in s "
        "if c.tag == \"testcase\" and len(c)]' " + junit);
    if (python) {
      EXPECT_THAT(xml, testing::StartsWith("testsuite 11 01 9 sim\n"));
    }
    if (run == 0) continue;
    EXPECT_EQ(j["answers"][2]["answer"], "\xc3\xbf\x01z");  // bytes kept as Latin-1
    EXPECT_EQ(j["tests"][3]["name"], "RAM");
    EXPECT_EQ(j["tests"][3]["outcome"], "failed");
    EXPECT_EQ(j["tests"][5]["outcome"], "not run");  // L1ID with 0 loops
    EXPECT_THAT(j["tests"][3]["error_lines"][0].get<std::string>(), testing::StartsWith("wrote "));
    EXPECT_THAT(text, testing::HasSubstr("<testcase name=\"RAM\" classname=\"qemtest\""));
    if (!python) continue;
    EXPECT_THAT(xml, testing::HasSubstr("\nRAM failure wrote "));
    EXPECT_THAT(xml, testing::HasSubstr("\nL1ID skipped None\n"));
  }
  // (A run killed in the middle, a link: exit_status_linux_test.cpp.)

  // A record file that cannot be opened: one line, nothing tested.
  const RunResult r = runProgram("vmemtest", withInput("", {{"VME_JUNIT", dir.file("no/x.xml")}}));
  EXPECT_EQ(r.exitStatus, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_THAT(r.err, testing::HasSubstr("VME_JUNIT="));
}

}  // namespace
