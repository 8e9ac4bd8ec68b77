// The QEM module's register map and its register-level operations: serial
// number and firmware version, the L1ID layout, TTC enables, reset, waits and
// the clock and TTCrx checks.  Every register is one D16 word.
#pragma once

#include <cstdint>

#include "buslib/vme_ptr.h"
#include "qemlib/qem_settings.h"
#include "regmap/qem.h"

// The register map is regmap/qem.h; these are the names the programs use.
namespace qemreg = regmap::qem;
inline constexpr int QEM_REGISTER_COUNT = qemreg::kRegisterCount;
inline constexpr std::uint32_t QEM_RAM_OFFSET = qemreg::kRamOffset;
inline constexpr int QEM_RAM_WORDS = static_cast<int>(qemreg::kRamWords);

// reg_status bits.
inline constexpr std::uint16_t STATUS_CMD_BUSY = regmap::bits(qemreg::status::kCmdBusy);
inline constexpr std::uint16_t STATUS_BURST = regmap::bits(qemreg::status::kBurst);
inline constexpr std::uint16_t STATUS_SEQ_BUSY = regmap::bits(qemreg::status::kSeqBusy);
inline constexpr std::uint16_t STATUS_TTC_CLOCK = regmap::bits(qemreg::status::kTtcClock);
inline constexpr std::uint16_t STATUS_SA_CLOCK = regmap::bits(qemreg::status::kSaClock);
// reg_TTCcmd bits.
inline constexpr std::uint16_t TTCCMD_READY = regmap::bits(qemreg::ttccmd::kReady);

// Register "pointers": read with .get(), written with .set(v).  Valid from
// qemMapRegisters until the window is closed.
extern VmePtr qemBase;
extern VmePtr reg_enables, reg_command, reg_burst, reg_x06, reg_x08, reg_delays, reg_status,
    reg_x0E, reg_L1lo, reg_L1hi, reg_BCid, reg_TTid, reg_enTTC, reg_seqControl, reg_seqLast,
    reg_x1E, reg_x20, reg_x22, reg_x24, reg_ttcdat, reg_x28, reg_BCin, reg_I2C, reg_TTCcmd,
    reg_output, reg_serial;

// Firmware version (high byte of reg_serial) and the old-firmware flag
// (version below 9).  Both stay 0 until qemReadSerial.
extern int qemVersion;
extern int qemOldFirmware;

// Computes the 26 register addresses from the module's mapped base.
void qemMapRegisters(VmePtr base);
// Reads reg_serial once, prints serial number and version, sets qemVersion
// and qemOldFirmware; returns the raw word.
int qemReadSerial();
// The 24-bit L1ID from the two counter words: version 9 and later use
// (hi & 0xFF) << 16 | lo, older firmware (and version 0) (hi & 0xFFF) << 12 |
// (lo & 0xFFF).
int qemL1ID(int lo, int hi);
// The L1ID with the layout of firmware 8 and lower, whatever the version.
int qemL1IDOld(int lo, int hi);
// Reads reg_L1lo, then reg_L1hi, and composes the L1ID.
int qemReadL1ID();

void qemEnableTTC();
void qemDisableTTC();
// Resets the module (kind 3 and 2 print a line, 1 nothing) and waits, bounded,
// for TTCrx ready and the TTC clock.
void VReset(int kind);
// Waits, at most 1000 status reads, for the sequencer to be idle.
void qemWait_seqBusys();
// Waits for (register & mask) == value, with a progress line every 0x400000
// polls, for states a healthy module reaches by itself.  A module that is
// absent or misread never does: after WAIT_STATE_LIMIT polls the wait ends
// with a TIMEOUT line naming the register (name) and the value read, and
// returns 1; else 0.
inline constexpr long WAIT_STATE_LIMIT = 0x1000000;
int wait_state(VmePtr reg, int mask, int value, const char* name);
// At most 0x10000 reads; 1 if the state was not seen, else 0.
int wait_stateBounded(VmePtr reg, int mask, int value);
// 1 (and a CLOCK FAILURE line) when the stand-alone clock is off, else 0.
int qemCheckStandaloneClock();
// 0 when the TTCrx is ready, else 1 with a warning.
int qemCheckTTC();
