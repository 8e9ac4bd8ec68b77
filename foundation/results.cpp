#include "foundation/results.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "buslib/access_method.h"
#include "buslib/bus_trace.h"
#include "crate/open_file.h"
#include "foundation/console.h"
#include "foundation/exit_status.h"
#include "foundation/record_text.h"
#include "foundation/run_end.h"
#include "foundation/verdicts.h"
#include "foundation/version.h"
#include "platform/platform.h"

using Json = nlohmann::ordered_json;

// The prompts' hook lives here, so a program without prompts links no
// console code.
AnswerHook answerHook = nullptr;

namespace {

using platform::writeAll;

struct Answer {
  std::string question;
  std::string text;
  bool given = false;
};

struct Base {
  std::uint32_t address, size;
  bool a32;
};

const char* programName = "";
int resultsFd = -1;
// The JUnit file is written into a new file beside it, then renamed over it:
// a run that dies leaves the last good file.  A character device (/dev/null)
// is written directly.
platform::Replacement junit;
std::string resultsPath, junitPath;
std::time_t startTime = 0;
std::chrono::steady_clock::time_point startClock;
std::vector<Answer> answers;
std::vector<Base> bases;
bool soakRun = false;
SoakCounts soak;
volatile std::sig_atomic_t written = 0;
// The bus as configured, for a record made before the bus started.
std::string configuredMethod, configuredCrate;

// The records an interrupt writes, made ready after each event; the handler
// only fills in the end time and calls write(2).
struct Snapshot {
  std::string json, junit;
  std::size_t jsonTime = 0, junitTime = 0;  // offsets of the end time
};
Snapshot snapshots[2];
std::atomic<int> ready{-1};

constexpr char kTimePlaceholder[] = "0000-00-00T00:00:00Z";
constexpr std::size_t kTimeLength = sizeof kTimePlaceholder - 1;

// "2026-12-09T03:04:05Z" from seconds since 1970, without the C library's
// time functions, so the signal handler may call it.
void formatTime(std::time_t t, char* out) {
  long long days = t / 86400, secs = t % 86400;
  if (secs < 0) secs += 86400, --days;
  // Civil date from days since 1970-01-01.
  days += 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const long long doe = days - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long d = doy - (153 * mp + 2) / 5 + 1;
  const long long m = mp < 10 ? mp + 3 : mp - 9;
  const long long y = yoe + era * 400 + (m <= 2);
  const long long fields[6] = {y, m, d, secs / 3600, secs / 60 % 60, secs % 60};
  const int widths[6] = {4, 2, 2, 2, 2, 2};
  const char seps[6] = {'-', '-', 'T', ':', ':', 'Z'};
  for (int f = 0; f < 6; ++f) {
    long long v = fields[f];
    for (int i = widths[f] - 1; i >= 0; --i) out[i] = static_cast<char>('0' + v % 10), v /= 10;
    out += widths[f];
    *out++ = seps[f];
  }
}

std::string timeText(std::time_t t) {
  char text[kTimeLength + 1] = {};
  formatTime(t, text);
  return text;
}

std::string hex(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", v);
  return text;
}

// The bus of the run, as the bus library names it; before it started, as
// configured.
struct BusRecord {
  std::string method, description, crate;
};
BusRecord busRecord() {
  if (!vmebus::busStarted()) return {configuredMethod, "", configuredCrate};
  const vmebus::AccessMethod* m = vmebus::currentMethod();
  if (m == nullptr) return {};
  BusRecord b{m->name(), m->describe(), ""};
  if (b.description.find("simulated crate") != std::string::npos) b.crate = vmesim::crateSource();
  return b;
}

const char* outcomeText(TestOutcome o) {
  switch (o) {
    case TestOutcome::Passed: return "passed";
    case TestOutcome::Failed: return "failed";
    default: return "not run";
  }
}

std::string hostName() { return platform::hostName(); }

Json nullOr(const std::string& text) { return text.empty() ? Json(nullptr) : Json(utf8Kept(text)); }

std::string jsonRecord(const RunEnd& e, std::time_t end, std::size_t* timeAt) {
  const bool interrupted = e.outcome == RunOutcome::Interrupted;
  Json r;
  r["program"] = programName;
  r["version"] = kSuiteVersion;
  r["start"] = timeText(startTime);
  r["end"] = timeAt != nullptr ? kTimePlaceholder : timeText(end);
  r["host"] = utf8Kept(hostName());
  const BusRecord bus = busRecord();
  r["bus"] = {{"method", bus.method}, {"description", utf8Kept(bus.description)},
              {"crate", utf8Kept(bus.crate)}};
  r["bases"] = Json::array();
  for (const Base& b : bases)
    r["bases"].push_back({{"space", b.a32 ? "A32" : "A24"}, {"address", hex(b.address)},
                          {"size", hex(b.size)}});
  if (verdictModule.known) {
    char serial[8];
    std::snprintf(serial, sizeof serial, "%02X", verdictModule.serial);
    r["module"] = {{"serial", serial}, {"firmware", verdictModule.firmware}};
  } else {
    r["module"] = nullptr;
  }
  r["answers"] = Json::array();
  for (const Answer& a : answers)
    r["answers"].push_back({{"question", utf8Kept(a.question)},
                            {"answer", a.given ? Json(utf8Kept(a.text)) : Json(nullptr)}});
  r["tests"] = Json::array();
  for (const TestResult& t : verdictTests()) {
    Json lines = Json::array();
    for (const std::string& l : t.lines) lines.push_back(utf8Kept(l));
    Json test = {{"name", t.name}, {"loops", t.loops}, {"errors", t.errors},
                 {"outcome", outcomeText(t.outcome)}, {"error_lines", lines},
                 {"more_error_lines", t.moreLines}};
    if (!t.reason.empty()) test["reason"] = t.reason;
    r["tests"].push_back(std::move(test));
  }
  if (soakRun)
    r["soak"] = {{"iterations", soak.iterations}, {"calt", soak.calt}, {"cali", soak.cali},
                 {"trig", soak.trig}, {"other", soak.other}, {"bus", soak.bus}};
  r["outcome"] = outcomeName(e.outcome);
  r["exit_status"] = interrupted ? Json(nullptr) : Json(e.status);
  r["error"] = nullOr(e.stopLine);
  r["output_error"] = nullOr(e.outputError);
  std::string text = r.dump() + "\n";
  if (timeAt != nullptr) *timeAt = text.find(kTimePlaceholder);
  return text;
}

std::string attr(const std::string& text) { return "\"" + xmlEscape(text) + "\""; }

// Why a run whose outcome is not its verdicts' failed as a whole; empty
// for the others.
std::string runError(const RunEnd& e) {
  switch (e.outcome) {
    case RunOutcome::Interrupted: return "the run was ended by a signal";
    case RunOutcome::Untrusted:
      return "the bus failed during the run (a communication error or time-out): its results "
             "cannot be trusted";
    case RunOutcome::Error: return !e.stopLine.empty() ? e.stopLine : e.outputError;
    default: return "";
  }
}

std::string junitRecord(const RunEnd& e, std::time_t end, std::size_t* timeAt) {
  const std::string error = runError(e);
  const auto& tests = verdictTests();
  int failures = 0, skipped = 0;
  for (const TestResult& t : tests) {
    failures += t.outcome == TestOutcome::Failed;
    skipped += t.outcome == TestOutcome::NotRun;
  }
  const BusRecord bus = busRecord();
  std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  x += "<testsuite name=" + attr(programName) + " tests=\"" +
       std::to_string(tests.size() + !error.empty()) + "\" failures=\"" +
       std::to_string(failures) + "\" errors=\"" + std::to_string(error.empty() ? 0 : 1) +
       "\" skipped=\"" +
       std::to_string(skipped) + "\" timestamp=" + attr(timeText(startTime)) +
       " hostname=" + attr(hostName()) + ">\n";
  x += "  <properties>\n";
  const auto property = [&](const char* name, const std::string& value) {
    x += "    <property name=\"" + std::string(name) + "\" value=" + attr(value) + "/>\n";
  };
  if (verdictModule.known) {
    char serial[8];
    std::snprintf(serial, sizeof serial, "%02X", verdictModule.serial);
    property("serial", serial);
    property("firmware", std::to_string(verdictModule.firmware));
  }
  property("bus", bus.method);
  property("crate", bus.crate.empty() ? bus.description : bus.crate);
  property("version", kSuiteVersion);
  property("outcome", outcomeName(e.outcome));
  x += "    <property name=\"end\" value=\"";
  if (timeAt != nullptr) *timeAt = x.size();
  x += timeAt != nullptr ? kTimePlaceholder : timeText(end);
  x += "\"/>\n  </properties>\n";
  for (const TestResult& t : tests) {
    char time[32];
    std::snprintf(time, sizeof time, "%.3f", t.seconds);
    x += "  <testcase name=" + attr(t.name) + " classname=" + attr(programName) + " time=\"" +
         time + "\"";
    if (t.outcome == TestOutcome::Passed) {
      x += "/>\n";
      continue;
    }
    x += ">\n";
    if (t.outcome == TestOutcome::NotRun) {
      x += "    <skipped message=" + attr("not run: " + (t.reason.empty() ? "no loop" : t.reason)) +
           "/>\n";
    } else {
      x += "    <failure message=\"" + std::to_string(t.errors) + " errors\" type=\"Fail\">";
      for (const std::string& l : t.lines) x += xmlEscape(l) + "\n";
      if (t.moreLines > 0) x += std::to_string(t.moreLines) + " more error lines\n";
      x += "</failure>\n";
    }
    x += "  </testcase>\n";
  }
  // The run's own failure, so that a reader counting errors sees it.
  if (!error.empty())
    x += "  <testcase name=" + attr(outcomeName(e.outcome)) +
         " classname=" + attr(programName) + ">\n    <error message=" + attr(error) +
         "/>\n  </testcase>\n";
  x += "</testsuite>\n";
  return x;
}

// The JUnit text into its file: the new file beside it renamed over it.
// Async-signal-safe.
bool writeJunit(const char* text, std::size_t n) {
  if (junit.fd < 0) return true;
  return platform::finishReplacement(junit, writeAll(junit.fd, text, n));
}

// The fatal-signal hook: the prepared records, with the time of now.
extern "C" void writeInterrupted(int) {
  const int i = ready.load(std::memory_order_acquire);
  if (written || i < 0) return;
  written = 1;
  Snapshot& s = snapshots[i];
  const std::time_t now = static_cast<std::time_t>(platform::wallClockSeconds());
  if (resultsFd >= 0) {
    if (s.jsonTime != std::string::npos) formatTime(now, s.json.data() + s.jsonTime);
    (void)platform::appendRecord(resultsFd, s.json.data(), s.json.size());
  }
  if (junit.fd >= 0) {
    formatTime(now, s.junit.data() + s.junitTime);
    (void)writeJunit(s.junit.data(), s.junit.size());
  }
}

void answerHookCall(const char* question, const char* text, std::size_t n) {
  resultsNoteAnswer(question, text, n);
}

// A run that ends without its end decided (a program of the library's own,
// or one stopped by the library) still leaves no stray new JUnit file.
void dropUnwritten() {
  if (written || junit.fd < 0 || junit.temp.empty()) return;
  platform::dropReplacement(junit);
}

// The file's own name with its folder made absolute, for a file that may
// not exist yet; empty when the folder does not exist.
std::string canonicalName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const std::string real = platform::realFolder(folder);
  if (real.empty()) return "";
  return real + "/" + path.substr(slash == std::string::npos ? 0 : slash + 1);
}

