#include "ttc_tests.h"

#include <cstdio>

#include "foundation/console.h"
#include "foundation/verdicts.h"
#include "foundation/waves.h"
#include "qemlib/qem_harness.h"
#include "qemlib/qem_registers.h"
#include "qemlib/qem_scan.h"

VmePtr ttcvi;
int debugLevel = 0;
int ttcrxOld = 0;
int nextTTCcount = 1;

namespace {

namespace q = regmap::qem;
namespace t = regmap::ttcvi;
using regmap::bits;

constexpr int kCountMask = 0xFFFFFF;
constexpr int kBcidMask = bits(q::bcid::kCount);
constexpr int kTTidMask = bits(q::ttid::kType);
constexpr int kTTCcmdMask = q::ttccmd::kSteady;  // leaves out the broadcast strobes and bit 0
// Ready and both broadcast strobes.
constexpr int kTTCcmdBroadcast = bits(q::ttccmd::kReady) | bits(q::ttccmd::kBroadcast);
// Ready, data cycle and L1A seen.
constexpr int kTTCcmdL1A = bits(q::ttccmd::kReady) | bits(q::ttccmd::kData) | bits(q::ttccmd::kL1A);
constexpr int kTTCcmdData = bits(q::ttccmd::kReady) | bits(q::ttccmd::kData);  // ready and data cycle seen
constexpr int kTypeByte = 0xDA;
constexpr int kLongData = t::longhi::kToData;    // long format to the external data port
constexpr int kLongTTCrx = t::longhi::kToTTCrx;  // long format to the TTCrx's own registers
constexpr int kTTCrxReg3 = 0x03E3;   // 0xE3 into TTCrx register 3
constexpr int kI2CStart = bits(q::i2c::kStart);
constexpr int kI2CPrepare = bits(q::i2c::kPrepare);
constexpr int kI2CRegisterBits = bits(q::i2c::kReg) >> q::i2c::kReg.shift;
constexpr int kRecordTTC = q::seqctl::kRecordTtc;  // sink records while the TTC drives the module
constexpr int kSeqStop = q::seqctl::kStop;
constexpr int kReset = q::command::kReset;
// The recordings here are of TTC L1As, which come whenever the TTC sends
// them, also right next to a periodic BCR: the scan takes them as they come.
constexpr int kTtcScan = 1;

void ttcWrite(std::uint32_t offset, int value) {
  ttcvi.write16(offset, static_cast<std::uint16_t>(value));
}
int ttcRead(std::uint32_t offset) { return ttcvi.read16(offset); }

// A loop count is a signed int: a negative answer ("-2") runs no loop.
int askLoops(const char* question) {
  std::uint32_t loops = 1;
  askHex(question, 1, &loops);
  return static_cast<int>(loops);
}

void clearRAM() {
  for (int k = 0; k < SEQ_WORDS; ++k) seqRAM.write16(2u * static_cast<unsigned>(k), 0);
}

void startRecording() {
  reg_seqLast.set(SEQ_WORDS - 1);
  reg_seqControl.set(kSeqStop);
  reg_seqControl.set(q::seqctl::kIdle);
  reg_seqControl.set(kRecordTTC);
}

void printOutputLine() {
  const int output = reg_output.get();
  std::printf("reg_output %04X reg_TTCcmd %04X\n", output, reg_TTCcmd.get());
}

void printCounterLines() {
  const int lo = reg_L1lo.get();
  const int hi = reg_L1hi.get();
  std::printf("L1lo %04X L1hi %04X BCid %03X\n", lo, hi, reg_BCid.get());
  printOutputLine();
}

}  // namespace

void ttcReset() {
  ttcvi = VmePtr();
  debugLevel = 0;
  ttcrxOld = 0;
  nextTTCcount = 1;
}

int ttcEventCount() {
  const int high = ttcRead(t::kCountHi.offset) & bits(t::count::kHi);
  return high * 0x10000 + ttcRead(t::kCountLo.offset);
}

void ttcLongCycle(int high, int low) {
  ttcWrite(t::kLongHi.offset, high);
  ttcWrite(t::kLongLo.offset, low);
}

int ttcI2C(int operation, int reg, int* data) {
  reg_I2C.set(kI2CPrepare);
  reg_I2C.set(static_cast<std::uint16_t>(kI2CStart | kI2CPrepare | operation |
                                         ((reg & kI2CRegisterBits) << 8) | (*data & 0xFF)));
  int i = 0;
  for (; i < I2C_POLL_LIMIT; ++i)
    if ((reg_I2C.get() & kI2CStart) == 0) break;
  *data = reg_I2C.get() & 0xFF;
  std::printf("wait loops %X\n", i);
  if (i >= I2C_POLL_LIMIT) {
    printErrorLine("TIMEOUT: TTCrx %04X i %d\n", reg_I2C.get(), i);
    return 1;
  }
  return 0;
}

