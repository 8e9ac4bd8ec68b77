#include "trig_soak.h"

#include <signal.h>

#include <chrono>
#include <csignal>
#include <cstdio>

#include "foundation/console.h"
#include "foundation/exit_status.h"
#include "foundation/results.h"
#include "foundation/verdicts.h"

VmePtr trigCmd;
VmePtr trigStatus;

std::int32_t caltErrors = 0;
std::int32_t caliErrors = 0;
std::int32_t trigErrors = 0;
std::int32_t otherErrors = 0;
std::int32_t busCount = 0;

namespace {

constexpr int CMD_IDLE = 0x00;
constexpr int CMD_RESET = 0xFF;
constexpr int CMD_CALIBRATE = 0x10;
constexpr unsigned STATUS_CAL_BUSY = 0x10;
constexpr unsigned STATUS_DONE = 0x01;
constexpr int STATUS_CAL_STARTED = 0x14;

int lowByte(std::uint16_t v) { return v & 0xFF; }

void writeCommand(int cmd) {
  const int v = trigSettings.lowByteWrites ? (cmd & 0xFF) : cmd;
  trigCmd.set(static_cast<std::uint16_t>(v));
}

// The third number of these messages is always 0; some builds print it as a long.
void reportCalt(unsigned cmd, unsigned status, int polls) {
  if (trigSettings.longThird)
    printErrorLine("error calt %x %x %li %i\n", cmd, status, 0L, polls);
  else
    printErrorLine("error calt %x %x %i %i\n", cmd, status, 0, polls);
}

void reportCali(unsigned cmd, unsigned status) {
  if (trigSettings.longThird)
    printErrorLine("error cali %x %x %li\n", cmd, status, 0L);
  else
    printErrorLine("error cali %x %x %i\n", cmd, status, 0);
}

void reportTrig(unsigned cmd, unsigned status) {
  if (trigSettings.longThird)
    printErrorLine("error trig %x %x %li\n", cmd, status, 0L);
  else
    printErrorLine("error trig %x %x %i\n", cmd, status, 0);
}

volatile std::sig_atomic_t soakStopped = 0;
extern "C" void onSoakInterrupt(int) { soakStopped = 1; }

// Control-C ends the iterations instead of the process; an ignored SIGINT
// stays ignored.
struct sigaction soakInterruptOn() {
  struct sigaction sa {}, old {};
  sa.sa_handler = onSoakInterrupt;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGINT, nullptr, &old);
  if (old.sa_handler != SIG_IGN) sigaction(SIGINT, &sa, nullptr);
  return old;
}

SoakCounts counts(unsigned long long iterations) {
  return {iterations, caltErrors, caliErrors, trigErrors, otherErrors, busCount};
}

std::string countsText(unsigned long long iterations, bool interrupted) {
  char text[200];
  std::snprintf(text, sizeof text, "%s: %llu iterations%s, errors calt %i cali %i trig %i other %i",
                trigSettings.program, iterations, interrupted ? " (interrupted)" : "", caltErrors,
                caliErrors, trigErrors, otherErrors);
  return text;
}

// The clock is read every kClockEvery iterations.
constexpr unsigned kClockEvery = 256;
constexpr auto kProgressEvery = std::chrono::seconds(10);
constexpr auto kRecordEvery = std::chrono::seconds(1);

}  // namespace

std::string soakSummary(unsigned long long iterations, bool interrupted) {
  const bool clean = caltErrors == 0 && caliErrors == 0 && trigErrors == 0 && otherErrors == 0 &&
                     busCount == 0;
  return countsText(iterations, interrupted) + ": " + (clean ? "PASSED" : "FAILED");
}

void trigSetRegisters(VmePtr base) {
  trigCmd = base;
  trigStatus = base + 2;
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
  writeTrig(0x02, 0x02);
  writeTrig(0x43, 0x07);
  writeTrig(0x02, 0x06);
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
  triggerStep(0x01);
  // Both registers in one D32 cycle; the value is not used.
  (void)trigCmd.read32(0);
}

int runSoak() {
  std::uint32_t loops = trigSettings.iterations;
  if (trigSettings.loops == SoakLoops::Asked) {
    // End of input here ends the dialogue: an endless soak nobody asked for
    // would never stop on its own.
    if (askHex("Enter number of loops ", 0, &loops) < 0) return RUN_UNTESTED;
  }
  caltErrors = 0;
  caliErrors = 0;
  trigErrors = 0;
  otherErrors = 0;
  busCount = 0;
  std::fflush(stdout);
  resultsNoteSoak(counts(0));
  soakStopped = 0;
  const struct sigaction before = soakInterruptOn();
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  Clock::time_point nextProgress = start + kProgressEvery, nextRecord = start + kRecordEvery;
  unsigned long long done = 0;
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
  sigaction(SIGINT, &before, nullptr);
  std::printf("error counts = %i %i %i\n", caltErrors, caliErrors, trigErrors);
  std::printf("other errors = %i\n", otherErrors);
  std::printf("  bus count  = %i\n", busCount);
  std::printf("%s\n", soakSummary(done, soakStopped != 0).c_str());
  const long total = static_cast<long>(caltErrors) + caliErrors + trigErrors + otherErrors + busCount;
  noteTest("soak", total > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(total),
           static_cast<long>(done), done > 0);
  resultsNoteSoak(counts(done));
  if (soakStopped) {
    // Then the process dies of the signal as it would have; the library's
    // own handler, when it has one, writes the trace out first.
    std::fflush(stdout);
    resultsFinishInterrupted();
    ::raise(SIGINT);
  }
  const bool clean = total == 0;
  return clean ? RUN_PASSED : RUN_FAILED;
}