// Whether two paths name one file: by device and inode where both exist
// (hard and symbolic links included), by name where neither does yet.  A
// character device (/dev/null) is shared by everyone without harm.
bool sameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  platform::FileInfo sa, sb;
  const bool ea = platform::fileInfo(a.c_str(), sa), eb = platform::fileInfo(b.c_str(), sb);
  if (ea && eb) return sa.id == sb.id && sa.kind != platform::FileKind::CharDevice;
  if (ea || eb) return false;
  const std::string ca = canonicalName(a);
  return !ca.empty() && ca == canonicalName(b);
}

struct OtherFile {
  const char* what;
  std::string path;
  bool input;  // read by the run, or written by it
};

// The refusal of a record that is another file of the run, or empty.
std::string clash(const char* variable, const std::string& path,
                  const std::vector<OtherFile>& others) {
  for (const OtherFile& o : others) {
    if (!sameFile(path, o.path)) continue;
    std::string line = std::string(programName) + ": " + variable + "=" + path + " is the " +
                       o.what + " " + o.path;
    return line + (o.input ? ": a run record never writes into an input of the run"
                           : ": the records and the trace each need a file of their own");
  }
  return "";
}

std::string cannot(const char* variable, const std::string& path, const char* why) {
  return std::string(programName) + ": " + variable + "=" + path + " cannot be opened: " + why +
         ", nothing tested";
}

