// Runs a built program of the suite with scripted standard input, a chosen
// crate and trace, and a time-out, and captures what it printed.
#pragma once

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace vmetest {

struct RunResult {
  std::string out;
  std::string err;     // standard error without the bus line
  std::string bus;     // the bus library's line naming the bus ("vme-bus: using ..."), or empty
  int exitStatus = -1;  // exit status, or -1 when ended by a signal
  int signal = 0;       // the signal that ended it, or 0
  bool timedOut = false;
};

struct RunOptions {
  std::vector<std::string> args;             // after the program name
  std::string input;                         // written to standard input
  bool closeInput = true;                    // end of input after it (sessions)
  // e.g. VME_SIM_CRATE, VME_SIM_TRACE.  VME_BUS is sim unless set here, so
  // that no test ever reaches a real crate.
  std::map<std::string, std::string> env;
  std::string workDir;                       // empty: the current directory
  // Standard output to this file instead of the pipe; "-": closed; "|": a
  // pipe whose reader is gone.
  std::string outFile;
  int timeoutMs = 30000;
};

// Options with scripted standard input and environment only.
inline RunOptions withInput(const std::string& input,
                            std::map<std::string, std::string> env = {}) {
  RunOptions o;
  o.input = input;
  o.env = std::move(env);
  return o;
}

// Path of a built program (build/bin/NAME).
std::string programPath(const std::string& name);
// A file of the source tree (examples/..., tests/...).
std::string sourcePath(const std::string& relative);

// Runs NAME to its end (or the time-out, which kills it).  argv[0] is NAME.
RunResult runProgram(const std::string& name, const RunOptions& options = {});

// A running program that a test talks to step by step.
class ProgramSession {
 public:
  ProgramSession(const std::string& name, const RunOptions& options);
  ~ProgramSession();
  ProgramSession(const ProgramSession&) = delete;
  ProgramSession& operator=(const ProgramSession&) = delete;

  void send(const std::string& text);
  void closeInput();
  // Waits until standard output holds needle (after the given position).
  bool waitForOutput(const std::string& needle, int timeoutMs, std::size_t from = 0);
  // Waits until the file has at least lines lines.
  bool waitForLines(const std::string& path, std::size_t lines, int timeoutMs);
  void signal(int sig);
  const std::string& output();
  // Waits for the end (kills at the time-out) and returns everything.
  RunResult finish(int timeoutMs);

 private:
  void pump(int waitMs);
  int pid_ = -1;
  void* process_ = nullptr;  // Windows: the process handle
  int in_ = -1, out_ = -1, err_ = -1;
  bool outIsFile_ = false;  // Windows: standard output into a scratch file
  RunResult result_;
  bool done_ = false;
};

// A scratch folder removed at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Writes a file and returns its path.
  std::string write(const std::string& name, const std::string& text) const;

 private:
  std::string path_;
};

std::string readFile(const std::string& path);
std::vector<std::string> readLines(const std::string& path);
// Trace lines without the '#' comment lines.
std::vector<std::string> traceCycles(const std::string& path);
// Number of non-overlapping occurrences of needle in text.
std::size_t countOf(const std::string& text, const std::string& needle);

// The test process's own environment, seen by the libraries it loads.
void setEnv(const std::string& name, const std::string& value);
void unsetEnv(const std::string& name);
// Whether the system has POSIX signals; false on Windows, whose cases that
// send them are skipped as Linux-only.
bool hasPosixSignals();
// Whether the kernel method is built (Linux); its rows are left out elsewhere.
bool hasKernelMethod();

// Shared by the runner's own files.
namespace runner {
using Clock = std::chrono::steady_clock;
inline int msLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}
// The bus library's line moved from err to bus.
void splitBusLine(RunResult& r);
// A console capture's end: what out holds from its start; both files closed.
std::string readAndClose(std::FILE* in, std::FILE* out);
}  // namespace runner

}  // namespace vmetest
