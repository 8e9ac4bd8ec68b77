#include "qemlib/qem_registers.h"

#include <cstdio>

#include "foundation/results.h"
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
  reg_enables = base + QEM_ENABLES;
  reg_command = base + QEM_COMMAND;
  reg_burst = base + QEM_BURST;
  reg_x06 = base + QEM_X06;
  reg_x08 = base + QEM_X08;
  reg_delays = base + QEM_DELAYS;
  reg_status = base + QEM_STATUS;
  reg_x0E = base + QEM_X0E;
  reg_L1lo = base + QEM_L1LO;
  reg_L1hi = base + QEM_L1HI;
  reg_BCid = base + QEM_BCID;
  reg_TTid = base + QEM_TTID;
  reg_enTTC = base + QEM_ENTTC;
  reg_seqControl = base + QEM_SEQCONTROL;
  reg_seqLast = base + QEM_SEQLAST;
  reg_x1E = base + QEM_X1E;
  reg_x20 = base + QEM_X20;
  reg_x22 = base + QEM_X22;
  reg_x24 = base + QEM_X24;
  reg_ttcdat = base + QEM_TTCDAT;
  reg_x28 = base + QEM_X28;
  reg_BCin = base + QEM_BCIN;
  reg_I2C = base + QEM_I2C;
  reg_TTCcmd = base + QEM_TTCCMD;
  reg_output = base + QEM_OUTPUT;
  reg_serial = base + QEM_SERIAL;
}

int qemReadSerial() {
  const int word = reg_serial.get();
  qemVersion = word >> 8;
  std::printf("\nQEM Serial No. %2X  Version %2X\n\n", word & 0xFF, word >> 8);
  verdictModule = {true, word & 0xFF, word >> 8};
  resultsChanged();
  qemOldFirmware = qemVersion < 9 ? 1 : 0;
  return word;
}

int qemL1IDOld(int lo, int hi) { return (hi & 0x0FFF) * 0x1000 + (lo & 0x0FFF); }

int qemL1ID(int lo, int hi) {
  if (qemVersion >= 9) return (hi & 0x00FF) * 0x10000 + (lo & 0xFFFF);
  return qemL1IDOld(lo, hi);
}

int qemReadL1ID() {
  const int lo = reg_L1lo.get();
  const int hi = reg_L1hi.get();
  return kQemSeqForms ? qemL1IDOld(lo, hi) : qemL1ID(lo, hi);
}

void qemEnableTTC() {
  reg_command.set(0x1000);
  if (kQemSeqForms) {
    reg_enTTC.set(0x00FF);
    reg_I2C.set(0x0000);
    reg_I2C.set(0x8000);
  } else {
    reg_enTTC.set(0x07FF);
  }
}

void qemDisableTTC() {
  reg_command.set(0);
  reg_enTTC.set(0);
}

void VReset(int kind) {
  reg_command.set(0xFFFF);
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
      std::printf(", TTC Clock Detected, %s", (enTTC & 1) ? "and Enabled" : "but not Enabled");
    std::printf(".\n");
    return 0;
  }
  std::printf("Warning: TTCrx Not Ready. status %04x, enTTC %04x, TTCcmd %04x.\n", status, enTTC,
              ttcCmd);
  if (enTTC & 1) printErrorLine("CLOCK FAILURE: TTC Clock Enabled, but OFF!\n");
  return 1;
}
