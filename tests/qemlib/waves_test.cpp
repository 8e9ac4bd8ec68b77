// Waveform files of whole runs: a run prints, traces and records the same
// with and without them, and its files hold what it printed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <regex>

#include "crate/open_file.h"
#include "foundation/waves.h"
#include "program_runner.h"
#include "vcd_reader.h"

using namespace vmetest;

namespace {

struct Row {
  const char* program;
  std::string crate;     // examples/faults/NAME.crate, empty: the default crate
  std::string file;      // the file played
  std::string verbose;   // the step whose scans print their report ("*": every scan)
};

const Row kRows[] = {
    {"qemtest", "qem-ram-stuck0", "", ""},
    {"qemttc", "qem-bcid-no-offset", "", "TTC"},
    {"qemttc", "qem-sink-dead", "", "TTC"},
    {"qemseq", "", "examples/qemseq/qemky.dat", "*"},
};

// The lines of text that match re, each as its submatches.
std::vector<std::smatch> matches(const std::string& text, const char* re) {
  const std::regex r(re);
  return {std::sregex_iterator(text.begin(), text.end(), r), std::sregex_iterator()};
}
long hex(const std::ssub_match& m) { return std::stol(m.str(), nullptr, 16); }

// GTKWave's converters (vcd2fst accepts a bad file without a word) give
// every wire's values back.  A test dependency on Linux; not run on Windows.
void expectRoundTrip(const TempDir& dir, const std::string& name) {
  static const bool tools = std::system("vcd2fst --help > /dev/null 2>&1 && fst2vcd --help > /dev/null 2>&1") == 0;
  if (!tools) {
    if (hasPosixSignals()) ADD_FAILURE() << "vcd2fst and fst2vcd are not installed (Debian package gtkwave)";
    return;
  }
  const std::string vcd = dir.file(name), fst = dir.file("back.fst"), back = dir.file("back.vcd");
  ASSERT_EQ(std::system(("vcd2fst '" + vcd + "' '" + fst + "' > /dev/null && fst2vcd '" + fst +
                         "' > '" + back + "'").c_str()), 0);
  const VcdWaves a = readVcd(readFile(vcd)), b = readVcd(readFile(back));
  ASSERT_EQ(b.error, "") << name;
  ASSERT_EQ(a.width, b.width) << name;
  for (const auto& [wire, width] : a.width)
    EXPECT_EQ(a.perWord(wire, static_cast<int>(a.end / 25) + 1),
              b.perWord(wire, static_cast<int>(a.end / 25) + 1)) << name << " " << wire;
}

TEST(Waves, RunsAreTheSameWithAndWithoutAndTheFilesHoldWhatTheyPrinted) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(std::string(row.program) + " " + row.crate);
    TempDir dirs[2];
    const TempDir& dir = dirs[1];
    RunResult r[2];
    for (int i = 0; i < 2; ++i) {
      RunOptions o = withInput("", {{"VME_SIM_TRACE", "trace"}, {"VME_RESULTS", "record"}});
      o.workDir = dirs[i].path();
      if (i == 1) o.env["VME_WAVES"] = ".";
      if (!row.crate.empty()) o.env["VME_SIM_CRATE"] = sourcePath("examples/faults/" + row.crate + ".crate");
      if (!row.file.empty()) o.args = {sourcePath(row.file)};
      r[i] = runProgram(row.program, o);
      ASSERT_FALSE(r[i].timedOut);
    }
    EXPECT_EQ(r[1].out, r[0].out);
    EXPECT_EQ(r[1].err, r[0].err);
    EXPECT_EQ(r[1].exitStatus, r[0].exitStatus);
    EXPECT_EQ(readFile(dir.file("trace")), readFile(dirs[0].file("trace")));
    const std::regex times("\"(start|end)\":\"[^\"]*\"");
    EXPECT_EQ(std::regex_replace(readFile(dir.file("record")), times, ""),
              std::regex_replace(readFile(dirs[0].file("record")), times, ""));

