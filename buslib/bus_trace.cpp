#include "buslib/bus_trace.h"

#include "crate/open_file.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace vmebus {

bool gTraceOn = false;

namespace {

// The size of stdio's buffer for a file, so the trace reaches the disk as
// often as it did.
constexpr std::size_t kBufferSize = 4096;

char buffer[kBufferSize];
// Bytes of whole lines in buffer; read by the SIGINT handler.
volatile std::sig_atomic_t committed = 0;
volatile std::sig_atomic_t traceFd = -1;
// Set before main: no object that needs constructing.
char tracePath[4096];
bool traceBroken = false;
void (*volatile fatalHook)(int) = nullptr;

// write(2) until everything is out; false on an error.
bool writeAll(int fd, const char* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

extern "C" void onInterrupt(int sig) {
  const int saved = errno;
  if (void (*hook)(int) = fatalHook) hook(sig);
  const int fd = traceFd;
  if (fd >= 0 && committed > 0) (void)writeAll(fd, buffer, static_cast<std::size_t>(committed));
  committed = 0;
  // Die of the signal, as without the handler.
  ::signal(sig, SIG_DFL);
  sigset_t s;
  sigemptyset(&s);
  sigaddset(&s, sig);
  sigprocmask(SIG_UNBLOCK, &s, nullptr);
  ::raise(sig);
  errno = saved;
}

void exitCheck() {
  bool failed = !flushTrace();
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    // A write that failed earlier left no errno behind; a closed descriptor
    // can still be named.
    if (errno == 0 && ::fcntl(STDOUT_FILENO, F_GETFD) < 0) errno = EBADF;
    if (errno != 0)
      std::fprintf(stderr, "%s: write error on standard output: %s\n",
                   program_invocation_short_name, std::strerror(errno));
    else
      std::fprintf(stderr, "%s: write error on standard output\n", program_invocation_short_name);
    failed = true;
  }
  if (failed) _exit(2);
}

void installInterruptHandler();

char hexDigit(unsigned v) { return "0123456789ABCDEF"[v & 0xF]; }

}  // namespace

bool openTrace(const char* path) {
  closeTrace();
  // Standard input, output or error may be closed: keep their numbers free,
  // or console lines would land in the trace.
  const int fd = vmesim::openAboveStdio(path, O_WRONLY | O_CREAT | O_APPEND, 0666);
  if (fd < 0) return false;
  traceFd = fd;
  std::snprintf(tracePath, sizeof tracePath, "%s", path);
  traceBroken = false;
  gTraceOn = true;
  return true;
}

void closeTrace() {
  if (traceFd < 0) return;
  flushTrace();
  if (traceFd >= 0) ::close(traceFd);
  traceFd = -1;
  gTraceOn = false;
}

bool flushTrace() {
  if (traceBroken) return false;
  if (traceFd < 0 || committed == 0) return true;
  // The handler must not write these bytes a second time.
  sigset_t block, old;
  sigemptyset(&block);
  sigaddset(&block, SIGINT);
  sigprocmask(SIG_BLOCK, &block, &old);
  const bool ok = writeAll(traceFd, buffer, static_cast<std::size_t>(committed));
  const int e = errno;
  committed = 0;
  if (!ok) {
    ::close(traceFd);
    traceFd = -1;
    gTraceOn = false;
    traceBroken = true;
  }
  sigprocmask(SIG_SETMASK, &old, nullptr);
  if (!ok)
    std::fprintf(stderr, "vme-bus: trace file %s cannot be written: %s\n", tracePath,
                 std::strerror(e));
  return ok;
}

namespace {

void append(const char* line, std::size_t n) {
  if (static_cast<std::size_t>(committed) + n > kBufferSize && !flushTrace()) return;
  std::memcpy(buffer + committed, line, n);
  // The line is in the buffer before it is counted.
  std::atomic_signal_fence(std::memory_order_release);
  committed = static_cast<std::sig_atomic_t>(committed + static_cast<std::sig_atomic_t>(n));
}

}  // namespace

void traceCycle(char dir, vmesim::Space space, std::uint32_t address, vmesim::Width width,
                std::uint32_t value, bool berr) {
  if (traceFd < 0) return;
  char line[40];
  char* p = line;
  *p++ = dir;
  std::memcpy(p, space == vmesim::Space::A24 ? " A24 D" : " A32 D", 6);
  p += 6;
  const unsigned bytes = static_cast<unsigned>(width);
  if (bytes == 1) *p++ = '8';
  else if (bytes == 2) *p++ = '1', *p++ = '6';
  else *p++ = '3', *p++ = '2';
  *p++ = ' ';
  for (int shift = 28; shift >= 0; shift -= 4) *p++ = hexDigit(address >> shift);
  *p++ = ' ';
  for (int shift = 8 * static_cast<int>(bytes) - 4; shift >= 0; shift -= 4)
    *p++ = hexDigit(value >> shift);
  if (berr) {
    std::memcpy(p, " BERR", 5);
    p += 5;
  }
  *p++ = '\n';
  append(line, static_cast<std::size_t>(p - line));
}

void traceNote(const char* text) {
  if (traceFd < 0) return;
  std::string line = std::string("# ") + text + "\n";
  if (line.size() > kBufferSize) line.resize(kBufferSize - 1), line.back() = '\n';
  append(line.data(), line.size());
}

void installExitChecks() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  std::atexit(exitCheck);
  if (traceFd < 0) return;
  installInterruptHandler();
}

void setFatalSignalHook(void (*hook)(int sig)) {
  fatalHook = hook;
  if (hook != nullptr) installInterruptHandler();
}

namespace {
void installInterruptHandler() {
  struct sigaction old {};
  if (sigaction(SIGINT, nullptr, &old) == 0 && old.sa_handler == SIG_DFL &&
      (old.sa_flags & SA_SIGINFO) == 0) {
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
  }
}
}  // namespace

}  // namespace vmebus
