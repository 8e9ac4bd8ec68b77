// Waveform files of whole runs: a run prints, traces and records the same
// with and without them, and its files hold what it printed; their bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>

#include "crate/open_file.h"
#include "foundation/waves.h"
#include "program_runner.h"
#include "vcd_reader.h"

using namespace vmetest;

namespace {

// The matches of re in text, each with its submatches.
std::vector<std::smatch> matches(const std::string& text, const char* re) {
  static std::vector<std::regex> kept;  // a match refers to its text, not its regex
  return {std::sregex_iterator(text.begin(), text.end(), kept.emplace_back(re)), std::sregex_iterator()};
}
long hex(const std::ssub_match& m) { return std::stol(m.str(), nullptr, 16); }

// GTKWave's converters (vcd2fst takes a bad file without a word) give every
// wire's values back.  A test dependency on Linux; not run on Windows.
void expectRoundTrip(const TempDir& dir, const std::string& name) {
  static const bool tools = std::system("vcd2fst -h > /dev/null 2>&1 && fst2vcd -h > /dev/null 2>&1") == 0;
  if (!tools) {
    if (hasPosixSignals()) ADD_FAILURE() << "vcd2fst and fst2vcd are not installed (Debian package gtkwave)";
    return;
  }
  const std::string vcd = dir.file(name), fst = dir.file("back.fst"), back = dir.file("back.vcd");
  ASSERT_EQ(std::system(("vcd2fst '" + vcd + "' '" + fst + "' > /dev/null && fst2vcd '" + fst + "' > '" +
                         back + "'").c_str()), 0);
  const VcdWaves a = readVcd(readFile(vcd)), b = readVcd(readFile(back));
  ASSERT_EQ(a.width, b.width) << name << b.error;
  for (const auto& [wire, width] : a.width)
    EXPECT_EQ(a.perWord(wire, a.end / 25 + 1), b.perWord(wire, a.end / 25 + 1)) << name << " " << wire;
}

TEST(Waves, RunsAreTheSameWithAndWithoutAndTheFilesHoldWhatTheyPrinted) {
  // Program, fault crate, file played, the step whose scans print their report.
  const std::vector<std::string> kRows[] = {{"qemtest", "qem-ram-stuck0", "", ""},
                                            {"qemttc", "qem-bcid-no-offset", "", "TTC"},
                                            {"qemttc", "qem-sink-dead", "", "TTC"},
                                            {"qemseq", "", "examples/qemseq/qemky.dat", "*"}};
  for (const auto& row : kRows) {
    SCOPED_TRACE(row[0] + " " + row[1]);
    TempDir dirs[2];
    const TempDir& dir = dirs[1];
    RunResult r[2];
    for (int i = 0; i < 2; ++i) {
      RunOptions o = withInput("", {{"VME_SIM_TRACE", "trace"}, {"VME_RESULTS", "record"}});
      o.workDir = dirs[i].path();
      if (i == 1) o.env["VME_WAVES"] = ".";
      if (!row[1].empty()) o.env["VME_SIM_CRATE"] = sourcePath("examples/faults/" + row[1] + ".crate");
      if (!row[2].empty()) o.args = {sourcePath(row[2])};
      ASSERT_FALSE((r[i] = runProgram(row[0], o)).timedOut);
    }
    const std::regex times("\"(start|end)\":\"[^\"]*\"");
    EXPECT_EQ(r[1].out + r[1].err + std::to_string(r[1].exitStatus) + readFile(dir.file("trace")) +
                  std::regex_replace(readFile(dir.file("record")), times, ""),
              r[0].out + r[0].err + std::to_string(r[0].exitStatus) + readFile(dirs[0].file("trace")) +
                  std::regex_replace(readFile(dirs[0].file("record")), times, ""));

    // The files in the order written: PROGRAM[-SERIAL]-STEP-NNNN.vcd.
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
      if (e.path().extension() == ".vcd") names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end(),
              [](const auto& a, const auto& b) { return a.substr(a.size() - 8) < b.substr(b.size() - 8); });
    ASSERT_FALSE(names.empty());
    const std::string& out = r[1].out;
    // Each run of D16 reads from the RAM's first word on, in the trace: the
    // read-backs, the last ones those of the waveforms.
    std::vector<std::vector<long>> reads;
    for (const std::string& c : traceCycles(dir.file("trace"))) {  // "R A24 D16 00F08000 0404"
      const long address = c.size() == 23 && c.starts_with("R A24 D16 ") ? std::stol(c.substr(10, 8), nullptr, 16) : 0;
      if (address < 0xF08000 || address > 0xF0FFFF) continue;
      if (address == 0xF08000) reads.emplace_back();
      if (!reads.empty() && static_cast<std::size_t>(address - 0xF08000) / 2 == reads.back().size())
        reads.back().push_back(std::stol(c.substr(19), nullptr, 16));
    }
    std::size_t readBack = reads.size() - std::count_if(names.begin(), names.end(), [](auto& n) {
                                            return n.find("-scan-") == std::string::npos; });
    std::vector<std::pair<long, long>> mismatched, reported;  // word, value read
    for (const auto& m : matches(out, "test_sink: wrote [0-9A-F]+, read ([0-9A-F]+), byte ([0-9a-f]+)"))
      reported.push_back({hex(m[2]) / 2, hex(m[1])});
    const auto reports = matches(out, "Scan end: non-zero bytes [0-9]+ errors ([0-9]+)");
    const auto l1as = matches(out, "L1A index +(?:[0-9]+ )?[0-9A-F]+ start [0-9A-F]+ stop ([0-9A-F]+) "
                                   "BCID ([0-9A-F]+) L1ID ([0-9A-F]+)");
    std::size_t verbose = 0, edges = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
      const auto m = matches(names[i], "^([a-z]+)(-01)?-([A-Za-z0-9]+)-([0-9]{4})\\.vcd$");
      ASSERT_EQ(m.size(), 1u) << names[i];
      EXPECT_EQ(m[0][1].str() + std::to_string(std::stoul(m[0][4].str())), row[0] + std::to_string(i + 1));
      const VcdWaves w = readVcd(readFile(dir.file(names[i])));
      ASSERT_EQ(w.error + w.timescale, "1 ns") << names[i];
      const int words = static_cast<int>(w.end / 25);
      const bool sink = w.width.count("qem.mismatch") != 0;
      const std::string lane = sink ? "qem." : w.width.count("qem.sink.byte") ? "qem.sink." : "qem.source.";
      // Bit for bit what was read, or for qemseq's SCAN its buffer as printed.
      std::vector<long> want;
      if (m[0][3].str() == "scan") {
        std::istringstream printed(out.substr(out.find(" key 10\n") + 8));
        for (std::string entry; want.size() < 200 && printed >> entry;) want.push_back(std::stol(entry, nullptr, 16));
      } else {
        ASSERT_LT(readBack, reads.size());
        want = reads[readBack++];
        if (!sink) for (long& v : want) v = (v >> (lane == "qem.sink." ? 8 : 0)) & 0xFF;
      }
      const auto got = w.perWord(lane + (sink ? "word" : "byte"), static_cast<int>(want.size()));
      EXPECT_EQ(std::vector<long>(got.begin(), got.end()), want) << names[i];
      if (sink) {
        const auto flag = w.perWord("qem.mismatch", words), word = w.perWord("qem.word", words);
        for (int k = 0; k < words; ++k)
          if (flag[k] == 1) mismatched.push_back({k, word[k]});
        continue;
      }
      const auto errors = w.perWord(lane + "scan_errors", words), l1a = w.perWord(lane + "L1A", words);
      long sum = 0;
      for (int k = 0; k < words; ++k) sum += errors[k];
      if (row[3] != "*" && row[3] != m[0][3].str()) continue;
      // A printed report: its errors, and each L1A's fields from its stop bit.
      ASSERT_LT(verbose, reports.size());
      EXPECT_EQ(sum, std::stol(reports[verbose++][1].str()));
      for (int k = 0; k < words; ++k) {
        if (l1a[k] != 1 || (k > 0 && l1a[k - 1] == 1)) continue;
        ASSERT_LT(edges, l1as.size());
        const long stop = hex(l1as[edges][1]), bcid = hex(l1as[edges][2]), l1id = hex(l1as[edges++][3]);
        if (stop >= words) continue;
        EXPECT_EQ(w.perWord(lane + "BCID", stop + 1).back(), bcid) << "word " << stop;
        EXPECT_EQ(w.perWord(lane + "L1ID", stop + 1).back(), l1id) << "word " << stop;
      }
    }
    expectRoundTrip(dir, names.front());
    expectRoundTrip(dir, names.back());
    EXPECT_EQ(mismatched, reported);
    EXPECT_EQ(verbose, reports.size());
    EXPECT_EQ(edges, l1as.size()) << "an L1A's rising edge for each L1A printed";
  }
}

