// The QEM module: 26 D16 registers at 0x00-0x32 and the sequencer RAM of
// 0x4000 words at 0x8000.  Reset values are those of firmware 9 without a
// TTC clock or a ready TTCrx.
#pragma once

#include <array>
#include <cstdint>

#include "regmap/fields.h"

namespace regmap::qem {

// readMask: the bits that read back what was written.  testMask: those a
// write/read-back test toggles; it leaves the clock and burst enables alone.
struct QemReg : Reg {
  std::uint16_t testMask;
};

inline constexpr QemReg kEnables{{0x00, 2, 0x0000, 0xFFFF}, 0xFF00};
inline constexpr QemReg kCommand{{0x02, 2, 0x0000, 0x6F00}, 0x6F00};
inline constexpr QemReg kBurst{{0x04, 2, 0x0000, 0xFFFF}, 0xFFFF};
inline constexpr QemReg kX06{{0x06, 2, 0x0000, 0xFFFF}, 0xFFFF};
inline constexpr QemReg kX08{{0x08, 2, 0x0000, 0xFFFF}, 0xFFFF};
inline constexpr QemReg kDelays{{0x0A, 2, 0x0000, 0xFFFF}, 0xFFFF};
inline constexpr QemReg kStatus{{0x0C, 2, 0x2A80, 0x0000}, 0x0000};
inline constexpr QemReg kX0E{{0x0E, 2, 0x4040, 0x0000}, 0x0000};
inline constexpr QemReg kL1lo{{0x10, 2, 0xFFFF, 0xFFFF}, 0xFFFF};
inline constexpr QemReg kL1hi{{0x12, 2, 0x00FF, 0x00FF}, 0x00FF};
inline constexpr QemReg kBCid{{0x14, 2, 0x0000, 0xF000}, 0xF000};
inline constexpr QemReg kTTid{{0x16, 2, 0x0000, 0x03FF}, 0x03FF};
inline constexpr QemReg kEnTTC{{0x18, 2, 0x0000, 0x7FE1}, 0x7FE0};
inline constexpr QemReg kSeqControl{{0x1A, 2, 0x0000, 0xFFF0}, 0xFFF0};
inline constexpr QemReg kSeqLast{{0x1C, 2, 0x0000, 0xFFFF}, 0xFFFF};
inline constexpr QemReg kX1E{{0x1E, 2, 0x0000, 0xFFFF}, 0xFFFF};
inline constexpr QemReg kX20{{0x20, 2, 0x0000, 0x0000}, 0x0000};
inline constexpr QemReg kX22{{0x22, 2, 0x0000, 0x0000}, 0x0000};
inline constexpr QemReg kX24{{0x24, 2, 0x0000, 0x0000}, 0x0000};
inline constexpr QemReg kTtcdat{{0x26, 2, 0x0000, 0x0000}, 0x0000};
inline constexpr QemReg kX28{{0x28, 2, 0x0000, 0x000F}, 0x000F};
inline constexpr QemReg kBCin{{0x2A, 2, 0x0000, 0x0000}, 0x0000};
inline constexpr QemReg kI2C{{0x2C, 2, 0x0000, 0x7FFF}, 0x7FFF};
inline constexpr QemReg kTTCcmd{{0x2E, 2, 0x0000, 0x0000}, 0x0000};
inline constexpr QemReg kOutput{{0x30, 2, 0x0000, 0x0000}, 0x0000};
inline constexpr QemReg kSerial{{0x32, 2, 0x0000, 0x0000}, 0x0000};

// Every register in offset order, one per D16 word.
inline constexpr std::array<QemReg, 26> kRegisters = {
    kEnables, kCommand, kBurst,  kX06, kX08, kDelays, kStatus, kX0E,  kL1lo,
    kL1hi,    kBCid,    kTTid,   kEnTTC, kSeqControl, kSeqLast, kX1E, kX20,
    kX22,     kX24,     kTtcdat, kX28, kBCin, kI2C,   kTTCcmd, kOutput, kSerial,
};
inline constexpr int kRegisterCount = static_cast<int>(kRegisters.size());
inline constexpr std::uint32_t kRegBytes = 2 * kRegisters.size();
constexpr std::size_t index(const Reg& r) { return r.offset / 2; }

inline constexpr std::uint32_t kRamOffset = 0x8000;
inline constexpr std::uint32_t kRamWords = 0x4000;
inline constexpr std::uint32_t kWindow = 0x10000;

// Firmware 8 and lower: twelve-bit counter halves.
inline constexpr std::uint16_t kL1loOldMask = 0x0FFF;

// The command byte bits: of a sequencer byte, of reg_output, of the sink.
namespace cmd {
inline constexpr Field kL1A{0, 1}, kECR{1, 1}, kBCR{2, 1}, kCAL{3, 1};
inline constexpr Field kSerId{4, 1};  // serial L1ID/BCID line
inline constexpr Field kSerTT{5, 1};  // serial trigger-type line
inline constexpr Field kCmd40{6, 1}, kCmd80{7, 1};
}  // namespace cmd

namespace enables {
inline constexpr Field kStandAlone{0, 1};  // stand-alone clock for a run
inline constexpr Field kBurst{1, 1};       // the burst command may start bursts
}  // namespace enables

namespace command {
// Pulses: each issues one command byte bit.
inline constexpr Field kL1A{1, 1}, kECR{2, 1}, kBCR{3, 1}, kCAL{4, 1}, kCmd40{5, 1}, kCmd80{6, 1};
inline constexpr Field kPulses{1, 6};
inline constexpr Field kBurstArm{9, 1};  // with kBurstGo: burst mode
inline constexpr Field kBurstGo{10, 1};  // rising: an L1A burst
inline constexpr Field kTtcRun{12, 1};   // the TTC drives the module
inline constexpr std::uint16_t kReset = 0xFFFF;
inline constexpr std::uint16_t kBurstMode = 0x0600;
}  // namespace command

namespace delays {
inline constexpr Field kCal{0, 8};    // CAL to its L1A: this + kCalBase BC
inline constexpr Field kClock{8, 6};  // the clock test steps through it
inline constexpr unsigned kCalBase = 29;
}  // namespace delays

namespace status {
inline constexpr Field kCmdBusy{2, 1};
inline constexpr Field kBurst{4, 1};
inline constexpr Field kSeqBusy{5, 2};    // both while playing
inline constexpr Field kRecording{6, 1};  // alone while the sink records
inline constexpr Field kTtcClock{8, 1};
inline constexpr Field kSaClock{9, 1};
inline constexpr std::uint16_t kFixed = 0x2880;  // bits that always read 1
}  // namespace status

namespace l1 {
inline constexpr Field kLo{0, 16}, kHi{0, 8};        // firmware 9 and later
inline constexpr Field kLoOld{0, 12}, kHiOld{0, 12};  // firmware 8 and lower
}  // namespace l1

namespace bcid {
inline constexpr Field kCount{0, 12};
inline constexpr Field kOffset{12, 4};  // subtracted from the latched count
}  // namespace bcid

namespace ttid {
inline constexpr Field kType{0, 10};
}

namespace enttc {
inline constexpr Field kTtcClock{0, 1};
inline constexpr Field kTrains{9, 2};  // both set: an L1A sends the serial trains
inline constexpr std::uint16_t kTrainsOn = 0x0600;
inline constexpr std::uint16_t kSerialTests = 0x0700;  // trains, as the SER and BRST tests set them
inline constexpr std::uint16_t kRun = 0x07FF;
inline constexpr std::uint16_t kRunSeqForms = 0x00FF;
}  // namespace enttc

namespace seqctl {
inline constexpr std::uint16_t kStopBits = 0x2200;  // both set: stop play and record
inline constexpr std::uint16_t kPlayBits = 0x400F;  // all set: play
inline constexpr std::uint16_t kRecordBits = 0xC000;  // either: record from the next L1A
// The values the programs write.
inline constexpr std::uint16_t kStop = kStopBits;
inline constexpr std::uint16_t kIdle = 0x0000;
inline constexpr std::uint16_t kPlay = 0x40FF;       // play words 0..seqLast, record the sink
inline constexpr std::uint16_t kRecordTtc = 0x4000;  // the sink records TTC-driven commands
inline constexpr std::uint16_t kRecord = 0x8000;     // the sink records VME commands
inline constexpr std::uint16_t kEnd = 0x4CFF;        // after the SEQall test
}  // namespace seqctl

namespace i2c {
inline constexpr Field kData{0, 8};
inline constexpr Field kReg{8, 5};
inline constexpr Field kRead{13, 1};     // 1 read, 0 write
inline constexpr Field kPrepare{14, 1};  // written alone before each access
inline constexpr Field kStart{15, 1};    // written: start; read: busy
inline constexpr Field kOp{0, 14};       // register, direction and data
inline constexpr std::uint16_t kValue = 0x7FFF;
}  // namespace i2c

namespace ttccmd {
inline constexpr Field kBroadcastByte{0, 8};
inline constexpr Field kL1A{8, 1};
inline constexpr Field kBroadcast{9, 2};  // strobes of a broadcast
inline constexpr Field kData{11, 1};      // a data cycle to the external port
inline constexpr Field kReady{14, 1};     // TTCrx ready
// Compared without the broadcast strobes and bit 0.
inline constexpr std::uint16_t kSteady = 0xF9FE;
}  // namespace ttccmd

namespace serial {
inline constexpr Field kNumber{0, 8}, kVersion{8, 8};
}

}  // namespace regmap::qem
