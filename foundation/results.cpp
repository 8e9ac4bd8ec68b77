#include "foundation/results.h"

#include <fcntl.h>
#include <unistd.h>

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
#include "foundation/verdicts.h"
#include "foundation/version.h"

using Json = nlohmann::ordered_json;

// The prompts' hook lives here, so a program without prompts links no
// console code.
AnswerHook answerHook = nullptr;

namespace {

using vmesim::writeAll;

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
int junitFd = -1;
std::string resultsPath, junitPath;
std::time_t startTime = 0;
std::chrono::steady_clock::time_point startClock;
std::vector<Answer> answers;
std::vector<Base> bases;
bool soakRun = false;
SoakCounts soak;
volatile std::sig_atomic_t written = 0;

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

// The bus of the run, as the bus library names it; nothing before it has
// started.
struct BusRecord {
  std::string method, description, crate;
};
BusRecord busRecord() {
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

std::string runOutcome(int status, bool interrupted) {
  if (interrupted) return "interrupted";
  std::string w = outcomeWord(status);
  for (char& c : w) c = static_cast<char>(c - 'A' + 'a');
  return w;
}

std::string hostName() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) return "";
  return host;
}

std::string jsonRecord(int status, bool interrupted, std::time_t end, std::size_t* timeAt) {
  Json r;
  r["program"] = programName;
  r["version"] = kSuiteVersion;
  r["start"] = timeText(startTime);
  r["end"] = interrupted ? kTimePlaceholder : timeText(end);
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
    r["tests"].push_back({{"name", t.name}, {"loops", t.loops}, {"errors", t.errors},
                          {"outcome", outcomeText(t.outcome)}, {"error_lines", lines},
                          {"more_error_lines", t.moreLines}});
  }
  if (soakRun)
    r["soak"] = {{"iterations", soak.iterations}, {"calt", soak.calt}, {"cali", soak.cali},
                 {"trig", soak.trig}, {"other", soak.other}, {"bus", soak.bus}};
  r["outcome"] = runOutcome(status, interrupted);
  r["exit_status"] = interrupted ? Json(nullptr) : Json(status);
  std::string text = r.dump() + "\n";
  if (timeAt != nullptr) *timeAt = text.find(kTimePlaceholder);
  return text;
}

std::string attr(const std::string& text) { return "\"" + xmlEscape(text) + "\""; }

std::string junitRecord(int status, bool interrupted, std::time_t end, std::size_t* timeAt) {
  const auto& tests = verdictTests();
  int failures = 0, skipped = 0;
  for (const TestResult& t : tests) {
    failures += t.outcome == TestOutcome::Failed;
    skipped += t.outcome == TestOutcome::NotRun;
  }
  const BusRecord bus = busRecord();
  std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  x += "<testsuite name=" + attr(programName) + " tests=\"" +
       std::to_string(tests.size() + interrupted) + "\" failures=\"" + std::to_string(failures) +
       "\" errors=\"" + std::to_string(interrupted ? 1 : 0) + "\" skipped=\"" +
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
  property("outcome", runOutcome(status, interrupted));
  x += "    <property name=\"end\" value=\"";
  if (timeAt != nullptr) *timeAt = x.size();
  x += interrupted ? kTimePlaceholder : timeText(end);
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
  if (interrupted)
    x += "  <testcase name=\"interrupted\" classname=" + attr(programName) +
         ">\n    <error message=\"the run was ended by a signal\"/>\n  </testcase>\n";
  x += "</testsuite>\n";
  return x;
}

// The fatal-signal hook: the prepared records, with the time of now.
extern "C" void writeInterrupted(int) {
  const int i = ready.load(std::memory_order_acquire);
  if (written || i < 0) return;
  written = 1;
  Snapshot& s = snapshots[i];
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  if (resultsFd >= 0) {
    if (s.jsonTime != std::string::npos) formatTime(now.tv_sec, s.json.data() + s.jsonTime);
    (void)writeAll(resultsFd, s.json.data(), s.json.size());
  }
  if (junitFd >= 0) {
    formatTime(now.tv_sec, s.junit.data() + s.junitTime);
    (void)writeAll(junitFd, s.junit.data(), s.junit.size());
  }
}

void answerHookCall(const char* question, const char* text, std::size_t n) {
  resultsNoteAnswer(question, text, n);
}

int openFile(const char* variable, std::string& path, int flags) {
  const char* p = std::getenv(variable);
  if (p == nullptr || *p == '\0') return -1;
  path = p;
  const int fd = vmesim::openAboveStdio(p, flags | O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0)
    std::fprintf(stderr, "%s: %s=%s cannot be opened: %s, nothing tested\n", programName, variable,
                 p, std::strerror(errno));
  return fd;
}

}  // namespace

bool resultsOpen(const char* program) {
  programName = program;
  startTime = std::time(nullptr);
  startClock = std::chrono::steady_clock::now();
  resultsFd = openFile("VME_RESULTS", resultsPath, O_APPEND);
  if (resultsFd < 0 && !resultsPath.empty()) return false;
  junitFd = openFile("VME_JUNIT", junitPath, O_TRUNC);
  if (junitFd < 0 && !junitPath.empty()) return false;
  if (!resultsWanted()) return true;
  answerHook = answerHookCall;
  resultsChanged();
  vmebus::setFatalSignalHook(writeInterrupted);
  return true;
}

bool resultsWanted() { return resultsFd >= 0 || junitFd >= 0; }

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
  s.json = resultsFd >= 0 ? jsonRecord(RUN_UNTESTED, true, 0, &s.jsonTime) : "";
  s.junit = junitFd >= 0 ? junitRecord(RUN_UNTESTED, true, 0, &s.junitTime) : "";
  ready.store(next, std::memory_order_release);
}

int resultsFinish(int status) {
  if (!resultsWanted() || written) return status;
  written = 1;
  const std::time_t end = std::time(nullptr);
  bool ok = true;
  if (resultsFd >= 0) {
    const std::string json = jsonRecord(status, false, end, nullptr);
    // One write, so records of stations sharing the file never interleave.
    if (!writeAll(resultsFd, json.data(), json.size())) {
      std::fprintf(stderr, "%s: results file %s cannot be written: %s\n", programName,
                   resultsPath.c_str(), std::strerror(errno));
      ok = false;
    }
  }
  if (junitFd >= 0) {
    const std::string xml = junitRecord(status, false, end, nullptr);
    if (!writeAll(junitFd, xml.data(), xml.size()) || ::close(junitFd) != 0) {
      std::fprintf(stderr, "%s: JUnit file %s cannot be written: %s\n", programName,
                   junitPath.c_str(), std::strerror(errno));
      ok = false;
    }
    junitFd = -1;
  }
  return ok ? status : RUN_UNTESTED;
}

void resultsFinishInterrupted() {
  resultsChanged();
  writeInterrupted(SIGINT);
}
