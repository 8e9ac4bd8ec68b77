// What the runner does alike on every system; starting, feeding and ending
// a program is in program_runner_posix.cpp and program_runner_windows.cpp.
#include "program_runner.h"


#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vmetest {

using runner::Clock;
using runner::msLeft;

std::string programPath(const std::string& name) { return std::string(VME_BIN_DIR) + "/" + name; }

std::string sourcePath(const std::string& relative) {
  return std::string(VME_SOURCE_DIR) + "/" + relative;
}

ProgramSession::~ProgramSession() {
  if (!done_) finish(0);
}

bool ProgramSession::waitForOutput(const std::string& needle, int timeoutMs, std::size_t from) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (result_.out.find(needle, from) != std::string::npos) return true;
    if (out_ < 0 || msLeft(deadline) == 0) return false;
    pump(std::min(50, msLeft(deadline)));
  }
}

bool ProgramSession::waitForLines(const std::string& path, std::size_t lines, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    std::ifstream in(path);
    std::size_t n = 0;
    std::string l;
    while (n < lines && std::getline(in, l)) ++n;
    if (n >= lines) return true;
    if (msLeft(deadline) == 0) return false;
    pump(20);
  }
}

const std::string& ProgramSession::output() {
  pump(0);
  return result_.out;
}

void runner::splitBusLine(RunResult& r) {
  // The bus line goes to its own field: err holds every other line.
  const std::string kBusLine = "vme-bus: using ";
  std::size_t at = r.err.rfind(kBusLine, 0) == 0 ? 0 : r.err.find("\n" + kBusLine);
  if (at != std::string::npos) {
    if (at != 0) ++at;
    const std::size_t end = r.err.find('\n', at);
    const std::size_t stop = end == std::string::npos ? r.err.size() : end + 1;
    r.bus = r.err.substr(at, stop - at);
    r.err.erase(at, stop - at);
  }
}

RunResult runProgram(const std::string& name, const RunOptions& options) {
  RunOptions o = options;
  o.closeInput = true;
  ProgramSession s(name, o);
  return s.finish(options.timeoutMs);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::write(const std::string& name, const std::string& text) const {
  std::string p = file(name);
  std::ofstream(p, std::ios::binary) << text;
  return p;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> readLines(const std::string& path) {
  // Only what the file holds now: a trace that a running loop keeps writing
  // may grow faster than it can be read.
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  if (!in) return lines;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0);
  std::string text(static_cast<std::size_t>(size < 0 ? 0 : size), '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  std::istringstream split(text);
  std::string l;
  while (std::getline(split, l)) lines.push_back(l);
  return lines;
}

std::vector<std::string> traceCycles(const std::string& path) {
  std::vector<std::string> lines;
  for (auto& l : readLines(path))
    if (!l.empty() && l[0] != '#') lines.push_back(l);
  return lines;
}

std::size_t countOf(const std::string& text, const std::string& needle) {
  std::size_t n = 0;
  for (auto p = text.find(needle); p != std::string::npos; p = text.find(needle, p + needle.size()))
    ++n;
  return n;
}

std::string runner::readAndClose(std::FILE* in, std::FILE* out) {
  std::rewind(out);
  std::string text;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, out)) > 0;) text.append(buf, n);
  std::fclose(in);
  std::fclose(out);
  return text;
}

}  // namespace vmetest
