// qemtest start-up, the test runner and the fixed order of the tests.
#include <cstdio>

#include "foundation/console.h"
#include "foundation/exit_status.h"
#include "foundation/verdicts.h"
#include "foundation/waves.h"
#include "foundation/vme_window.h"
#include "qemtest.h"

int debugLevel = 0;
std::array<std::int32_t, QEM_RAM_WORDS> testRecord{};
int sinkNext = NO_VALUE;

namespace {

constexpr int kPromptSize = 100;

// The program's own state back to its start values.
void startAfresh() {
  debugLevel = 0;
  testRecord.fill(0);
  sinkNext = NO_VALUE;
  resetRegisterTables();
  harnessReset();
  qemVersion = 0;
  qemOldFirmware = 0;
}

void setUp() {
  std::uint32_t level = 0;
  askHex(kAskDebugLevel.prompt, static_cast<std::uint32_t>(debugLevel), &level);
  debugLevel = static_cast<int>(level);
  // The widths of the types the module's D32, D16 and D8 accesses use.
  std::printf("long %d  int %d  short %d  char %d  bytes\n",
              static_cast<int>(sizeof(std::int32_t)), static_cast<int>(sizeof(int)),
              static_cast<int>(sizeof(std::int16_t)), static_cast<int>(sizeof(std::int8_t)));
}

void runSequence() {
  runTest("RST", rstTest, 3);
  runTest("CLK", clkTest, 1);
  regTest();
  seqTest(ramTest() > 0);
  // BCID, SER and CMD check their first L1A against the next L1ID that the
  // L1ID test sets up and each of them carries on; the L1As the SEQ test
  // plays unchecked leave none.  Without an L1ID loop none of the three has
  // an expectation to start from.
  const char* noNextL1ID = runTest("L1ID", l1idTest, 3) > 0 ? nullptr : "the L1ID test ran no loop";
  runTest("BCID", bcidTest, 3, noNextL1ID);
  runTest("SER", serTest, 3, noNextL1ID);
  runTest("CMD", cmdTest, 3, noNextL1ID);
  runTest("BRST", brstTest, 3);
  seqAllTest();
}

}  // namespace

int runTest(const char* name, TestBody body, int defaultLoops, const char* missing) {
  wavesStep(name);
  char prompt[kPromptSize];
  std::snprintf(prompt, sizeof prompt, "%s%s", name, kAskTestLoops.prompt + 4);
  std::uint32_t answer = 0;
  askHex(prompt, static_cast<std::uint32_t>(defaultLoops), &answer);
  // A count is a signed int, as in the tests that ask their own: a negative
  // answer ("-2") runs no loop.
  const int loops = static_cast<int>(answer);
  if (loops > 0 && missing != nullptr) {
    reportNotRun(name, missing);
    return 0;
  }
  int errors = 0;
  for (int i = 0; i < loops; ++i) errors += body(i);
  reportTest(name, errors, loops);
  return loops > 0 ? loops : 0;
}

int qemtestRun() {
  startAfresh();
  const VmePtr base = vmeSelect(QEMTEST_WINDOW);
  if (base.isNull()) {
    std::printf("Error opening VME window\n");
  } else {
    setUp();
    qemMapRegisters(base);
    seqRAM = base + QEM_RAM_OFFSET;
    VReset(3);
    noteModule(qemReadSerial());
    qemCheckStandaloneClock();
    qemCheckTTC();
    runSequence();
  }
  const int status = endVerdictRun("qemtest");
  vmeClose();
  std::fflush(stdout);
  return status;
}