int ttcStep() {
  reg_TTCcmd.set(0);
  reg_output.set(0);
  if (debugLevel > 1) {
    std::printf("\nTTC L1id %06X\n", ttcEventCount());
    printCounterLines();
  }
  // The trigger type the L1A will carry.
  ttcLongCycle(kLongData, reg_L1lo.get() & 0xFF);
  ttcWrite(t::kL1A.offset, 0);

  int errors = checkCounters(SEQ_L1A | SEQ_SERID | SEQ_SERTT, NO_VALUE);
  const int count = ttcEventCount();
  errors += checkEqual("TTC : l1id   next", count, nextTTCcount);
  nextTTCcount = (count + 1) & kCountMask;

  const int latency = ttcrxOld ? TTC_LATENCY + 1 : TTC_LATENCY;
  const int bcin = reg_BCin.get() & kBcidMask;
  const int bcid = reg_BCid.get() & kBcidMask;
  errors += checkEqual("TTC : bcin  bcid+", bcin, (bcid + latency) % TTC_ORBIT);
  errors += checkEqual("TTC : output mask", reg_output.get() & ~SEQ_BCR, 0x31);
  errors += checkEqual("TTC : TTCcmd mask", reg_TTCcmd.get() & kTTCcmdMask, kTTCcmdL1A);
  if (debugLevel > 1) {
    std::printf("TTC L1id %06X\n", count);
    printCounterLines();
  }
  return errors;
}

int typeStep() {
  reg_TTCcmd.set(0);
  reg_output.set(0);
  reg_x28.set(0);
  int errors = checkEqual("TYPE: output mask", reg_output.get(), 0);
  ttcLongCycle(kLongData, kTypeByte);
  errors += checkCounters(SEQ_CMD80, NO_VALUE);
  const int count = ttcEventCount();
  errors += checkEqual("TYPE: ttcdat TYPE", reg_ttcdat.get(), kTypeByte);
  errors += checkEqual("TYPE: ttid   TYPE", reg_TTid.get() & kTTidMask, kTypeByte);
  // The REG test runs before any L1A.
  errors += checkEqual("TYPE: l1id   next", count, 0);
  errors += checkEqual("TYPE: output mask", reg_output.get(), SEQ_SERTT);
  errors += checkEqual("TYPE: TTCcmd mask", reg_TTCcmd.get(), kTTCcmdData);
  if (debugLevel > 1) {
    std::printf("TTid %04X\n", reg_TTid.get() & kTTidMask);
    printOutputLine();
  }
  return errors;
}

int cmdsStep() {
  int errors = 0;
  for (const TtcCmdRow& row : kTtcCmds) {
    reg_TTCcmd.set(0);
    reg_output.set(0);
    ttcWrite(t::kShort.offset, row.byte);
    errors += checkCounters(row.flags, NO_VALUE);
    errors += checkEqual("CMDs: l1id   next", ttcEventCount(), 0);
    errors += checkEqual("CMDs: output mask", reg_output.get(), row.output);
    errors += checkEqual("CMDs: TTCcmd mask", reg_TTCcmd.get(), row.byte | kTTCcmdBroadcast);
    if (debugLevel > 1) printOutputLine();
  }
  return errors;
}

int serStep() {
  clearRAM();
  startRecording();
  int errors = ttcStep();
  const int l1id = qemReadL1ID();
  const int bcid = reg_BCid.get() & kBcidMask;
  const int ttid = reg_TTid.get() & kTTidMask;
  const ScanResult r = scanSink(SEQ_WORDS, l1id, kTtcScan);
  errors += r.errors;
  errors += checkEqual("SINK: l1id   scan", l1id, r.l1id);
  errors += checkEqual("SINK: bcid   scan", bcid, r.bcid);
  errors += checkEqual("SINK: ttid   scan", ttid, r.ttid);
  return errors;
}

void regTest(int errors) {
  wavesStep("REG");
  const int loops = askLoops("REG test: Enter number of loops");
  ttcLongCycle(kLongTTCrx, kTTCrxReg3);
  for (int i = 0; i < loops; ++i) {
    errors += cmdsStep();
    errors += typeStep();
  }
  reportTest("REG", errors, loops);
}

void ttcTest() {
  wavesStep("TTC");
  ttcWrite(t::kXB2.offset, 0x0080);
  ttcWrite(t::kBgo0Mode.offset, 0x000D);
  const int loops = askLoops("TTC test: Enter number of loops");
  int errors = 0;
  // The first L1A after a reset or an ECR: 0, or 1 with firmware 8 and lower.
  checkCounters(0, qemOldFirmware);
  // Two BCRs, so that the periodic BCRs are running before recording.  A
  // module that shows none fails the test; waiting again would show nothing.
  for (int i = 0; i < 2; ++i) {
    reg_output.set(0);
    if (wait_state(reg_output, SEQ_BCR, SEQ_BCR, "reg_output") != 0) {
      ++errors;
      break;
    }
  }
  startRecording();
  for (int i = 0; i < loops; ++i) errors += ttcStep();
  // The scan's own errors are shown, not counted.
  qemRegisterDump(SEQ_WORDS, 1, kTtcScan);
  reportTest("TTC", errors, loops);
}

