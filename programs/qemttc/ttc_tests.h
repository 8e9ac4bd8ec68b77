// The TTC path test of the QEM module: a TTCvi in the same crate sends
// broadcasts, data cycles and L1As over the TTC link; the module's TTCrx
// must turn them into the right counters, registers, outputs and serial
// trains.  The TTCrx's own registers are reached through reg_I2C.
#pragma once

#include <array>
#include <cstdint>

#include "buslib/vme_ptr.h"
#include "foundation/usage.h"
#include "regmap/qem.h"
#include "regmap/ttcvi.h"

// The TTCvi's registers are regmap/ttcvi.h.
inline constexpr std::uint32_t TTCVI_WINDOW = regmap::ttcvi::kSize;
inline constexpr std::uint32_t TTCVI_DEFAULT_BASE = 0xBAD000;

// The module's register window and the sequencer RAM, mapped on its own at a
// fixed A24 address whatever address the module was given.
inline constexpr std::uint32_t QEM_TTC_WINDOW = 0x800;
inline constexpr std::uint32_t QEM_TTC_RAM_BASE = 0xF08000;
inline constexpr std::uint32_t QEM_TTC_RAM_WINDOW = 0x8000;

// reg_I2C operations.
inline constexpr int I2C_WRITE = 0x0000;
inline constexpr int I2C_READ = regmap::bits(regmap::qem::i2c::kRead);
inline constexpr int I2C_POLL_LIMIT = 0xFFFF;

inline constexpr int TTC_ORBIT = 3565;
inline constexpr int TTC_LATENCY = 5;  // TTC L1A to BCin latch, a current TTCrx

// One broadcast bit: the byte sent, what reg_output must show and the flags
// given to the identifier checks (0x80: the module must issue nothing).
struct TtcCmdRow {
  int byte;
  int output;
  int flags;
};
inline constexpr std::array<TtcCmdRow, 8> kTtcCmds = {{
    {0x21, 0x04, 0x04},  // BCR
    {0x22, 0x02, 0x02},  // ECR
    {0x24, 0x40, 0x40},
    {0x28, 0x00, 0x80},
    {0x30, 0x00, 0x80},
    {0x20, 0x00, 0x80},
    {0x60, 0x08, 0x08},  // CAL, without an L1A
    {0xA0, 0x00, 0x80},
}};

// Program state.
extern VmePtr ttcvi;      // the TTCvi window
extern int debugLevel;    // >1 register lines per step, >3 SER dumps
extern int ttcrxOld;      // TTCrx not ready right after reset: one BC more latency
extern int nextTTCcount;  // TTCvi event count expected after the next TTC step

// Back to the start values (tests).
void ttcReset();

// The TTCvi's 24-bit event counter.
int ttcEventCount();
// A long-format cycle: high word, then low word (which sends it).
void ttcLongCycle(int high, int low);

// One TTCrx register through reg_I2C.  operation is I2C_WRITE or I2C_READ;
// data holds the byte to write and receives the byte the port shows.
// 0 when the access completed, 1 after I2C_POLL_LIMIT busy polls.
int ttcI2C(int operation, int reg, int* data);

// The steps; each returns its error count.
int ttcStep();
int typeStep();
int cmdsStep();
int serStep();

// The tests of the sequence; each asks its loop count and prints its verdict.
void regTest(int errors);
void ttcTest();
void serTest();
void i2cTest();

// Resets and sets up the module, runs the test sequence, resets again.
// False, before any test, when the module never showed its I2C port idle or
// its TTCrx ready.
bool ttcSetup();
void ttcSequence();

// The whole run on the three windows.  A window that is not mapped is named
// and the tests are skipped; nothing is then read or written.  False when
// the tests could not run: a window, or the set-up's waits.
bool qemttcRun(VmePtr ttcviWindow, VmePtr module, VmePtr ram);

// The questions qemttcRun asks after the windows; the loop count's NAME is
// the test's.
inline constexpr Question kAskTtcDebugLevel{"Enter debug level", "0"};
inline constexpr Question kAskTtcLoops{"NAME test: Enter number of loops",
                                       "REG 1, TTC 1, SER 1, I2C 1"};
