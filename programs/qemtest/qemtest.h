// qemtest: the production test of one QEM module.  Start-up, the test
// runner, the eleven tests and the command and sink steps they are built of.
#pragma once

#include <array>
#include <cstdint>

#include "foundation/usage.h"
#include "qemlib/qem_harness.h"
#include "qemlib/qem_registers.h"
#include "qemlib/qem_scan.h"

// The module window: registers from offset 0, the sequencer RAM at 0x8000.
inline constexpr std::uint32_t QEMTEST_WINDOW = regmap::qem::kWindow;

// Debug level asked at start-up: above 0 the REG masks and the SER/BRST
// dumps, above 1 the RAM words before RAM and SEQ, above 2 every step.
extern int debugLevel;
// Shared by REG, RAM, SEQ, SEQall and the sink checks: the record of the
// write/read-back tests and the expected image of the sink runs.
extern std::array<std::int32_t, QEM_RAM_WORDS> testRecord;
// The L1ID the next sink recording must carry; NO_VALUE skips the check.
extern int sinkNext;

// The three register tables, one entry per register in offset order.  The
// RST test adapts them to the module it finds; the changes stay for the run.
using RegisterTable = std::array<std::uint16_t, QEM_REGISTER_COUNT>;
extern RegisterTable regResetValues;
extern RegisterTable regResetMasks;
extern RegisterTable regTestMasks;
// Back to the firmware-9 values.
void resetRegisterTables();

// Words 0..count-1 of testRecord and of the sequencer RAM to 0; word k of
// both to a value.
void clearSeqWords(int count);
void setSeqWord(int k, int value);

// A test body: loop index in, error count out.
using TestBody = int (*)(int loop);
// Asks NAME's loop count, runs the body that many times, prints the verdict
// and returns the loops run.  With missing (why an input the test needs from
// an earlier one is not there) a test asked for loops is not run: its line
// says so and it returns 0.
int runTest(const char* name, TestBody body, int defaultLoops, const char* missing = nullptr);

// One command issued by a register write and the counters checked after it.
int test_cmdbit(int cmdmask, int outmask);
// One command played by the sequencer 18 words after a BCR.
int test_seqcmd(int mask);
// One command recorded by the sink; the serial trains decoded and compared.
int sinkCheck(int cmdmask, int outmask);
// One burst of n L1As with enables e, command bits c and extra output bits x.
int burstRun(int n, int e, int c, int x);
int walkingBitCheck();
int seqCommandCheck();

// Test bodies run by runTest.
int rstTest(int loop);
int clkTest(int loop);
int l1idTest(int loop);
int bcidTest(int loop);
int serTest(int loop);
int cmdTest(int loop);
int brstTest(int loop);
// Tests that ask their own loop count (SEQall asks none) and report.
void regTest();
// Returns the loops run.
int ramTest();
// ramFilled: the RAM test ran a loop and left the words the SEQ loops play.
void seqTest(bool ramFilled);
void seqAllTest();

// The whole program run, ending with the summary line; returns the exit
// status: RUN_PASSED when every test ran and passed, RUN_FAILED when a
// verdict failed, RUN_INCOMPLETE when a test ran no loop or was not run for
// want of what an earlier one leaves, RUN_UNTESTED when no window could be
// mapped or no test ran.  Every piece of program state starts afresh, so a
// process may call it more than once.
int qemtestRun();

// The questions qemtestRun asks after the address; the loop count's NAME is
// the test's.
inline constexpr Question kAskDebugLevel{"Enter debug level",
                                         "0; 1 to 3 add dumps and step lines"};
inline constexpr Question kAskTestLoops{"NAME test: Enter number of loops",
                                        "RST 3, CLK 1, REG 3, RAM 2, SEQ 2,\n"
                                        "L1ID 3, BCID 3, SER 3, CMD 3, BRST 3\n"
                                        "(SEQall runs once, unasked)"};
