// The command steps and the L1ID, BCID, SER and CMD tests: trigger commands
// issued by register writes or played by the sequencer, and the counters,
// outputs and serial trains that must follow them.
#include <cstdio>

#include "qemtest.h"

namespace {

namespace q = regmap::qem;

constexpr int kL1IDMask = 0xFFFFFF;
constexpr int kSinkWords = 100;
constexpr int kOrbitWrap = 3563;  // the BCID test's expected BCIDs wrap here
constexpr int kBcidBase = 3580;   // BCR at word 1, L1A at word 19

}  // namespace

void clearSeqWords(int count) {
  for (int k = 0; k < count; ++k) {
    testRecord[static_cast<std::size_t>(k)] = 0;
    seqRAM.write16(2u * static_cast<unsigned>(k), 0);
  }
}

void setSeqWord(int k, int value) {
  testRecord[static_cast<std::size_t>(k)] = value;
  seqRAM.write16(2u * static_cast<unsigned>(k), static_cast<std::uint16_t>(value));
}

int test_cmdbit(int cmdmask, int outmask) {
  reg_output.set(0);
  reg_command.set(0);
  reg_command.set(static_cast<std::uint16_t>(cmdmask));
  int errors = 0;
  if (wait_stateBounded(reg_status, STATUS_CMD_BUSY, 0) != 0) {
    printErrorLine("CMD: wsTIMEOUT: reg_output %02x, mask %02x.\n", reg_output.get(), outmask);
    errors = 1;
  } else {
    errors = checkCounters(outmask, NO_VALUE);
    errors += checkEqual("CMD : output mask", reg_output.get(), outmask);
  }
  if (debugLevel > 2) {
    const int l1id = qemReadL1ID();
    const int bcid = reg_BCid.get();
    std::printf("test_cmdbit: cmdmask %02x, outmask %02X, L1ID %06X, BCid %03X\n", cmdmask, outmask,
                l1id, bcid);
  }
  return errors;
}

int test_seqcmd(int mask) {
  reg_seqControl.set(0);
  if (debugLevel > 2) std::printf("test_seqcmd: mask %02X, L1lo %03X.\n", mask, reg_L1lo.get());
  clearSeqWords(kSinkWords);
  setSeqWord(1, SEQ_BCR);
  setSeqWord(19, mask);
  if (debugLevel > 2) std::printf("test_seqcmd: mask %02X, L1lo %03X.\n", mask, reg_L1lo.get());
  const int errors = test_sink(testRecord.data(), kSinkWords + 1, kSinkWords);
  if (debugLevel > 2) {
    const int lo = reg_L1lo.get();
    std::printf("test_seqcmd: mask %02X, L1lo %03X, BCid %03X.\n", mask, lo, reg_BCid.get());
  }
  return errors;
}

int sinkCheck(int cmdmask, int outmask) {
  reg_seqLast.set(kSinkWords - 1);
  reg_seqControl.set(q::seqctl::kRecord);
  clearSeqWords(kSinkWords);
  int errors = test_cmdbit(cmdmask, outmask);
  const int l1id = qemReadL1ID();
  const int bcid = static_cast<int>(regmap::fieldEx(reg_BCid.get(), q::bcid::kCount));
  const int ttid = reg_TTid.get();
  if (errors == 0) {
    const ScanResult scan = scanSink(kSinkWords, sinkNext);
    errors += checkEqual("SINK: (l1id, scan)", l1id, scan.l1id);
    errors += checkEqual("SINK: (bcid, scan)", bcid, scan.bcid);
    errors += checkEqual("SINK: (ttid, scan)", ttid, scan.ttid);
  }
  // The counter wraps from 0xFFFFFF to 0, and so does the scan's expectation.
  sinkNext = (l1id + 1) & kL1IDMask;
  return errors;
}

int l1idTest(int /*loop*/) {
  int errors = 0;
  if (debugLevel > 2) std::printf("\nDEBUG: Run A - mid roll  over\n");
  checkCounters(0, 0xFFE);
  reg_L1lo.set(0xFFD);
  reg_L1hi.set(0);
  if (debugLevel > 2) std::printf("DEBUG: Starting at l1id %06x.\n", qemReadL1ID());
  for (int i = 0; i < 5; ++i) errors += test_cmdbit(0x02, 0x01);

  if (debugLevel > 2) std::printf("\nRun 2 - full roll over\n");
  checkCounters(0, 0xFFFFFE);
  // 0xFFF in the high part reads 0xFF.. in either counter layout.
  reg_L1hi.set(0xFFF);
  reg_L1lo.set(0xFFFD);
  if (debugLevel > 2) std::printf("Starting at l1id %06x.\n", qemReadL1ID());
  for (int i = 0; i < 5; ++i) errors += test_cmdbit(0x02, 0x01);
  return errors;
}

int bcidTest(int /*loop*/) {
  int errors = 0;
  for (int i = 0; i < 16; ++i) {
    reg_BCid.set(regmap::word(q::bcid::kOffset, static_cast<std::uint32_t>(i)));
    errors += test_seqcmd(SEQ_L1A);
    errors += checkCounters(SEQ_L1A, (kBcidBase - i) % kOrbitWrap);
  }
  return errors;
}

int serTest(int loop) {
  reg_enTTC.set(q::enttc::kSerialTests);
  reg_TTid.set(static_cast<std::uint16_t>(loop));
  int errors = sinkCheck(0x02, 0x31);
  errors += sinkCheck(0x10, 0x39);
  if (debugLevel > 0) qemRegisterDump(kSinkWords, 1);
  return errors;
}

int cmdTest(int /*loop*/) {
  struct Step {
    int cmdmask, outmask;
  };
  static constexpr Step kSteps[] = {
      {0x02, 0x31}, {0x02, 0x31}, {0x02, 0x31}, {0x04, 0x02}, {0x08, 0x04}, {0x20, 0x40},
      {0x40, 0x80}, {0x10, 0x39}, {0x02, 0x31}, {0x02, 0x31}, {0x02, 0x31}, {0x02, 0x31},
      {0x02, 0x31}, {0x02, 0x31}, {0x02, 0x31}, {0x02, 0x31}, {0x02, 0x31}, {0x02, 0x31},
  };
  reg_enTTC.set(q::enttc::kTrainsOn);
  int errors = 0;
  for (const Step& s : kSteps) errors += test_cmdbit(s.cmdmask, s.outmask);
  return errors;
}