void serTest() {
  wavesStep("SER");
  const int loops = askLoops("SER test: Enter number of loops");
  int errors = 0;
  for (int i = 0; i < loops; ++i) {
    errors += serStep();
    if (debugLevel > 3) qemRegisterDump(SEQ_WORDS, 1, kTtcScan);
  }
  reportTest("SER", errors, loops);
}

namespace {
int i2cReadBack(int reg) {
  int data = -1;
  int errors = ttcI2C(I2C_READ, reg, &data);
  if (data != reg) {
    ++errors;
    printErrorLine("I2C read %04X write %04X addr %04X\n", static_cast<unsigned>(data), reg, reg);
  }
  return errors;
}
}  // namespace

void i2cTest() {
  wavesStep("I2C");
  const int loops = askLoops("I2C test: Enter number of loops");
  int errors = 0;
  for (int i = 0; i < loops; ++i) {
    for (int r = 0; r <= 1; ++r) {
      int data = r;
      errors += ttcI2C(I2C_WRITE, r, &data);
      errors += i2cReadBack(r);
    }
    for (int r = 0; r <= 1; ++r) errors += i2cReadBack(r);
  }
  reportTest("I2C", errors, loops);
}

namespace {
// CSR1, then CSR2: one read each, in that order.
void printCsrs() {
  const int csr1 = ttcRead(t::kCsr1.offset);
  const int csr2 = ttcRead(t::kCsr2.offset);
  std::printf("TTC CSR1 %04X CSR2 %04X\n", csr1, csr2);
}
}  // namespace

void ttcSequence() {
  printCsrs();
  ttcWrite(t::kCountReset.offset, 0);
  ttcWrite(t::kCsr1.offset, 0x000C);
  ttcWrite(t::kCsr2.offset, 0xFE00);
  printCsrs();

  int data = -1;
  ttcI2C(I2C_READ, 3, &data);
  std::printf("I2C read %04X\n", static_cast<unsigned>(data));

  ttcWrite(t::kX92.offset, 0);
  ttcWrite(t::kX94.offset, 0x008E);

  // The recording marks: words 0 and 9.
  clearRAM();
  seqRAM.write16(0, 0x8000);
  seqRAM.write16(2 * 9, 0x8000);

  const int errors = qemCheckTTC();
  reg_BCid.set(regmap::word(q::bcid::kOffset, 5));
  regTest(errors);
  ttcTest();
  serTest();
  i2cTest();
}

bool ttcSetup() {
  for (int i = 0; i < t::kRomWords; ++i)
    std::printf("TTCvi ROM %04X\n", ttcRead(t::kRom.offset + 2u * static_cast<unsigned>(i)));
  std::uint32_t level = static_cast<std::uint32_t>(debugLevel);
  askHex(kAskTtcDebugLevel.prompt, level, &level);
  debugLevel = static_cast<int>(level);

  noteModule(qemReadSerial());
  reg_command.set(kReset);
  // A module that never gets there is absent or misread: nothing to test.
  if (wait_state(reg_I2C, kI2CStart, 0, "reg_I2C") != 0) return false;
  if ((reg_TTCcmd.get() & TTCCMD_READY) == 0) {
    ttcrxOld = 1;
    std::printf("TTCrx is old ???\n");
  }
  if (wait_state(reg_TTCcmd, TTCCMD_READY, TTCCMD_READY, "reg_TTCcmd") != 0) return false;
  // After the reset the first L1A gives 0, or 1 with firmware 8 and lower.
  checkCounters(0, qemOldFirmware);
  qemEnableTTC();
  ttcSequence();
  reg_command.set(kReset);
  return true;
}

bool qemttcRun(VmePtr ttcviWindow, VmePtr module, VmePtr ram) {
  bool usable = true;
  if (module.isNull()) {
    std::printf("Error opening VME window\n");
    usable = false;
  }
  if (ttcviWindow.isNull()) {
    std::printf("Error opening TTCvi window: TTC tests skipped\n");
    usable = false;
  }
  if (ram.isNull()) {
    std::printf("Error opening sequencer RAM window: TTC tests skipped\n");
    usable = false;
  }
  if (!usable) return false;
  ttcvi = ttcviWindow;
  seqRAM = ram;
  qemMapRegisters(module);
  return ttcSetup();
}
