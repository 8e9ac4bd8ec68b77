// The end of a run, decided in one place for every program: the trace and
// standard output written out, the bus asked whether the run can still be
// trusted, then the exit status and the outcome decided once.  The summary
// line, the run records and the exit status all come from that decision.
#pragma once

#include <string>

enum class RunOutcome { Passed, Failed, Incomplete, Untested, Untrusted, Error, Interrupted };

struct RunEnd {
  int status = 2;  // the exit status; none for Interrupted
  RunOutcome outcome = RunOutcome::Untested;
  std::string outputError;  // what the run could not write (standard output, the trace)
  std::string stopLine;     // the line that ended the run before its tests
};

// The outcome of a run's exit status (0, 1, 3, and 2 for untested).
RunOutcome outcomeOf(int status);
// "passed", "failed", "incomplete", "untested", "untrusted", "error" or
// "interrupted", as the records say it.
const char* outcomeName(RunOutcome o);
// The same in capitals, as the summary line ends.
const char* outcomeWord(RunOutcome o);

// Decides the run's end from the status its verdicts give, then prints the
// summary line "HEAD: WORD" (none when head is null).  Called where the
// program prints its summary, before it closes the bus.  Returns the status.
int endRun(int status, const std::string* head = nullptr);
inline int endRun(int status, const std::string& head) { return endRun(status, &head); }
// At the end of main: decides the end unless endRun did (a later failure to
// write can only make it worse), writes the records and returns the status.
int finishRun(int status);
// A soak ended by a fatal signal: the summary "HEAD: INTERRUPTED" and the
// records, then the process dies of sig.
[[noreturn]] void endRunInterrupted(int sig, const std::string& head);
// A run that ends before its tests (a refused setting, record or bus): the
// line on standard error and in the records, status 2.  Returns 2.
int stopBeforeTests(const std::string& line);
