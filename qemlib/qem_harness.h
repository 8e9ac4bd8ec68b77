// The test harness of the module programs: comparisons and verdict lines,
// the L1ID and BCID bookkeeping checks, a random write/read-back test and
// the sequencer play-and-record check.  Every check returns an error count.
#pragma once

#include <cstdint>

#include "buslib/vme_ptr.h"
#include "foundation/verdicts.h"
#include "qemlib/qem_registers.h"
#include "qemlib/qem_scan.h"

// No L1ID read yet in this run.
inline constexpr int ID_UNREAD = static_cast<int>(0xF0000000u);

// Identifier state, for the whole run.
extern int idCurrent;    // L1ID read by the latest checkID
extern int idPrevious;   // L1ID read by the call before
extern int idNext;       // L1ID expected after the next L1A
extern int bcidLast;     // BCID recorded by an earlier checkBCID
extern int harnessSeed;  // seed of the next writeReadCompare

// Back to the start values (tests of the library).
void harnessReset();

// 0 if equal, else "ERROR: %s (%06x, %06x)" and 1.
int checkEqual(const char* label, int actual, int expected);
// L1ID rule for the command flags (SEQ_ bits); flags 0 sets idNext := value.
int checkID(int flags, int value);
// BCID rule: after an L1A it must equal value (unless NO_VALUE), after any
// other command it must be unchanged.
int checkBCID(int flags, int value);
int checkCounters(int flags, int value);
// "NAME test: Pass" or "NAME test: Fail -- 0x.. (..) errors", counted by
// the run's verdicts (foundation/verdicts.h): a pass after no loop is a test
// not run.
void reportTest(const char* name, int errors, long loops);
// Title line, then the first min(count, 16) words.
void printWords(const char* title, const std::uint16_t* words, int count);
void printWords(const char* title, VmePtr words, int count);
void pressReturn();
// Random write/read-back of count D16 words at target; masks[k % maskPeriod]
// selects the bits of word k that are written and compared.
int writeReadCompare(VmePtr target, std::int32_t* record, int count, int loops, int maskPeriod,
                     const std::uint16_t* masks);
#if !defined(QEM_SEQ_FORMS)
// Plays playWords RAM words and compares compareWords words of the RAM with
// expected, which is turned into the recorded form (source byte doubled).
int test_sink(std::int32_t* expected, int compareWords, int playWords);
#endif