// VME_RESULTS: appended to, one write a record.  Opened without blocking
// (a FIFO must not hold the run), regular files and character devices only.
bool openResults(const std::vector<OtherFile>& others, std::string& error) {
  if ((error = clash("VME_RESULTS", resultsPath, others)) != "") return false;
  int fd = platform::openFile(resultsPath.c_str(), platform::kWrite | platform::kAppend |
                                                      platform::kCreate | platform::kNoBlock);
  platform::FileInfo st;
  if (fd >= 0 && platform::fileInfo(fd, st) && st.kind != platform::FileKind::Regular &&
      st.kind != platform::FileKind::CharDevice) {
    platform::closeFile(fd);
    fd = -1;
    errno = vmesim::kNotRegularFile;
  }
  if (fd < 0) {
    error = cannot("VME_RESULTS", resultsPath,
                   errno == ENXIO ? "not a regular file" : vmesim::fileErrorText(errno));
    return false;
  }
  resultsFd = fd;
  return true;
}

// VME_JUNIT: checked now, written whole at the end.
bool openJunit(const std::vector<OtherFile>& others, std::string& error) {
  if ((error = clash("VME_JUNIT", junitPath, others)) != "") return false;
  platform::FileInfo st;
  const bool exists = platform::fileInfo(junitPath.c_str(), st);
  if (!exists && errno != ENOENT) {
    error = cannot("VME_JUNIT", junitPath, std::strerror(errno));
    return false;
  }
  if (exists && st.kind == platform::FileKind::CharDevice) {
    junit.fd = platform::openFile(junitPath.c_str(), platform::kWrite | platform::kNoBlock);
    if (junit.fd < 0) error = cannot("VME_JUNIT", junitPath, std::strerror(errno));
    return junit.fd >= 0;
  }
  if (exists && st.kind != platform::FileKind::Regular) {
    error = cannot("VME_JUNIT", junitPath, st.kind == platform::FileKind::Directory
                                               ? std::strerror(EISDIR) : "not a regular file");
    return false;
  }
  if (!platform::startReplacement(junitPath, junit)) {
    error = cannot("VME_JUNIT", junitPath, std::strerror(errno));
    return false;
  }
  return true;
}

}  // namespace

