#include "foundation/run_end.h"

#include <csignal>
#include <cstdio>

#include "buslib/bus_trace.h"
#include "foundation/exit_status.h"
#include "foundation/results.h"

namespace {

RunEnd decision;
bool decided = false;

// A failure to write makes the run an error; an untrusted bus stays the
// reason when both happened.
void noteOutput(bool traceOk, bool outOk) {
  if (traceOk && outOk) return;
  std::string what = !traceOk ? vmebus::traceFailure() : "";
  if (!outOk) what += (what.empty() ? "" : "; ") + vmebus::stdoutFailure();
  if (decision.outputError.empty()) decision.outputError = what;
  if (decision.outcome == RunOutcome::Interrupted) return;
  decision.status = RUN_UNTESTED;
  if (decision.outcome != RunOutcome::Untrusted) decision.outcome = RunOutcome::Error;
}

void decide(int status, bool interrupted) {
  decided = true;
  decision = RunEnd{};
  decision.status = status;
  decision.outcome = interrupted ? RunOutcome::Interrupted : outcomeOf(status);
  const bool traceOk = vmebus::flushTrace();
  const bool outOk = vmebus::flushStandardOutput();
  if (!interrupted && !vmebus::runTrusted()) {
    decision.status = RUN_UNTESTED;
    decision.outcome = RunOutcome::Untrusted;
  }
  noteOutput(traceOk, outOk);
}

void printSummary(const std::string* head) {
  if (head == nullptr) return;
  std::printf("%s: %s\n", head->c_str(), outcomeWord(decision.outcome));
  noteOutput(true, vmebus::flushStandardOutput());
}

}  // namespace

RunOutcome outcomeOf(int status) {
  switch (status) {
    case RUN_PASSED: return RunOutcome::Passed;
    case RUN_FAILED: return RunOutcome::Failed;
    case RUN_INCOMPLETE: return RunOutcome::Incomplete;
    default: return RunOutcome::Untested;
  }
}

const char* outcomeName(RunOutcome o) {
  switch (o) {
    case RunOutcome::Passed: return "passed";
    case RunOutcome::Failed: return "failed";
    case RunOutcome::Incomplete: return "incomplete";
    case RunOutcome::Untested: return "untested";
    case RunOutcome::Untrusted: return "untrusted";
    case RunOutcome::Error: return "error";
    case RunOutcome::Interrupted: return "interrupted";
  }
  return "error";
}

const char* outcomeWord(RunOutcome o) {
  switch (o) {
    case RunOutcome::Passed: return "PASSED";
    case RunOutcome::Failed: return "FAILED";
    case RunOutcome::Incomplete: return "INCOMPLETE";
    case RunOutcome::Untested: return "UNTESTED";
    case RunOutcome::Untrusted: return "UNTRUSTED";
    case RunOutcome::Error: return "ERROR";
    case RunOutcome::Interrupted: return "INTERRUPTED";
  }
  return "ERROR";
}

int endRun(int status, const std::string* head) {
  decide(status, false);
  printSummary(head);
  return decision.status;
}

int finishRun(int status) {
  if (!decided) decide(status, false);
  // What was printed after the summary ("VXI done.") and the trace's last
  // lines.
  const bool traceOk = vmebus::writeTraceOut();
  noteOutput(traceOk, vmebus::flushStandardOutput());
  resultsFinish(decision);
  return decision.status;
}

void endRunInterrupted(int sig, const std::string& head) {
  decide(RUN_UNTESTED, true);
  printSummary(&head);
  resultsFinish(decision);
  // The library's handler, where it has one, writes the trace out first.
  std::raise(sig);
  // An ignored signal was not asked for here; end as the signal would.
  std::signal(sig, SIG_DFL);
  std::raise(sig);
  std::_Exit(128 + sig);
}

int stopBeforeTests(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
  decided = true;
  decision = RunEnd{};
  decision.status = RUN_UNTESTED;
  decision.outcome = RunOutcome::Error;
  decision.stopLine = line;
  resultsFinish(decision);
  return RUN_UNTESTED;
}
