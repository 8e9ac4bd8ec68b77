#include "buslib/bus_trace.h"

#include "crate/open_file.h"
#include "platform/platform.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace vmebus {

bool gTraceOn = false;

namespace {

using platform::writeAll;

// The size of stdio's buffer for a file, so the trace reaches the disk as
// often as it did.
constexpr std::size_t kBufferSize = 4096;
constexpr std::uint64_t kDefaultLimit = std::uint64_t{1} << 30;
// Room for the two comment lines at the limit, and then some cycles.
constexpr std::uint64_t kMinLimit = 256;
constexpr std::uint64_t kMaxLimit = std::uint64_t{1} << 50;

// Everything the trace holds; the signal handler reads its plain members.
struct Trace {
  char buffer[kBufferSize] = {};
  // Bytes of whole lines in buffer; read by the signal handler.
  volatile std::sig_atomic_t committed = 0;
  volatile std::sig_atomic_t fd = -1;
  char path[4096] = {};
  // Why the trace could not be written; empty while it can.
  std::string failureText;
  bool created = false;  // the run made the file: a refused trace leaves none behind
  platform::FileId id;

  // The limit: a run adds at most limit bytes to the trace.  Lines go in
  // while used stays within budget, which leaves room for the line saying
  // the limit was reached and the closing count of untraced cycles.
  std::uint64_t limit = kDefaultLimit;
  std::uint64_t budget = 0;
  std::uint64_t used = 0;
  volatile bool limited = false;
  // Only the main flow writes these; the handler reads them.
  volatile std::uint64_t untraced = 0;
  volatile std::sig_atomic_t countWritten = 0;
  char limitText[32] = {};  // "1 GiB"
  char limitLine[128] = {};

