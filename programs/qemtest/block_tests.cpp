// The RST, CLK, REG, RAM, SEQ, BRST and SEQall tests: reset values, the
// stand-alone clock, the writable register bits, the sequencer RAM, playing
// and recording, and L1A bursts.
#include <cstdio>

#include "foundation/console.h"
#include "foundation/verdicts.h"
#include "foundation/waves.h"
#include "qemtest.h"

namespace {

namespace q = regmap::qem;

template <typename Column>
constexpr RegisterTable column(Column value) {
  RegisterTable t{};
  for (std::size_t i = 0; i < t.size(); ++i) t[i] = value(q::kRegisters[i]);
  return t;
}

// After-reset values of a firmware-9 module, without the optional TTC bits.
constexpr RegisterTable kResetValues = column([](const q::QemReg& r) { return r.reset; });
// reg_TTCcmd leaves out its event bits, reg_serial is never compared.
constexpr RegisterTable kResetMasks = column([](const q::QemReg& r) -> std::uint16_t {
  if (r.offset == q::kTTCcmd.offset) return q::ttccmd::kSteady;
  return r.offset == q::kSerial.offset ? 0x0000 : 0xFFFF;
});
// The bits that read back what was written; 0 for read-only registers.
constexpr RegisterTable kTestMasks = column([](const q::QemReg& r) { return r.testMask; });

constexpr std::uint16_t kRamMask[1] = {0xFFFF};
constexpr int kSeqPlayWords = 0x2000;
constexpr int kWalkWords = 100;
constexpr int kBurstLength = 7;

int askLoops(const char* prompt, int defaultLoops) {
  std::uint32_t loops = 0;
  askHex(prompt, static_cast<std::uint32_t>(defaultLoops), &loops);
  return static_cast<int>(loops);
}

}  // namespace

RegisterTable regResetValues = kResetValues;
RegisterTable regResetMasks = kResetMasks;
RegisterTable regTestMasks = kTestMasks;

void resetRegisterTables() {
  regResetValues = kResetValues;
  regResetMasks = kResetMasks;
  regTestMasks = kTestMasks;
}

namespace {
// Firmware 8 and lower: a twelve-bit reg_L1lo.
void adaptRegisterMasks() {
  if (qemVersion < 9) regTestMasks[q::index(q::kL1lo)] = q::kL1loOldMask;
}
}  // namespace

int rstTest(int loop) {
  if (qemVersion < 9) {
    adaptRegisterMasks();
    regResetValues[q::index(q::kL1lo)] = 0;
    regResetValues[q::index(q::kL1hi)] = 0;
  }
  if (reg_TTCcmd.get() & TTCCMD_READY) regResetValues[q::index(q::kTTCcmd)] |= TTCCMD_READY;
  if (reg_status.get() & STATUS_TTC_CLOCK) regResetValues[q::index(q::kStatus)] |= STATUS_TTC_CLOCK;
  VReset(1);
  int errors = 0;
  for (int r = 0; r < QEM_REGISTER_COUNT; ++r) {
    const auto i = static_cast<std::size_t>(r);
    const int value = qemBase.read16(q::kRegisters[i].offset);
    if ((value & regResetMasks[i]) != (regResetValues[i] & regResetMasks[i])) {
      std::printf("read %04X, mask %04X, expect %04X, byte %x, loop %d\n", value, regResetMasks[i],
                  regResetValues[i], 2 * r, loop);
      ++errors;
    }
  }
  return errors;
}

int clkTest(int /*loop*/) {
  int errors = 0;
  for (int d = 0; d < 64; ++d) {
    reg_delays.set(regmap::word(q::delays::kClock, static_cast<std::uint32_t>(d)));
    errors += qemCheckStandaloneClock();
  }
  return errors;
}

void regTest() {
  wavesStep("REG");
  // Also when RST ran no loop: a good module with firmware 8 must pass.
  adaptRegisterMasks();
  if (debugLevel > 0) {
    std::printf("Testing %dd registers\n", QEM_REGISTER_COUNT);
    printWords("Register mask contents:", regTestMasks.data(), QEM_REGISTER_COUNT);
    printWords("Register contents:", qemBase, QEM_REGISTER_COUNT);
  }
  const int loops = askLoops("REG test: Enter number of loops", 3);
  reg_command.set(0);
  reg_seqControl.set(q::seqctl::kStop);
  const int errors = writeReadCompare(qemBase, testRecord.data(), QEM_REGISTER_COUNT, loops,
                                      QEM_REGISTER_COUNT, regTestMasks.data());
  reportTest("REG", errors, loops);
}

int ramTest() {
  wavesStep("RAM");
  const int loops = askLoops("RAM test: Enter number of loops", 2);
  if (debugLevel > 1) printWords("RAM contents:", seqRAM, 16);
  reg_seqControl.set(q::seqctl::kStop);
  const int errors = writeReadCompare(seqRAM, testRecord.data(), QEM_RAM_WORDS, loops, 1, kRamMask);
  reportTest("RAM", errors, loops);
  return loops > 0 ? loops : 0;
}

