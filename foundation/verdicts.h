// The verdicts of a run, counted in one place for every program that has
// them: the verdict line of each test, its error lines, the summary line and
// the run's exit status.
#pragma once

#include <string>
#include <vector>

enum class TestOutcome { Passed, Failed, NotRun };

// Error lines kept per test; the rest are only counted.
inline constexpr int kKeptErrorLines = 50;

struct TestResult {
  std::string name;
  long loops = 0;
  int errors = 0;
  TestOutcome outcome = TestOutcome::NotRun;
  std::vector<std::string> lines;  // the first kKeptErrorLines error lines
  long moreLines = 0;              // error lines past those
  double seconds = 0;              // since the verdict before
  std::string reason;              // why a test did not run; empty: no loop
};

// "NAME test: Pass" or "NAME test: Fail -- 0x.. (..) errors".  A failed
// verdict is a failure whatever the loops; a pass of a test that did not
// run (ran false) counts as not run, the line staying as it is.
void reportVerdict(const char* name, int errors, long loops, bool ran);
inline void reportVerdict(const char* name, int errors, long loops) {
  reportVerdict(name, errors, loops, loops > 0);
}
// The same test result without the verdict line (the soak's counts).
void noteTest(const char* name, int errors, long loops, bool ran);
// A test skipped with a note line of its own instead of a verdict.
inline void noteNotRun(const char* name) { noteTest(name, 0, 0, false); }
// A test not run because what it needs was not there: "NAME test: not run:
// REASON", counted as not run (the reason goes to the records).
void reportNotRun(const char* name, const char* reason);

// printf to standard output, the line kept for the next verdict.
void printErrorLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The module as the program read it, for the summary and the record.
struct ModuleIdentity {
  bool known = false;
  int serial = 0;
  int firmware = 0;
};
extern ModuleIdentity verdictModule;
// The module read from its serial word (serial number low byte, firmware
// high byte), for the summary and the record.
void noteModule(int serialWord);

const std::vector<TestResult>& verdictTests();
int failedVerdicts();
// Back to an empty run.
void verdictsReset();

// RUN_FAILED for a failed verdict, RUN_UNTESTED when no test ran,
// RUN_INCOMPLETE when one did not, else RUN_PASSED.
int verdictStatus();
// "PROGRAM: 11 tests, 10 passed, 0 failed, 1 not run (RAM); module serial
// 01 firmware 9", the module part when it was read: the summary line
// before the outcome the run's end gives it.
std::string verdictSummaryHead(const char* program);
// The same with ": " and the word of verdictStatus().
std::string verdictSummary(const char* program);
// The run's end from the verdicts, with the summary line; returns the status.
int endVerdictRun(const char* program);
