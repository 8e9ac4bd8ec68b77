// The platform layer on Linux and other POSIX systems.
#include "platform/platform.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio_ext.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

namespace platform {

Fd openFile(const char* path, unsigned flags) {
  int f = (flags & kReadWrite) != 0 ? O_RDWR : (flags & kWrite) != 0 ? O_WRONLY : O_RDONLY;
  if ((flags & kCreate) != 0) f |= O_CREAT;
  if ((flags & kExclusive) != 0) f |= O_EXCL;
  if ((flags & kAppend) != 0) f |= O_APPEND;
  if ((flags & kNoBlock) != 0) f |= O_NONBLOCK;
  const int fd = ::open(path, f | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0 || fd > STDERR_FILENO) return fd;
  const int high = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  const int e = errno;
  ::close(fd);
  errno = e;
  return high;
}

bool setBlocking(Fd fd) {
  const int now = ::fcntl(fd, F_GETFL);
  return now >= 0 && ::fcntl(fd, F_SETFL, now & ~O_NONBLOCK) == 0;
}

bool closeFile(Fd fd) { return ::close(fd) == 0; }

bool isOpen(Fd fd) { return ::fcntl(fd, F_GETFD) >= 0; }

Fd fileDescriptor(std::FILE* file) { return ::fileno(file); }

bool readAll(Fd fd, std::size_t limit, std::string& text) {
  char buf[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    text.append(buf, static_cast<std::size_t>(n));
    if (text.size() > limit) return true;
  }
}

bool writeAll(Fd fd, const char* p, std::size_t n) {
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

// O_APPEND makes each write(2) one piece at the end.
bool appendRecord(Fd fd, const char* p, std::size_t n) { return writeAll(fd, p, n); }

namespace {

void infoFrom(const struct stat& st, FileInfo& info) {
  info.id.device = static_cast<std::uint64_t>(st.st_dev);
  info.id.inode = static_cast<std::uint64_t>(st.st_ino);
  info.kind = S_ISREG(st.st_mode)   ? FileKind::Regular
              : S_ISDIR(st.st_mode) ? FileKind::Directory
              : S_ISCHR(st.st_mode) ? FileKind::CharDevice
              : S_ISFIFO(st.st_mode) ? FileKind::Fifo
                                     : FileKind::Other;
}

}  // namespace

bool fileInfo(Fd fd, FileInfo& info) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  infoFrom(st, info);
  return true;
}

bool fileInfo(const char* path, FileInfo& info) {
  struct stat st {};
  if (::stat(path, &st) != 0) return false;
  infoFrom(st, info);
  return true;
}

bool fileExists(const char* path) { return ::access(path, F_OK) == 0; }

std::string realFolder(const std::string& folder) {
  char* real = ::realpath(folder.c_str(), nullptr);
  if (real == nullptr) return "";
  std::string name(real);
  std::free(real);
  return name;
}

namespace {

// The file a path names through its symbolic links, also one that does not
// exist yet.
std::string linkTarget(std::string path) {
  for (int depth = 0; depth < 16; ++depth) {
    char target[4096];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    if (n < 0) break;
    const std::string to(target, static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    path = to.starts_with('/') || slash == std::string::npos ? to : path.substr(0, slash + 1) + to;
  }
  return path;
}

}  // namespace

bool startReplacement(const std::string& path, Replacement& r) {
  r.target = linkTarget(path);
  const std::size_t slash = r.target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : r.target.substr(0, slash + 1);
  const std::string name = r.target.substr(slash == std::string::npos ? 0 : slash + 1);
  std::string temp = folder + "." + name + ".XXXXXX";
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  if (fd <= STDERR_FILENO) {
    const int high = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    const int e = errno;
    ::close(fd);
    if (high < 0) {
      ::unlink(temp.c_str());
      errno = e;
      return false;
    }
    fd = high;
  }
  // The permissions a file made by open(2) would have.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  (void)::fchmod(fd, 0666 & ~mask);
  r.fd = fd;
  r.temp = temp;
  return true;
}

bool finishReplacement(Replacement& r, bool written) {
  bool ok = written;
  if (!r.temp.empty()) ok = ::fsync(r.fd) == 0 && ok;
  ok = ::close(r.fd) == 0 && ok;
  r.fd = kNoFd;
  if (r.temp.empty()) return ok;
  if (ok) ok = ::rename(r.temp.c_str(), r.target.c_str()) == 0;
  if (!ok) ::unlink(r.temp.c_str());
  return ok;
}

void dropReplacement(Replacement& r) {
  ::close(r.fd);
  r.fd = kNoFd;
  ::unlink(r.temp.c_str());
}

namespace {

constexpr int kFatalSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
constexpr std::size_t kFatalCount = sizeof kFatalSignals / sizeof kFatalSignals[0];
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kStopCount = sizeof kStopSignals / sizeof kStopSignals[0];
struct sigaction stopBefore[kStopCount];

}  // namespace

void installFatalHandler(void (*handler)(int)) {
  static bool installed[kFatalCount] = {};
  for (std::size_t i = 0; i < kFatalCount; ++i) {
    if (installed[i]) continue;
    struct sigaction old {};
    if (sigaction(kFatalSignals[i], nullptr, &old) != 0 || old.sa_handler != SIG_DFL ||
        (old.sa_flags & SA_SIGINFO) != 0)
      continue;
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    for (int sig : kFatalSignals) sigaddset(&sa.sa_mask, sig);
    sa.sa_flags = SA_RESTART;
    if (sigaction(kFatalSignals[i], &sa, nullptr) == 0) installed[i] = true;
  }
}

void blockFatalSignals(SignalMask& before) {
  sigset_t s, old;
  sigemptyset(&s);
  sigemptyset(&old);
  for (int sig : kFatalSignals) sigaddset(&s, sig);
  sigprocmask(SIG_BLOCK, &s, &old);
  before.blockedBefore = 0;
  for (std::size_t i = 0; i < kFatalCount; ++i)
    if (sigismember(&old, kFatalSignals[i]) == 1) before.blockedBefore |= 1u << i;
}

void restoreFatalSignals(const SignalMask& before) {
  sigset_t s;
  sigemptyset(&s);
  for (std::size_t i = 0; i < kFatalCount; ++i)
    if ((before.blockedBefore & (1u << i)) == 0) sigaddset(&s, kFatalSignals[i]);
  sigprocmask(SIG_UNBLOCK, &s, nullptr);
}

void dieOfSignal(int sig) {
  ::signal(sig, SIG_DFL);
  sigset_t s;
  sigemptyset(&s);
  sigaddset(&s, sig);
  sigprocmask(SIG_UNBLOCK, &s, nullptr);
  ::raise(sig);
}

void catchStopSignals(void (*handler)(int)) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  for (int sig : kStopSignals) sigaddset(&sa.sa_mask, sig);
  sa.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < kStopCount; ++i) {
    sigaction(kStopSignals[i], nullptr, &stopBefore[i]);
    if (stopBefore[i].sa_handler != SIG_IGN) sigaction(kStopSignals[i], &sa, nullptr);
  }
}

void releaseStopSignals() {
  for (std::size_t i = 0; i < kStopCount; ++i) sigaction(kStopSignals[i], &stopBefore[i], nullptr);
}

void* loadLibrary(const char* path) { return ::dlopen(path, RTLD_NOW | RTLD_LOCAL); }

void* librarySymbol(void* library, const char* name) {
  ::dlerror();
  return ::dlsym(library, name);
}

const char* libraryError() { return ::dlerror(); }

bool stdinIsTerminal() { return ::isatty(STDIN_FILENO) != 0; }

bool discardTerminalInput() {
  __fpurge(stdin);
  return ::tcflush(STDIN_FILENO, TCIFLUSH) == 0;
}

long long wallClockSeconds() {
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<long long>(now.tv_sec);
}

std::string hostName() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return "";
  return host;
}

const char* programName() { return program_invocation_short_name; }

}  // namespace platform
