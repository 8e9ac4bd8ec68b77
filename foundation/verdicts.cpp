#include "foundation/verdicts.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>

#include "foundation/exit_status.h"
#include "foundation/results.h"
#include "foundation/run_end.h"

ModuleIdentity verdictModule;

namespace {

std::vector<TestResult> tests;
// Error lines printed since the last verdict.
std::vector<std::string> pendingLines;
long pendingMore = 0;
std::chrono::steady_clock::time_point lastVerdict = std::chrono::steady_clock::now();

void add(TestResult t) {
  const auto now = std::chrono::steady_clock::now();
  t.seconds = std::chrono::duration<double>(now - lastVerdict).count();
  lastVerdict = now;
  t.lines = std::move(pendingLines);
  t.moreLines = pendingMore;
  pendingLines.clear();
  pendingMore = 0;
  tests.push_back(std::move(t));
  resultsChanged();
}

}  // namespace

void noteModule(int serialWord) {
  verdictModule = {true, serialWord & 0xFF, serialWord >> 8};
  resultsChanged();
}

void reportVerdict(const char* name, int errors, long loops, bool ran) {
  std::printf("%s test: ", name);
  if (errors != 0)
    std::printf("Fail -- 0x%0x (%d) errors\n", static_cast<unsigned>(errors), errors);
  else
    std::printf("Pass\n");
  noteTest(name, errors, loops, ran);
}

void noteTest(const char* name, int errors, long loops, bool ran) {
  TestResult t;
  t.name = name;
  t.loops = loops;
  t.errors = errors;
  t.outcome = errors != 0 ? TestOutcome::Failed : ran ? TestOutcome::Passed : TestOutcome::NotRun;
  add(std::move(t));
}

void reportNotRun(const char* name, const char* reason) {
  std::printf("%s test: not run: %s\n", name, reason);
  TestResult t;
  t.name = name;
  t.reason = reason;
  add(std::move(t));
}

void printErrorLine(const char* format, ...) {
  va_list args;
  va_start(args, format);
  if (pendingLines.size() >= kKeptErrorLines) {
    // Only counted from here on: printed as printf would.
    std::vprintf(format, args);
    va_end(args);
    ++pendingMore;
    return;
  }
  char line[512];
  const int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n < 0) return;
  if (static_cast<std::size_t>(n) < sizeof line) {
    std::fputs(line, stdout);
  } else {
    // Longer than the buffer: printed in full all the same.
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
  }
  std::string kept(line);
  if (!kept.empty() && kept.back() == '\n') kept.pop_back();
  pendingLines.push_back(std::move(kept));
}

const std::vector<TestResult>& verdictTests() { return tests; }

int failedVerdicts() {
  int n = 0;
  for (const TestResult& t : tests) n += t.outcome == TestOutcome::Failed;
  return n;
}

void verdictsReset() {
  tests.clear();
  pendingLines.clear();
  pendingMore = 0;
  lastVerdict = std::chrono::steady_clock::now();
  verdictModule = ModuleIdentity{};
}

int verdictStatus() {
  int passed = 0, notRun = 0;
  for (const TestResult& t : tests) {
    if (t.outcome == TestOutcome::Failed) return RUN_FAILED;
    passed += t.outcome == TestOutcome::Passed;
    notRun += t.outcome == TestOutcome::NotRun;
  }
  if (passed == 0) return RUN_UNTESTED;
  return notRun > 0 ? RUN_INCOMPLETE : RUN_PASSED;
}

std::string verdictSummaryHead(const char* program) {
  int passed = 0, failed = 0;
  std::string notRun;
  int notRunCount = 0;
  for (const TestResult& t : tests) {
    if (t.outcome == TestOutcome::Passed) ++passed;
    if (t.outcome == TestOutcome::Failed) ++failed;
    if (t.outcome == TestOutcome::NotRun) {
      notRun += (notRunCount++ == 0 ? "" : " ") + t.name;
    }
  }
  char text[160];
  std::snprintf(text, sizeof text, "%s: %zu tests, %d passed, %d failed, %d not run", program,
                tests.size(), passed, failed, notRunCount);
  std::string line = text;
  if (notRunCount > 0) line += " (" + notRun + ")";
  if (verdictModule.known) {
    std::snprintf(text, sizeof text, "; module serial %02X firmware %X", verdictModule.serial,
                  verdictModule.firmware);
    line += text;
  }
  return line;
}

std::string verdictSummary(const char* program) {
  return verdictSummaryHead(program) + ": " + outcomeWord(outcomeOf(verdictStatus()));
}

int endVerdictRun(const char* program) { return endRun(verdictStatus(), verdictSummaryHead(program)); }