bool resultsOpen(const char* program, const vmebus::BusConfig& bus, const char* played,
                 std::string& error) {
  programName = program;
  startTime = std::time(nullptr);
  startClock = std::chrono::steady_clock::now();
  configuredMethod = bus.method;
  if (bus.method == "sim") configuredCrate = bus.crateFile.empty() ? "built-in default" : bus.crateFile;
  const char* r = std::getenv("VME_RESULTS");
  const char* j = std::getenv("VME_JUNIT");
  resultsPath = r != nullptr ? r : "";
  junitPath = j != nullptr ? j : "";
  std::vector<OtherFile> others = {
      {"crate file", bus.crateFile, true},
      {"device table", bus.deviceTable, true},
      {"input file", played != nullptr ? played : "", true},
      // A bare name is looked for by the loader, not here.
      {"CAEN library", bus.caenLibrary.find_first_of("/\\") != std::string::npos ? bus.caenLibrary : "", true},
      {"VISA library", bus.visaLibrary.find_first_of("/\\") != std::string::npos ? bus.visaLibrary : "", true},
      {"trace file", bus.tracePath, false},
  };
  if (!resultsPath.empty()) {
    others.push_back({"JUnit file", junitPath, false});
    if (!openResults(others, error)) return false;
    others.back() = {"results file", resultsPath, false};
  }
  // A refused JUnit file leaves the refusal in the results file.
  if (!junitPath.empty() && !openJunit(others, error)) return false;
  if (!resultsWanted()) return true;
  answerHook = answerHookCall;
  resultsChanged();
  vmebus::setFatalSignalHook(writeInterrupted);
  std::atexit(dropUnwritten);
  return true;
}

