// The trigger register pair and its soak loop: a fixed script of commands
// written to the command register, each answer checked in the status
// register and counted by kind.
#pragma once

#include <cstdint>
#include <string>

#include "buslib/vme_ptr.h"
#include "foundation/profile.h"

// How many times the script runs, and the form of the messages, are the
// profile's soak form; the summary line is named by the program.

// The loop count question of SoakLoops::Asked.
inline constexpr Question kAskSoakLoops{"Enter number of loops ", "0: until Control-C"};

inline constexpr int POLL_LIMIT = 99;

// Command register at the window base, status register one word above.
extern VmePtr trigCmd;
extern VmePtr trigStatus;

// Counted without end: a soak of days at a million errors a second stays
// far inside 64 bits.
extern std::uint64_t caltErrors;
extern std::uint64_t caliErrors;
extern std::uint64_t trigErrors;
extern std::uint64_t otherErrors;
extern std::uint64_t busCount;

void trigSetRegisters(VmePtr base);

// Fails when the low byte of the command or then of the status differs.
void checkTrig(int cmd, int status);
void writeTrig(int cmd, int status);
// Reads the status until a bit of mask is clear or POLL_LIMIT passes are
// counted; returns the count.
int pollStatus(unsigned mask);

void resetStep();
void patternStep(int pattern);
void calibrationStep();
void sequenceStep();
void triggerStep(int bit);
// One pass of the script, ending with the D32 read of both registers.
void soakIteration();

// Zeroes the counters, runs the iterations and prints the report and the
// summary line ("trigsoak: 100 iterations, errors calt 0 cali 0 trig 0 other
// 0: PASSED").  Returns the run's exit status as its end decides it:
// RUN_PASSED when no error was counted, RUN_FAILED when one was,
// RUN_UNTESTED when the operator's input ended before a loop count was
// given.  Control-C, SIGTERM or SIGHUP during the iterations ends them: the
// report, the summary (INTERRUPTED) and the record are written, then the
// process dies of that signal.  A soak longer than 10 s writes a progress line to
// standard error every 10 s.
int runSoak();