  void (*volatile fatalHook)(int) = nullptr;
  // The device table of the bus's settings, read only at the first lookup.
  std::string deviceTablePath;
  // Why standard output lost what was printed; empty while nothing was lost.
  std::string stdoutFailureText;
};

Trace trace;

const char kCountTail[] = " cycles after the trace limit were not traced\n";
const char kCountTailOne[] = " cycle after the trace limit was not traced\n";
// "# " and 20 digits.
constexpr std::size_t kCountLineMax = 2 + 20 + sizeof kCountTail - 1;

// "# 12345 cycles after the trace limit were not traced"; async-signal-safe.
std::size_t formatCount(char* out, std::uint64_t n) {
  char digits[20];
  int k = 0;
  std::uint64_t v = n;
  do {
    digits[k++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  char* p = out;
  *p++ = '#';
  *p++ = ' ';
  while (k > 0) *p++ = digits[--k];
  const char* tail = n == 1 ? kCountTailOne : kCountTail;
  const std::size_t len = n == 1 ? sizeof kCountTailOne - 1 : sizeof kCountTail - 1;
  std::memcpy(p, tail, len);
  return static_cast<std::size_t>(p - out) + len;
}

extern "C" void onFatalSignal(int sig) {
  const int saved = errno;
  if (void (*hook)(int) = trace.fatalHook) hook(sig);
  const int fd = trace.fd;
  if (fd >= 0) {
    if (trace.committed > 0) (void)writeAll(fd, trace.buffer, static_cast<std::size_t>(trace.committed));
    trace.committed = 0;
    if (trace.limited && trace.countWritten == 0 && trace.untraced > 0) {
      char line[kCountLineMax];
      (void)writeAll(fd, line, formatCount(line, trace.untraced));
      trace.countWritten = 1;
    }
  }
  // Die of the signal, as without the handler.
  platform::dieOfSignal(sig);
  errno = saved;
}

// The handlers, for each signal that still has its default action.
void installFatalHandlers() { platform::installFatalHandler(onFatalSignal); }

// The trace closed with nothing more written: it was refused.  A file the
// run made for it goes again.
void dropTrace() {
  trace.committed = 0;
  if (trace.fd >= 0) platform::closeFile(trace.fd);
  trace.fd = -1;
  gTraceOn = false;
  if (trace.created) std::remove(trace.path);
  trace.created = false;
}

// Written into by the trace: nothing more is written to it, the line is said
// and the run cannot be trusted (status 2); errno EEXIST tells the caller
// that all is said.  An input that the trace itself made a moment ago did
// not exist: that is the real fault, said as the player would say a missing
// file (ENOENT).
bool onInputNoted(const vmesim::InputFile& f) {
  if (trace.fd < 0 || !(f.id == trace.id)) return true;
  const bool made = trace.created;
  dropTrace();
  if (made) {
    errno = ENOENT;
    return false;
  }
  std::fprintf(stderr, "vme-bus: trace file %s is the %s %s: a trace never writes into an input "
               "file\n", trace.path, f.what, f.path.c_str());
  markRunUntrusted();
  errno = EEXIST;
  return false;
}

// The count line once the limit was reached; then everything written.
bool finishTrace() {
  if (trace.fd < 0) return trace.failureText.empty();
  platform::SignalMask old;
  platform::blockFatalSignals(old);
  if (trace.limited && trace.countWritten == 0 && trace.untraced > 0) {
    if (static_cast<std::size_t>(trace.committed) + kCountLineMax > kBufferSize) flushTrace();
    if (trace.fd >= 0) {
      trace.committed = static_cast<std::sig_atomic_t>(
          trace.committed + static_cast<std::sig_atomic_t>(formatCount(trace.buffer + trace.committed, trace.untraced)));
    }
    trace.countWritten = 1;
  }
  const bool ok = flushTrace();
  platform::restoreFatalSignals(old);
  return ok;
}

char hexDigit(unsigned v) { return "0123456789ABCDEF"[v & 0xF]; }

// "4096", "64K", "1G": bytes, or KiB, MiB, GiB.
bool parseLimit(const char* text, std::uint64_t& bytes) {
  const char* p = text;
  std::uint64_t v = 0;
  if (*p < '0' || *p > '9') return false;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (v > kMaxLimit) return false;
    v = v * 10 + static_cast<std::uint64_t>(*p - '0');
  }
  int shift = 0;
  switch (*p) {
    case 'K': case 'k': shift = 10; ++p; break;
    case 'M': case 'm': shift = 20; ++p; break;
    case 'G': case 'g': shift = 30; ++p; break;
    default: break;
  }
  if (*p != '\0' || v > (kMaxLimit >> shift) || (v << shift) < kMinLimit) return false;
  bytes = v << shift;
  return true;
}

void setLimitText() {
  const char* units[] = {"GiB", "MiB", "KiB"};
  const int shifts[] = {30, 20, 10};
  std::snprintf(trace.limitText, sizeof trace.limitText, "%llu bytes",
                static_cast<unsigned long long>(trace.limit));
  for (int i = 0; i < 3; ++i) {
    if (trace.limit % (std::uint64_t{1} << shifts[i]) == 0) {
      std::snprintf(trace.limitText, sizeof trace.limitText, "%llu %s",
                    static_cast<unsigned long long>(trace.limit >> shifts[i]), units[i]);
      break;
    }
  }
  std::snprintf(trace.limitLine, sizeof trace.limitLine,
                "# the trace reached its limit of %s; the cycles that follow are not traced\n",
                trace.limitText);
  trace.budget = trace.limit - std::strlen(trace.limitLine) - kCountLineMax;
}

}  // namespace

bool openTrace(const char* path, std::string* why) {
  closeTrace();
  const auto fail = [&](const std::string& text) {
    if (why != nullptr) *why = text;
    return false;
  };
  // Standard input, output or error may be closed: keep their numbers free,
  // or console lines would land in the trace.  A FIFO without a reader must
  // not hold the run in open(2).
  // Made anew only when it did not exist, so that a refused trace can leave
  // no file of its own behind.
  const unsigned flags = platform::kWrite | platform::kAppend | platform::kNoBlock;
  bool created = true;
  int fd = platform::openFile(path, flags | platform::kCreate | platform::kExclusive);
  if (fd < 0 && errno == EEXIST) {
    created = false;
    fd = platform::openFile(path, flags | platform::kCreate);
  }
  if (fd < 0 && errno == ENXIO)
    return fail(std::string("trace file ") + path + " is a FIFO that no program reads");
  if (fd < 0)
    return fail(std::string("trace file ") + path + " cannot be opened: " + std::strerror(errno));
  platform::FileInfo st;
  if (!platform::fileInfo(fd, st) || !platform::setBlocking(fd)) {
    const int e = errno;
    platform::closeFile(fd);
    return fail(std::string("trace file ") + path + " cannot be opened: " + std::strerror(e));
  }
  if (!vmesim::sharable(st)) {
    std::string input;
    for (const vmesim::InputFile& f : vmesim::inputFiles())
      if (vmesim::isInput(st, f)) input = std::string(f.what) + " " + f.path;
    // The device table is read at the first lookup, after the first cycles.
    platform::FileInfo table;
    const char* tablePath = trace.deviceTablePath.c_str();
    if (input.empty() && *tablePath != '\0' &&
        platform::fileInfo(tablePath, table) && table.id == st.id)
      input = std::string("device table ") + tablePath;
    if (!input.empty()) {
      platform::closeFile(fd);
      return fail(std::string("trace file ") + path + " is the " + input +
                  ": a trace never writes into an input file");
    }
  }
  trace.fd = fd;
  trace.created = created;
  trace.id = st.id;
  std::snprintf(trace.path, sizeof trace.path, "%s", path);
  trace.failureText.clear();
  trace.used = 0;
  trace.limited = false;
  trace.untraced = 0;
  trace.countWritten = 0;
  setLimitText();
  vmesim::gInputNoted = onInputNoted;
  gTraceOn = true;
  return true;
}

bool startTrace(const BusConfig& config, std::string& error) {
  const char* limit = config.traceLimit.c_str();
  if (*limit != '\0' && !parseLimit(limit, trace.limit)) {
    error = std::string("VME_TRACE_LIMIT=") + limit + ": expected bytes, at least " +
            std::to_string(kMinLimit) + ", or a number with K, M or G";
    return false;
  }
  trace.deviceTablePath = config.deviceTable;
  const char* path = config.tracePath.c_str();
  if (*path == '\0') return true;
  if (!openTrace(path, &error)) return false;
  installFatalHandlers();
  return true;
}

void closeTrace() {
  if (trace.fd < 0) return;
  finishTrace();
  if (trace.fd >= 0) platform::closeFile(trace.fd);
  trace.fd = -1;
  gTraceOn = false;
}

bool flushTrace() {
  if (!trace.failureText.empty()) return false;
  if (trace.fd < 0 || trace.committed == 0) return true;
  // The handler must not write these bytes a second time, nor a signal end
  // the process in the middle of a line.
  platform::SignalMask old;
  platform::blockFatalSignals(old);
  const bool ok = writeAll(trace.fd, trace.buffer, static_cast<std::size_t>(trace.committed));
  const int e = errno;
  trace.committed = 0;
  if (!ok) {
    platform::closeFile(trace.fd);
    trace.fd = -1;
    gTraceOn = false;
  }
  platform::restoreFatalSignals(old);
  if (!ok) {
    trace.failureText = std::string("trace file ") + trace.path + " cannot be written: " +
                       std::strerror(e);
    std::fprintf(stderr, "vme-bus: %s\n", trace.failureText.c_str());
  }
  return ok;
}

bool traceLimitBytes(const std::string& text, std::uint64_t& bytes) {
  if (text.empty()) {
    bytes = kDefaultLimit;
    return true;
  }
  return parseLimit(text.c_str(), bytes);
}

bool noteInputFile(int fd, const char* path, const char* what) {
  return vmesim::noteInputFile(fd, path, what);
}

void setFatalSignalHook(void (*hook)(int sig)) {
  trace.fatalHook = hook;
  if (hook != nullptr) installFatalHandlers();
}

namespace {

void commit(const char* line, std::size_t n) {
  std::memcpy(trace.buffer + trace.committed, line, n);
  // The line is in the buffer before it is counted.
  std::atomic_signal_fence(std::memory_order_release);
  trace.committed = static_cast<std::sig_atomic_t>(trace.committed + static_cast<std::sig_atomic_t>(n));
}

// The trace is full: one line says so there and one on standard error.
void reachLimit() {
  trace.limited = true;
  const std::size_t n = std::strlen(trace.limitLine);
  if (static_cast<std::size_t>(trace.committed) + n > kBufferSize && !flushTrace()) return;
  commit(trace.limitLine, n);
  std::fprintf(stderr, "vme-bus: trace %s reached its limit of %s; the cycles that follow are not "
               "traced\n", trace.path, trace.limitText);
}

// False when the line was not taken: the limit, or a trace that failed.
bool append(const char* line, std::size_t n) {
  if (trace.used + n > trace.budget) {
    reachLimit();
    return false;
  }
  if (static_cast<std::size_t>(trace.committed) + n > kBufferSize && !flushTrace()) return false;
  trace.used += n;
  commit(line, n);
  return true;
}

}  // namespace

void traceCycle(char dir, vmesim::Space space, std::uint32_t address, vmesim::Width width,
                std::uint32_t value, bool berr) {
  if (trace.fd < 0) return;
  if (trace.limited) {
    trace.untraced = trace.untraced + 1;
    return;
  }
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
  if (!append(line, static_cast<std::size_t>(p - line)) && trace.limited) trace.untraced = trace.untraced + 1;
}

void traceNote(const char* text) {
  if (trace.fd < 0 || trace.limited) return;
  std::string line = std::string("# ") + text + "\n";
  if (line.size() > kBufferSize) line.resize(kBufferSize - 1), line.back() = '\n';
  append(line.data(), line.size());
}

bool writeTraceOut() { return finishTrace(); }

const std::string& traceFailure() { return trace.failureText; }

bool flushStandardOutput() {
  if (!trace.stdoutFailureText.empty()) return false;
  errno = 0;
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
  // A write that failed earlier left no errno behind; a closed descriptor
  // can still be named.
  if (errno == 0 && !platform::isOpen(platform::kStdout)) errno = EBADF;
  trace.stdoutFailureText = "write error on standard output";
  if (errno != 0) trace.stdoutFailureText += std::string(": ") + std::strerror(errno);
  std::fprintf(stderr, "%s: %s\n", platform::programName(), trace.stdoutFailureText.c_str());
  return false;
}

const std::string& stdoutFailure() { return trace.stdoutFailureText; }

void installSignalHandlers() {
  if (trace.fd >= 0 || trace.fatalHook != nullptr) installFatalHandlers();
}

}  // namespace vmebus