bool resultsWanted() { return resultsFd >= 0 || junit.fd >= 0; }

void resultsNoteWindow(std::uint32_t address, bool a32, std::uint32_t size) {
  if (!resultsWanted()) return;
  bases.push_back({address, size, a32});
  resultsChanged();
}

void resultsNoteAnswer(const char* question, const char* text, std::size_t n) {
  if (!resultsWanted()) return;
  Answer a{question != nullptr ? question : "", "", text != nullptr};
  if (text != nullptr) {
    a.text.assign(text, n);
    if (!a.text.empty() && a.text.back() == '\n') a.text.pop_back();
  }
  answers.push_back(std::move(a));
  resultsChanged();
}

void resultsNoteSoak(const SoakCounts& counts) {
  soakRun = true;
  soak = counts;
}

void resultsChanged() {
  if (!resultsWanted() || written) return;
  const int next = ready.load() == 0 ? 1 : 0;
  Snapshot& s = snapshots[next];
  // Not the one the handler may be reading: it is replaced only after.
  RunEnd interrupted;
  interrupted.outcome = RunOutcome::Interrupted;
  s.json = resultsFd >= 0 ? jsonRecord(interrupted, 0, &s.jsonTime) : "";
  s.junit = junit.fd >= 0 ? junitRecord(interrupted, 0, &s.junitTime) : "";
  ready.store(next, std::memory_order_release);
}

void resultsFinish(const RunEnd& e) {
  if (!resultsWanted() || written) return;
  written = 1;
  const std::time_t end = std::time(nullptr);
  if (resultsFd >= 0) {
    const std::string json = jsonRecord(e, end, nullptr);
    // One write, so records of stations sharing the file never interleave.
    if (platform::appendRecord(resultsFd, json.data(), json.size()))
      std::fprintf(stderr, "%s: run record appended to %s\n", programName, resultsPath.c_str());
    else
      std::fprintf(stderr, "%s: results file %s cannot be written: %s; this run's record is lost\n",
                   programName, resultsPath.c_str(), std::strerror(errno));
  }
  if (junit.fd >= 0) {
    const std::string xml = junitRecord(e, end, nullptr);
    if (writeJunit(xml.data(), xml.size()))
      std::fprintf(stderr, "%s: JUnit report written to %s\n", programName, junitPath.c_str());
    else
      std::fprintf(stderr, "%s: JUnit file %s cannot be written: %s; this run's report is lost\n",
                   programName, junitPath.c_str(), std::strerror(errno));
  }
}
