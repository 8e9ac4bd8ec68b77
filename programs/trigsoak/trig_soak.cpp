#include "trig_soak.h"

#include <chrono>
#include <csignal>
#include <cstdio>

#include "foundation/console.h"
#include "foundation/exit_status.h"
#include "foundation/results.h"
#include "foundation/run_end.h"
#include "foundation/verdicts.h"
#include "platform/platform.h"
#include "regmap/trigger.h"

VmePtr trigCmd;
VmePtr trigStatus;

std::uint64_t caltErrors = 0;
std::uint64_t caliErrors = 0;
std::uint64_t trigErrors = 0;
std::uint64_t otherErrors = 0;
std::uint64_t busCount = 0;

namespace {

namespace tr = regmap::trigger;

constexpr int CMD_IDLE = tr::cmd::kIdle;
constexpr int CMD_RESET = tr::cmd::kReset;
constexpr int CMD_CALIBRATE = tr::cmd::kCalibrate;
constexpr unsigned STATUS_CAL_BUSY = tr::status::kCalBusy;
constexpr unsigned STATUS_DONE = tr::status::kDone;
constexpr int STATUS_CAL_STARTED = tr::status::kCalStarted;

int lowByte(std::uint16_t v) { return v & 0xFF; }

void writeCommand(int cmd) {
  const int v = profile().soak.lowByteWrites ? (cmd & 0xFF) : cmd;
  trigCmd.set(static_cast<std::uint16_t>(v));
}

// The third number of these messages is always 0; some builds print it as a long.
void reportCalt(unsigned cmd, unsigned status, int polls) {
  if (profile().soak.longThird)
    printErrorLine("error calt %x %x %li %i\n", cmd, status, 0L, polls);
  else
    printErrorLine("error calt %x %x %i %i\n", cmd, status, 0, polls);
}

void reportCali(unsigned cmd, unsigned status) {
  if (profile().soak.longThird)
    printErrorLine("error cali %x %x %li\n", cmd, status, 0L);
  else
    printErrorLine("error cali %x %x %i\n", cmd, status, 0);
}

void reportTrig(unsigned cmd, unsigned status) {
  if (profile().soak.longThird)
    printErrorLine("error trig %x %x %li\n", cmd, status, 0L);
  else
    printErrorLine("error trig %x %x %i\n", cmd, status, 0);
}

// The signal that ended the iterations, or 0.
volatile std::sig_atomic_t soakStopped = 0;
extern "C" void onSoakInterrupt(int sig) { soakStopped = sig; }

// Control-C, SIGTERM and SIGHUP end the iterations instead of the process,
// so that the counts at that moment are printed and recorded; a signal the
// caller ignored stays ignored.
void soakInterruptOn() { platform::catchStopSignals(onSoakInterrupt); }

void soakInterruptOff() { platform::releaseStopSignals(); }

SoakCounts counts(std::uint64_t iterations) {
  return {iterations, caltErrors, caliErrors, trigErrors, otherErrors, busCount};
}

unsigned long long ull(std::uint64_t v) { return static_cast<unsigned long long>(v); }

std::string countsText(std::uint64_t iterations, bool interrupted) {
  char text[240];
  std::snprintf(text, sizeof text,
                "%s: %llu iterations%s, errors calt %llu cali %llu trig %llu other %llu",
                profile().usage.name, ull(iterations), interrupted ? " (interrupted)" : "",
                ull(caltErrors), ull(caliErrors), ull(trigErrors), ull(otherErrors));
  return text;
}

// The clock is read every kClockEvery iterations.
constexpr unsigned kClockEvery = 256;
constexpr auto kProgressEvery = std::chrono::seconds(10);
constexpr auto kRecordEvery = std::chrono::seconds(1);

}  // namespace

void trigSetRegisters(VmePtr base) {
  trigCmd = base + tr::kCommand.offset;
  trigStatus = base + tr::kStatus.offset;
}

void checkTrig(int cmd, int status) {
  bool failed = lowByte(trigCmd.get()) != cmd;
  if (!failed) failed = lowByte(trigStatus.get()) != status;
  if (!failed) return;
  // Shown as they read now, status first.
  const unsigned s = trigStatus.get();
  const unsigned c = trigCmd.get();
  printErrorLine("error %x %x\n", c, s);
  ++otherErrors;
}

void writeTrig(int cmd, int status) {
  writeCommand(cmd);
  checkTrig(cmd, status);
}

int pollStatus(unsigned mask) {
  int count = 0;
  while ((trigStatus.get() & mask) == mask && count < POLL_LIMIT) ++count;
  return count;
}

void resetStep() {
  writeTrig(CMD_IDLE, 0x00);
  writeCommand(CMD_RESET);
  checkTrig(CMD_IDLE, 0x00);
}

