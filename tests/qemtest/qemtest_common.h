// Helpers of the qemtest end-to-end tests: the verdict lines of a run and
// what a crate file or a trace holds.
#pragma once

#include <fstream>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "program_runner.h"

namespace qemtest_e2e {

// The eleven tests in the order they run.
inline const std::vector<std::string>& testOrder() {
  static const std::vector<std::string> order = {"RST",  "CLK",  "REG", "RAM", "SEQ",   "L1ID",
                                                 "BCID", "SER",  "CMD", "BRST", "SEQall"};
  return order;
}

struct Verdict {
  std::string name;
  bool pass;
};

// The verdict lines of a run, in order.
inline std::vector<Verdict> verdicts(const std::string& out) {
  static const std::regex line(R"((\w+) test: (Pass|Fail -- 0x[0-9a-f]+ \(\d+\) errors)\n)");
  std::vector<Verdict> v;
  for (auto it = std::sregex_iterator(out.begin(), out.end(), line); it != std::sregex_iterator();
       ++it)
    v.push_back({(*it)[1].str(), (*it)[2].str() == "Pass"});
  return v;
}

// Names of the tests that failed, in order.
inline std::vector<std::string> failed(const std::string& out) {
  std::vector<std::string> names;
  for (const Verdict& v : verdicts(out))
    if (!v.pass) names.push_back(v.name);
  return names;
}

// The default crate with one qem option line changed.
inline std::string crateWith(const vmetest::TempDir& dir, const std::string& qemOptions,
                             const std::string& extra = "") {
  std::string text = "qem A24 0xF00000 " + qemOptions +
                     "\n"
                     "ttcvi A24 0xBAD000\n"
                     "trigger A24 0xFF0000\n"
                     "trigger A24 0x180000 name=LOBBO\n"
                     "memory A24 0x200000 size=0x10000\n"
                     "memory A32 0xD000000 size=0x20000\n" +
                     extra;
  return dir.write("test.crate", text);
}

// Trace lines starting with prefix, read without holding the whole file.
inline std::size_t tracedCount(const std::string& path, const std::string& prefix) {
  std::ifstream in(path);
  std::string line;
  std::size_t n = 0;
  while (std::getline(in, line))
    if (line.rfind(prefix, 0) == 0) ++n;
  return n;
}

// Options of one run: standard input, crate file and trace.
inline vmetest::RunOptions options(const std::string& input, const std::string& crate = "",
                                   const std::string& trace = "", int timeoutMs = 60000) {
  vmetest::RunOptions o;
  o.input = input;
  if (!crate.empty()) o.env["VME_SIM_CRATE"] = crate;
  if (!trace.empty()) o.env["VME_SIM_TRACE"] = trace;
  o.timeoutMs = timeoutMs;
  return o;
}

// Answers for every prompt: address mode, base, debug level, then the ten
// loop counts (RST, CLK, REG, RAM, SEQ, L1ID, BCID, SER, CMD, BRST).
inline std::string answers(const std::string& debug, const std::string& loops) {
  std::string in = "\n\n" + debug + "\n";
  for (int i = 0; i < 10; ++i) in += loops + "\n";
  return in;
}

}  // namespace qemtest_e2e
