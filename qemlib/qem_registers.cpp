#include "qemlib/qem_registers.h"

#include <cstdio>

#include "foundation/verdicts.h"

VmePtr qemBase;
VmePtr reg_enables, reg_command, reg_burst, reg_x06, reg_x08, reg_delays, reg_status, reg_x0E,
    reg_L1lo, reg_L1hi, reg_BCid, reg_TTid, reg_enTTC, reg_seqControl, reg_seqLast, reg_x1E,
    reg_x20, reg_x22, reg_x24, reg_ttcdat, reg_x28, reg_BCin, reg_I2C, reg_TTCcmd, reg_output,
    reg_serial;

int qemVersion = 0;
int qemOldFirmware = 0;

namespace {

constexpr int kBoundedReads = 0xFFFF;
constexpr long kWaitReport = 0x400000;
constexpr int kSeqBusyLimit = 999;

}  // namespace

void qemMapRegisters(VmePtr base) {
  qemBase = base;
  reg_enables = base + qemreg::kEnables.offset;
  reg_command = base + qemreg::kCommand.offset;
  reg_burst = base + qemreg::kBurst.offset;
  reg_x06 = base + qemreg::kX06.offset;
  reg_x08 = base + qemreg::kX08.offset;
  reg_delays = base + qemreg::kDelays.offset;
  reg_status = base + qemreg::kStatus.offset;
  reg_x0E = base + qemreg::kX0E.offset;
  reg_L1lo = base + qemreg::kL1lo.offset;
  reg_L1hi = base + qemreg::kL1hi.offset;
  reg_BCid = base + qemreg::kBCid.offset;
  reg_TTid = base + qemreg::kTTid.offset;
  reg_enTTC = base + qemreg::kEnTTC.offset;
  reg_seqControl = base + qemreg::kSeqControl.offset;
  reg_seqLast = base + qemreg::kSeqLast.offset;
  reg_x1E = base + qemreg::kX1E.offset;
  reg_x20 = base + qemreg::kX20.offset;
  reg_x22 = base + qemreg::kX22.offset;
  reg_x24 = base + qemreg::kX24.offset;
  reg_ttcdat = base + qemreg::kTtcdat.offset;
  reg_x28 = base + qemreg::kX28.offset;
  reg_BCin = base + qemreg::kBCin.offset;
  reg_I2C = base + qemreg::kI2C.offset;
  reg_TTCcmd = base + qemreg::kTTCcmd.offset;
  reg_output = base + qemreg::kOutput.offset;
  reg_serial = base + qemreg::kSerial.offset;
}

int qemReadSerial() {
  const int word = reg_serial.get();
  qemVersion = word >> 8;
  const int number = static_cast<int>(regmap::fieldEx(word, qemreg::serial::kNumber));
  std::printf("\nQEM Serial No. %2X  Version %2X\n\n", number, word >> 8);
  qemOldFirmware = qemVersion < 9 ? 1 : 0;
  return word;
}

int qemL1IDOld(int lo, int hi) {
  using namespace qemreg::l1;
  return static_cast<int>((regmap::fieldEx(hi, kHiOld) << kLoOld.length) | regmap::fieldEx(lo, kLoOld));
}

int qemL1ID(int lo, int hi) {
  using namespace qemreg::l1;
  if (qemVersion >= 9)
    return static_cast<int>((regmap::fieldEx(hi, kHi) << kLo.length) | regmap::fieldEx(lo, kLo));
  return qemL1IDOld(lo, hi);
}

int qemReadL1ID() {
  const int lo = reg_L1lo.get();
  const int hi = reg_L1hi.get();
  return kQemSeqForms ? qemL1IDOld(lo, hi) : qemL1ID(lo, hi);
}

void qemEnableTTC() {
  reg_command.set(regmap::bits(qemreg::command::kTtcRun));
  if (kQemSeqForms) {
    reg_enTTC.set(qemreg::enttc::kRunSeqForms);
    reg_I2C.set(0);
    reg_I2C.set(regmap::bits(qemreg::i2c::kStart));
  } else {
    reg_enTTC.set(qemreg::enttc::kRun);
  }
}

void qemDisableTTC() {
  reg_command.set(0);
  reg_enTTC.set(0);
}

void VReset(int kind) {
  reg_command.set(qemreg::command::kReset);
  if (kind == 3) std::printf("\n--- QEM VReset ---\n");
  else if (kind == 2) std::printf("VReset\n");
  wait_stateBounded(reg_TTCcmd, TTCCMD_READY, TTCCMD_READY);
  wait_stateBounded(reg_status, STATUS_TTC_CLOCK, STATUS_TTC_CLOCK);
}

void qemWait_seqBusys() {
  int i = 0;
  int status;
  for (;;) {
    status = reg_status.get();
    if ((status & STATUS_SEQ_BUSY) == 0 || i >= kSeqBusyLimit) break;
    ++i;
  }
  if (i >= kSeqBusyLimit) {
    if (kQemSeqForms) std::printf("status %04X i %d\n", status, i);
    else std::printf("qemWait_seqBusys: status %04X i %d\n", status, i);
  }
}

int wait_state(VmePtr reg, int mask, int value, const char* name) {
  long count = 0;
  std::fflush(stdout);
  int read;
  while (((read = reg.get()) & mask) != value) {
    ++count;
    if (count >= WAIT_STATE_LIMIT) {
      std::printf("wait_state: TIMEOUT: %s %04X, mask %04X, value %04X, loops %lX\n", name, read,
                  mask, value, count);
      return 1;
    }
    if (count % kWaitReport == 0) {
      std::printf("wait_state: register %04X\n", reg.get());
      std::fflush(stdout);
    }
  }
  std::printf("wait_state: wait loops %lX\n", count);
  return 0;
}

int wait_stateBounded(VmePtr reg, int mask, int value) {
  if ((reg.get() & mask) == value) return 0;
  for (int i = 0; i < kBoundedReads; ++i)
    if ((reg.get() & mask) == value) return 0;
  return 1;
}

int qemCheckStandaloneClock() {
  const int status = reg_status.get();
  if ((status & STATUS_SA_CLOCK) == 0) {
    printErrorLine("CLOCK FAILURE: Stand-alone clock OFF, status %04X, delays %04X\n", status,
                reg_delays.get());
    return 1;
  }
  return 0;
}

int qemCheckTTC() {
  const int status = reg_status.get();
  const int enTTC = reg_enTTC.get();
  const int ttcCmd = reg_TTCcmd.get();
  if (ttcCmd & TTCCMD_READY) {
    std::printf("TTCrx Ready");
    if (status & STATUS_TTC_CLOCK)
      std::printf(", TTC Clock Detected, %s", regmap::fieldEx(enTTC, qemreg::enttc::kTtcClock) ? "and Enabled" : "but not Enabled");
    std::printf(".\n");
    return 0;
  }
  std::printf("Warning: TTCrx Not Ready. status %04x, enTTC %04x, TTCcmd %04x.\n", status, enTTC,
              ttcCmd);
  if (regmap::fieldEx(enTTC, qemreg::enttc::kTtcClock)) printErrorLine("CLOCK FAILURE: TTC Clock Enabled, but OFF!\n");
  return 1;
}
