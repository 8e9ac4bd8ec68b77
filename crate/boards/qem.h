// The timing and trigger module: 26 D16 registers at 0x00-0x33 and the
// sequencer RAM of 0x4000 words at 0x8000.
//
// Everything runs on the crate's bunch-crossing clock.  Commands, bursts,
// serial trains, sequencer runs and TTC input are events at given BC; the
// board catches up on them when it is accessed (or when the TTC sender
// hands it something), in time order, and keeps no thread.
#pragma once

#include <array>
#include <cstdint>
#include <queue>
#include <vector>

#include "crate/crate.h"
#include "regmap/qem.h"

namespace vmesim {

class QemBoard : public Board {
 public:
  static constexpr std::uint32_t kRamOffset = regmap::qem::kRamOffset;
  static constexpr std::uint32_t kRamWords = regmap::qem::kRamWords;
  static constexpr std::uint32_t kRegBytes = regmap::qem::kRegBytes;
  static constexpr unsigned kOrbit = 3565;

  struct Faults {
    bool clockOff = false;
    bool ttcrxLate = false;
    std::array<std::uint16_t, kRegBytes / 2> stuck0{}, stuck1{};
    std::array<bool, kRegBytes / 2> hasReset{};
    std::array<std::uint16_t, kRegBytes / 2> resetValue{};
    std::vector<std::pair<std::uint32_t, std::uint16_t>> ramStuck0, ramStuck1;
    std::uint32_t ramAliasMask = 0;  // word-index bits that are ignored
    bool l1idNoCarry = false;
    bool bcidNoOffset = false;
    bool serialIdDead = false, serialTtDead = false;
    int serialIdBit = -1;
    std::uint8_t cmdDead = 0;  // command-register pulse bits
    unsigned calDelay = 0;
    bool burstHang = false;
    bool seqHang = false;
    bool sinkDead = false;
    bool i2cHang = false;
    bool ecrImmediate = false;
    bool ttcDataDead = false;
    std::uint8_t bcastDead = 0;  // broadcast bits not decoded
  };

  QemBoard(Crate& crate, unsigned firmware, unsigned serial, const Faults& faults);

  unsigned widths() const override { return kD16; }
  bool read(std::uint32_t offset, Width w, std::uint32_t& value) override;
  bool write(std::uint32_t offset, Width w, std::uint32_t value) override;

  static std::unique_ptr<Board> make(const BoardConfig& config, Crate& crate, std::string& error);

  // TTC input, driven by the TTC sender of the same crate at BC t.
  void ttcClock(bool present) { ttcClock_ = present; }
  void ttcL1A(Bc t);
  void ttcBroadcast(Bc t, std::uint8_t byte);
  // Long-format cycle: to the external data port, or into a TTCrx register.
  void ttcLong(Bc t, bool external, std::uint8_t subaddr, std::uint8_t data);
  // Bunch-counter resets every orbit from BC first on (on = false stops them).
  void ttcPeriodicBcr(bool on, Bc first);

  // TTC link latency from the sender's register write to the module.
  static constexpr Bc kTtcLatency = 3;

 private:
  enum class Kind : std::uint8_t { Issue, CalL1A, TtcL1A, TtcBcast, TtcData, TtcInternal };
  struct Event {
    Bc time;
    std::uint64_t seq;
    Kind kind;
    std::uint8_t a;
    std::uint8_t b;
    bool operator>(const Event& o) const {
      return time != o.time ? time > o.time : seq > o.seq;
    }
  };

  // How a command byte was issued.
  enum Origin : unsigned { kVme = 1, kPlayed = 2, kTtc = 4 };

  void catchUp(Bc now);
  void schedule(Bc t, Kind k, std::uint8_t a = 0, std::uint8_t b = 0);
  void process(const Event& e);
  void issue(Bc t, std::uint8_t bits, unsigned origin);
  void l1a(Bc t, unsigned origin);
  void ecr();
  void startTrain(Bc t, int line, std::uint64_t fields, unsigned width, Bc l1aTime);
  void sink(Bc t, std::uint8_t bits);
  void playWord();
  void burstStep();
  void startBurst(Bc t, bool cal);
  void reset(Bc t);
  void writeCommand(Bc t, std::uint16_t v);
  void writeSeqControl(Bc t, std::uint16_t v);
  void writeI2C(Bc t, std::uint16_t v);
  void finishI2C(Bc now);
  void presetL1(std::uint32_t count);

  std::uint16_t readReg(std::uint32_t offset, Bc now);
  void writeReg(std::uint32_t offset, std::uint16_t v, Bc now);

  unsigned bunch(Bc t) const;
  std::uint32_t cell(std::uint32_t word) const { return (word & (kRamWords - 1)) & ~faults_.ramAliasMask; }
  std::uint16_t ramRead(std::uint32_t word) const;
  bool ttcrxReady(Bc now) const { return ttcClock_ && now >= ttcrxReadyAt_; }
  bool recording(Bc t) const { return recActive_ && t >= recStart_ && t <= recEnd_; }

  Crate& crate_;
  const unsigned firmware_;
  const unsigned serial_;
  const Faults faults_;
  bool oldFirmware() const { return firmware_ < 9; }

  std::vector<std::uint16_t> ram_;
  std::priority_queue<Event, std::vector<Event>, std::greater<Event>> queue_;
  std::uint64_t seq_ = 0;
  Bc caught_ = 0;

  // Plain registers, as written (read-back masks applied on read).
  std::uint16_t enables_ = 0, command_ = 0, burst_ = 0, x06_ = 0, x08_ = 0, delays_ = 0;
  std::uint16_t ttid_ = 0, enTTC_ = 0, seqControl_ = 0, seqLast_ = 0, x1E_ = 0, x28_ = 0;
  std::uint16_t offsetNibble_ = 0, bcidLatch_ = 0, ttcdat_ = 0, bcin_ = 0;
  std::uint16_t ttcEvents_ = 0;  // reg_TTCcmd bits other than TTCrx ready
  std::uint8_t output_ = 0;
  std::array<bool, kRegBytes / 2> resetPending_{};

  // Event counter: 24 bits; ecrPending_ makes the next L1A load 0.
  std::uint32_t count_ = 0;
  bool ecrPending_ = false;
  // Bunch counter: BC of the last BCR (bunch 0 is the BC after it).
  std::int64_t lastBcr_ = -1;

  // Serial lines: first BC at which a new train may start.
  std::array<Bc, 2> lineFree_{};
  Bc cmdBusyUntil_ = 0;
  bool cmdBusy_ = false;

  // Sequencer.
  bool playing_ = false;
  Bc playStart_ = 0;
  std::uint32_t playNext_ = 0, playCount_ = 0;
  bool recArmed_ = false, recActive_ = false;
  Bc recStart_ = 0, recEnd_ = 0;
  bool seqHung_ = false;

  // Burst generator.
  bool burstGen_ = false, burstCal_ = false, burstOn_ = false, burstHung_ = false;
  Bc burstNext_ = 0, burstUntil_ = 0, burstGap_ = 0;
  std::uint32_t burstLeft_ = 0;

  // TTC side.
  bool ttcClock_ = false;
  Bc ttcrxReadyAt_ = 0;
  bool bcrOn_ = false;
  Bc bcrNext_ = 0;
  std::array<std::uint8_t, 32> ttcrx_{};

  // I2C port.
  std::uint16_t i2c_ = 0;
  bool i2cBusy_ = false, i2cHung_ = false;
  int i2cOp_ = -1;  // access in progress, -1 for the port's own start-up
  Bc i2cDone_ = 0;
};

}  // namespace vmesim