int walkingBitCheck() {
  int errors = 0;
  for (int b = 0; b < 8; ++b) {
    clearSeqWords(kWalkWords);
    setSeqWord(kWalkWords, 1 << b);
    errors += test_sink(testRecord.data(), kWalkWords + 1, kWalkWords);
  }
  return errors;
}

int seqCommandCheck() {
  int errors = checkCounters(0, qemOldFirmware);
  errors += test_seqcmd(SEQ_L1A);
  errors += test_seqcmd(SEQ_L1A);
  errors += test_seqcmd(SEQ_ECR);
  errors += test_seqcmd(SEQ_L1A);
  if (debugLevel > 2) qemRegisterDump(kWalkWords, 1);
  return errors;
}

void seqTest(bool ramFilled) {
  wavesStep("SEQ");
  VReset(2);
  int loops = askLoops("SEQ test: Enter number of loops", 2);
  // The loops play the RAM as the RAM test left it against its record.
  // Without a RAM loop both hold whatever they held: the loops are not run.
  // The walking bits and commands bring their own words and run as with 0
  // loops, and so do the resets, which leave reg_enTTC at 0 for L1ID.
  const bool unfilled = !ramFilled && loops > 0;
  if (unfilled) loops = 0;
  if (debugLevel > 1) printWords("RAM contents:", seqRAM, 16);
  int errors = 0;
  for (int i = 0; i < loops; ++i) {
    VReset(2);
    errors += test_sink(testRecord.data(), QEM_RAM_WORDS, kSeqPlayWords);
  }
  errors += walkingBitCheck();
  errors += seqCommandCheck();
  // Without a loop the walking bits and commands still run, but the test of
  // the whole RAM did not.  A fault they find still fails the test.
  if (unfilled && errors == 0)
    reportNotRun("SEQ", "the RAM test ran no loop");
  else
    reportTest("SEQ", errors, loops);
}

int burstRun(int n, int e, int c, int x) {
  reg_enables.set(static_cast<std::uint16_t>(e));
  reg_burst.set(static_cast<std::uint16_t>(n));
  reg_command.set(regmap::bits(q::command::kBurstArm));
  // Preset the counter to 0xFFFFFF.  The high part is bits 16-23 from
  // firmware 9 on; before, it is bits 12-23 behind an eight-bit port whose
  // bit 7 also sets bits 8-11, so 0xFF fills it too.
  reg_L1lo.set(regmap::bits(q::l1::kLo));
  reg_L1hi.set(regmap::bits(q::l1::kHi));
  qemWait_seqBusys();
  reg_seqLast.set(static_cast<std::uint16_t>(QEM_RAM_WORDS - 1));
  reg_seqControl.set(q::seqctl::kRecord);
  reg_output.set(0);
  reg_command.set(q::command::kBurstMode);
  reg_command.set(static_cast<std::uint16_t>(q::command::kBurstMode | c));
  int errors = 0;
  if (wait_stateBounded(reg_status, STATUS_BURST, 0) != 0) {
    const int status = reg_status.get();
    const int delays = reg_delays.get();
    printErrorLine("BRST: cmd %04x TIMEOUT: reg_status %04x, mask %04x delay %04x.\n", c, status,
                STATUS_BURST, delays);
    ++errors;
  }
  qemWait_seqBusys();
  reg_seqControl.set(0);
  reg_enables.set(0);
  reg_command.set(0);
  errors += checkCounters(0, n - 1);
  errors += checkCounters(x | 0x31, NO_VALUE);
  errors += checkEqual("BRST: output mask", reg_output.get(), x | 0x31);
  if (debugLevel > 0) qemRegisterDump(QEM_RAM_WORDS, 1);
  return errors;
}

int brstTest(int loop) {
  reg_enTTC.set(q::enttc::kSerialTests);
  reg_delays.set(static_cast<std::uint16_t>(loop));
  int errors = burstRun(kBurstLength, regmap::bits(q::enables::kBurst), 0x00, 0x00);
  errors += burstRun(kBurstLength, 0x0000, regmap::bits(q::command::kCAL), SEQ_CAL);
  return errors;
}

void seqAllTest() {
  wavesStep("SEQall");
  // Word 100, one past the played range, is compared too: clear it in both
  // images, since a recording of the whole RAM (BRST) may have left a sink
  // byte there that the record does not know of.
  clearSeqWords(kWalkWords + 1);
  setSeqWord(1, 0xFF);
  reportTest("SEQall", test_sink(testRecord.data(), kWalkWords + 1, kWalkWords), 1);
  reg_seqControl.set(q::seqctl::kIdle);
  reg_seqControl.set(q::seqctl::kEnd);
}