// At most 1000 files and VME_TRACE_LIMIT's bytes, whole files only; never
// a file of the run under a waveform's name.  Each ends the files with one line.
TEST(Waves, BoundedAndNeverOverAFileOfTheRun) {
  Vcd vcd;
  vcd.scope("qem");
  vcd.wire("L1A", 1);
  TempDir many, few, clash;
  std::string crate;
  const auto written = [&](const TempDir& dir, const char* limit, int files) {
    std::string refused, text;
    EXPECT_TRUE(wavesUseFolder("qemtest", dir.path(), limit, refused)) << refused;
    if (&dir == &clash) {
      crate = clash.write(wavesNextName(), "memory A24 0x200000\n");
      EXPECT_TRUE(vmesim::readWholeFile(crate.c_str(), 1 << 20, text, "crate file"));
    }
    testing::internal::CaptureStderr();
    for (int i = 0; i < files; ++i) wavesWrite(vcd, 25, "test");
    std::size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) n += e.path().extension() == ".vcd";
    return std::to_string(n) + " " + testing::internal::GetCapturedStderr();
  };
  const std::string tail = "; no more waveform files are written\n";
  EXPECT_EQ(written(many, "", 1002), "1000 vme-waves: 1000 files were written, the most for one run" + tail);
  EXPECT_EQ(written(few, "1K", 10), std::to_string(1024 / wavesText(vcd, 25, "test").size()) +
                                        " vme-waves: the next file would take the run's files past "
                                        "1024 bytes (VME_TRACE_LIMIT)" + tail);
  const std::string refused = written(clash, "", 1);
  EXPECT_EQ(refused, "1 vme-waves: " + crate + " is the run's crate file: a waveform file never "
                     "replaces a file of the run" + tail);
  EXPECT_EQ(readFile(crate), "memory A24 0x200000\n");
  wavesReset();
}

}  // namespace