    // The files in the order written: PROGRAM[-SERIAL]-STEP-NNNN.vcd.
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
      if (e.path().extension() == ".vcd") names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
      return a.substr(a.size() - 8) < b.substr(b.size() - 8);
    });
    ASSERT_FALSE(names.empty());
    const std::string out = r[1].out;
    std::vector<std::pair<long, long>> mismatched, reported;  // word, value read
    for (const auto& m : matches(out, "test_sink: wrote [0-9A-F]+, read ([0-9A-F]+), byte ([0-9a-f]+)"))
      reported.push_back({hex(m[2]) / 2, hex(m[1])});
    const auto reports = matches(out, "Scan end: non-zero bytes ([0-9]+) errors ([0-9]+)");
    const auto l1as = matches(out, "L1A index +(?:[0-9]+ )?[0-9A-F]+ start [0-9A-F]+ stop ([0-9A-F]+) "
                                   "BCID ([0-9A-F]+) L1ID ([0-9A-F]+)");
    std::size_t verbose = 0, edges = 0;
    long scanErrors = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
      const std::smatch m = matches(names[i], "^([a-z]+)(-01)?-([A-Za-z0-9]+)-([0-9]{4})\\.vcd$").at(0);
      EXPECT_EQ(m[1].str(), row.program);
      EXPECT_EQ(std::stoul(m[4].str()), i + 1) << names[i];
      const VcdWaves w = readVcd(readFile(dir.file(names[i])));
      ASSERT_EQ(w.error, "") << names[i];
      EXPECT_EQ(w.timescale, "1 ns");
      const int words = static_cast<int>(w.end / 25);
      if (w.width.count("qem.mismatch")) {
        const auto flag = w.perWord("qem.mismatch", words), word = w.perWord("qem.word", words);
        for (int k = 0; k < words; ++k)
          if (flag[k] == 1) mismatched.push_back({k, word[k]});
        continue;
      }
      const std::string lane = w.width.count("qem.sink.byte") ? "qem.sink." : "qem.source.";
      const auto errors = w.perWord(lane + "scan_errors", words);
      const auto bytes = w.perWord(lane + "byte", words), l1a = w.perWord(lane + "L1A", words);
      const long sum = std::accumulate(errors.begin(), errors.end(), 0L);
      scanErrors += sum;
      if (row.verbose != "*" && row.verbose != m[3].str()) continue;
      // A printed report: its counts, its L1As, and the fields at each stop bit.
      ASSERT_LT(verbose, reports.size());
      EXPECT_EQ(std::count_if(bytes.begin(), bytes.end(), [](auto b) { return b != 0; }),
                std::stol(reports[verbose][1].str()));
      EXPECT_EQ(sum, std::stol(reports[verbose++][2].str()));
      for (int k = 0; k < words; ++k) {
        if (l1a[k] != 1 || (k > 0 && l1a[k - 1] == 1)) continue;
        ASSERT_LT(edges, l1as.size());
        const long stop = hex(l1as[edges][1]);
        if (stop < words) {
          EXPECT_EQ(w.perWord(lane + "BCID", stop + 1).back(), hex(l1as[edges][2]));
          EXPECT_EQ(w.perWord(lane + "L1ID", stop + 1).back(), hex(l1as[edges][3]));
        }
        ++edges;
      }
    }
    expectRoundTrip(dir, names.front());
    expectRoundTrip(dir, names.back());
    EXPECT_EQ(mismatched, reported);
    EXPECT_EQ(verbose, reports.size());
    EXPECT_EQ(edges, l1as.size()) << "an L1A's rising edge for each L1A printed";
    EXPECT_EQ(scanErrors, static_cast<long>(matches(out, "ERROR: [A-Za-z0-9 ]+: [A-Za-z0-9 ]+ [0-9A-F]+ [0-9A-F]+\n").size()));
  }
}

}  // namespace

namespace {

std::size_t filesIn(const TempDir& dir) {
  std::size_t n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) n += e.path().extension() == ".vcd";
  return n;
}

// At most 1000 files and VME_TRACE_LIMIT's bytes, whole files only; never
// a file of the run under a waveform's name.  Each ends the files with one line.
TEST(Waves, BoundedAndNeverOverAFileOfTheRun) {
  Vcd vcd;
  vcd.scope("qem");
  vcd.wire("L1A", 1);
  const auto written = [&](const TempDir& dir, const char* limit, int files) {
    std::string refused;
    EXPECT_TRUE(wavesUseFolder("qemtest", dir.path(), limit, refused)) << refused;
    testing::internal::CaptureStderr();
    for (int i = 0; i < files; ++i) wavesWrite(vcd, 25, "test");
    return testing::internal::GetCapturedStderr();
  };
  TempDir many, few, clash;
  EXPECT_EQ(written(many, "", 1002), "vme-waves: 1000 files were written, the most for one run; "
                                     "no more waveform files are written\n");
  EXPECT_EQ(filesIn(many), 1000u);
  const std::size_t size = wavesText(vcd, 25, "test").size();
  EXPECT_EQ(written(few, "1K", 10), "vme-waves: the next file would take the run's files past 1024 "
                                    "bytes (VME_TRACE_LIMIT); no more waveform files are written\n");
  EXPECT_EQ(filesIn(few), 1024 / size);
  std::string refused;
  ASSERT_TRUE(wavesUseFolder("qemtest", clash.path(), "", refused));
  const std::string crate = clash.write(wavesNextName(), "memory A24 0x200000\n");
  std::string text;
  ASSERT_TRUE(vmesim::readWholeFile(crate.c_str(), 1 << 20, text, "crate file"));
  EXPECT_THAT(written(clash, "", 1), testing::HasSubstr(" is the run's crate file: "));
  EXPECT_EQ(readFile(crate), text);
  wavesReset();
}

}  // namespace