void patternStep(int pattern) {
  writeTrig(CMD_IDLE, 0x00);
  writeTrig(pattern, pattern & 0x1F);
  writeTrig(CMD_IDLE, 0x00);
}

void calibrationStep() {
  writeTrig(CMD_IDLE, 0x00);
  writeCommand(CMD_CALIBRATE);
  const unsigned first = trigStatus.get();
  const int polls = pollStatus(STATUS_CAL_BUSY);
  const unsigned second = trigStatus.get();
  if (lowByte(static_cast<std::uint16_t>(second)) != STATUS_DONE) {
    const unsigned c = trigCmd.get();
    reportCalt(c, second, polls);
    ++caltErrors;
  }
  if (lowByte(static_cast<std::uint16_t>(first)) != STATUS_CAL_STARTED) {
    const unsigned c = trigCmd.get();
    reportCali(c, first);
    ++caliErrors;
  }
  pollStatus(STATUS_DONE);
  checkTrig(CMD_CALIBRATE, 0x00);
  writeTrig(CMD_IDLE, 0x00);
}

void sequenceStep() {
  writeTrig(CMD_IDLE, 0x00);
  // The pattern alone, armed with a trigger, and again while still armed.
  constexpr int kPattern = tr::cmd::kArmedPattern;
  constexpr int kArmed = tr::status::kArmed;
  writeTrig(kPattern, kPattern);
  writeTrig(tr::cmd::kArm | kPattern | tr::cmd::kTrigger, kArmed | kPattern | tr::status::kDone);
  writeTrig(kPattern, kArmed | kPattern);
  writeTrig(CMD_IDLE, 0x00);
}

void triggerStep(int bit) {
  writeTrig(CMD_IDLE, 0x00);
  writeCommand(bit);
  const unsigned status = trigStatus.get();
  if (lowByte(static_cast<std::uint16_t>(status)) != bit) {
    const unsigned c = trigCmd.get();
    reportTrig(c, status);
    ++trigErrors;
  }
  pollStatus(static_cast<unsigned>(bit));
  checkTrig(bit, 0x00);
  writeTrig(CMD_IDLE, 0x00);
}

void soakIteration() {
  resetStep();
  patternStep(0x02);
  patternStep(0x04);
  patternStep(0x08);
  patternStep(0x41);
  calibrationStep();
  sequenceStep();
  triggerStep(tr::cmd::kTrigger);
  // Both registers in one D32 cycle; the value is not used.
  (void)trigCmd.read32(0);
}

int runSoak() {
  std::uint32_t loops = profile().soak.iterations;
  if (profile().soak.loops == SoakLoops::Asked) {
    // End of input here ends the dialogue: an endless soak nobody asked for
    // would never stop on its own.
    if (askHex(kAskSoakLoops.prompt, 0, &loops) < 0)
      return endRun(RUN_UNTESTED, countsText(0, false));
  }
  caltErrors = 0;
  caliErrors = 0;
  trigErrors = 0;
  otherErrors = 0;
  busCount = 0;
  std::fflush(stdout);
  resultsNoteSoak(counts(0));
  soakStopped = 0;
  soakInterruptOn();
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  Clock::time_point nextProgress = start + kProgressEvery, nextRecord = start + kRecordEvery;
  std::uint64_t done = 0;
  for (std::uint32_t i = 0; (loops == 0 || i < loops) && !soakStopped; ++i) {
    soakIteration();
    ++done;
    // Error lines must reach a pipe or log before an interrupt can end the run.
    std::fflush(stdout);
    if (done % kClockEvery != 0) continue;
    const Clock::time_point now = Clock::now();
    if (now >= nextRecord) {
      resultsNoteSoak(counts(done));
      resultsChanged();
      nextRecord = now + kRecordEvery;
    }
    if (now >= nextProgress) {
      const double seconds = std::chrono::duration<double>(now - start).count();
      std::fprintf(stderr, "%s, %.0f iterations/s\n", countsText(done, false).c_str(),
                   static_cast<double>(done) / seconds);
      nextProgress += kProgressEvery;
    }
  }
  soakInterruptOff();
  std::printf("error counts = %llu %llu %llu\n", ull(caltErrors), ull(caliErrors), ull(trigErrors));
  std::printf("other errors = %llu\n", ull(otherErrors));
  std::printf("  bus count  = %llu\n", ull(busCount));
  // Each count is below 2^64 / 5: far beyond what a soak reaches.
  const std::uint64_t total = caltErrors + caliErrors + trigErrors + otherErrors + busCount;
  noteTest("soak", total > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(total),
           static_cast<long>(done), done > 0);
  resultsNoteSoak(counts(done));
  // Then the process dies of the signal as it would have; the library's
  // own handler, when it has one, writes the trace out first.
  if (const int sig = soakStopped) endRunInterrupted(sig, countsText(done, true));
  return endRun(total == 0 ? RUN_PASSED : RUN_FAILED, countsText(done, false));
}
