// The platform layer on Windows.  Descriptors are the C runtime's, over
// handles opened here: always binary, never inherited, appends opened with
// FILE_APPEND_DATA (no FILE_WRITE_DATA) and written under a lock, each one
// piece at the end.
#include "platform/platform.h"

#include <windows.h>

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <signal.h>
#include <stdlib.h>
#include <time.h>

#include <cstdio>
#include <cstring>

namespace platform {

namespace {

// errno for the last Windows error.
int errnoOf(DWORD e) {
  switch (e) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_INVALID_HANDLE:
      return EBADF;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
      return EPIPE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    default:
      return EIO;
  }
}

void setErrno() { errno = errnoOf(GetLastError()); }

// A bad descriptor gives -1 and EBADF, not the runtime's abort.
void quietInvalidParameter(const wchar_t*, const wchar_t*, const wchar_t*, unsigned, uintptr_t) {}

// Standard input, output and error in binary mode from the start: a LF stays
// a LF and a Ctrl-Z is a byte.
struct BinaryStandardFiles {
  BinaryStandardFiles() {
    _set_invalid_parameter_handler(quietInvalidParameter);
    _setmode(0, _O_BINARY);
    _setmode(1, _O_BINARY);
    _setmode(2, _O_BINARY);
  }
};
const BinaryStandardFiles binaryStandardFiles;

// The descriptors opened to append.
constexpr int kMaxFds = 2048;
bool appending[kMaxFds];

HANDLE handleOf(Fd fd) {
  if (fd < 0) return INVALID_HANDLE_VALUE;
  return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

// A descriptor above 2 for h, which it then owns; kNoFd with errno.
Fd descriptorFor(HANDLE h) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    errno = EMFILE;
    return kNoFd;
  }
  if (fd > 2) return fd;
  // A closed standard descriptor is never reused: take the next free ones.
  int held[3];
  int n = 0;
  int high = fd;
  while (high >= 0 && high <= 2 && n < 3) {
    held[n++] = high;
    high = _dup(fd);
  }
  for (int i = 1; i < n; ++i) _close(held[i]);
  _close(fd);
  if (high < 0) errno = EMFILE;
  return high < 0 ? kNoFd : high;
}

bool isDirectory(const char* path) {
  const DWORD a = GetFileAttributesA(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

Fd openFile(const char* path, unsigned flags) {
  DWORD access = (flags & kReadWrite) != 0 ? GENERIC_READ | GENERIC_WRITE
                 : (flags & kWrite) != 0   ? GENERIC_WRITE
                                           : GENERIC_READ;
  // Appending is FILE_APPEND_DATA without FILE_WRITE_DATA: the system puts
  // every write at the end, whoever else appends.
  // Read access lets the writers of one file take turns (LockFileEx).
  const bool append = (flags & kAppend) != 0 && (flags & (kWrite | kReadWrite)) != 0;
  if (append) {
    access = FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES |
             SYNCHRONIZE;
  }
  const DWORD how = (flags & kCreate) == 0        ? OPEN_EXISTING
                    : (flags & kExclusive) != 0 ? CREATE_NEW
                                                : OPEN_ALWAYS;
  HANDLE h = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, how, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD e = GetLastError();
    errno = e == ERROR_ACCESS_DENIED && isDirectory(path) ? EISDIR : errnoOf(e);
    return kNoFd;
  }
  const Fd fd = descriptorFor(h);
  if (fd >= 0 && fd < kMaxFds) appending[fd] = append;
  return fd;
}

// Windows has no FIFOs: nothing waits.
bool setBlocking(Fd) { return true; }

bool closeFile(Fd fd) {
  if (fd >= 0 && fd < kMaxFds) appending[fd] = false;
  return _close(fd) == 0;
}

bool isOpen(Fd fd) { return handleOf(fd) != INVALID_HANDLE_VALUE; }

Fd fileDescriptor(std::FILE* file) { return _fileno(file); }

bool readAll(Fd fd, std::size_t limit, std::string& text) {
  const HANDLE h = handleOf(fd);
  if (h == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return false;
  }
  char buf[8192];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(h, buf, sizeof buf, &n, nullptr)) {
      // A pipe whose writer is gone is at its end.
      if (GetLastError() == ERROR_BROKEN_PIPE) return true;
      setErrno();
      return false;
    }
    if (n == 0) return true;
    text.append(buf, n);
    if (text.size() > limit) return true;
  }
}

namespace {

// One write at the end, the file locked meanwhile: wine does not make a
// FILE_APPEND_DATA write one piece, and two writers lost records.  The lock
// is on a byte no file reaches.
bool appendLocked(HANDLE h, const char* p, std::size_t n) {
  OVERLAPPED lock{};
  lock.Offset = 0xFFFFFFFE;
  lock.OffsetHigh = 0x7FFFFFFF;
  if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lock)) {
    setErrno();
    return false;
  }
  LARGE_INTEGER at{};
  bool ok = GetFileSizeEx(h, &at) != 0;
  while (ok && n > 0) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(at.QuadPart);
    where.OffsetHigh = static_cast<DWORD>(at.QuadPart >> 32);
    const DWORD chunk = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
    DWORD w = 0;
    ok = WriteFile(h, p, chunk, &w, &where) != 0;
    p += w;
    n -= w;
    at.QuadPart += w;
  }
  if (!ok) setErrno();
  const int e = errno;
  UnlockFileEx(h, 0, 1, 0, &lock);
  errno = e;
  return ok;
}

}  // namespace

bool writeAll(Fd fd, const char* p, std::size_t n) {
  const HANDLE h = handleOf(fd);
  if (h == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return false;
  }
  if (fd < kMaxFds && appending[fd]) return appendLocked(h, p, n);
  while (n > 0) {
    const DWORD chunk = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
    DWORD w = 0;
    if (!WriteFile(h, p, chunk, &w, nullptr)) {
      setErrno();
      return false;
    }
    p += w;
    n -= w;
  }
  return true;
}

// Appends go through appendLocked: one piece at the end.
bool appendRecord(Fd fd, const char* p, std::size_t n) { return writeAll(fd, p, n); }

namespace {

bool infoOfHandle(HANDLE h, FileInfo& info) {
  info = FileInfo{};
  switch (GetFileType(h)) {
    case FILE_TYPE_CHAR:
      info.kind = FileKind::CharDevice;
      return true;
    case FILE_TYPE_PIPE:
      info.kind = FileKind::Fifo;
      return true;
    case FILE_TYPE_DISK:
      break;
    default:
      if (GetLastError() != NO_ERROR) {
        setErrno();
        return false;
      }
      return true;
  }
  // The runtime's st_ino is 0 for every file: the volume's serial number and
  // the file's index on it tell one file.
  BY_HANDLE_FILE_INFORMATION bh{};
  if (!GetFileInformationByHandle(h, &bh)) {
    setErrno();
    return false;
  }
  info.id.device = bh.dwVolumeSerialNumber;
  info.id.inode = (static_cast<std::uint64_t>(bh.nFileIndexHigh) << 32) | bh.nFileIndexLow;
  info.kind = (bh.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::Directory
                                                                    : FileKind::Regular;
  return true;
}

}  // namespace

bool fileInfo(Fd fd, FileInfo& info) {
  const HANDLE h = handleOf(fd);
  if (h == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return false;
  }
  return infoOfHandle(h, info);
}

bool fileInfo(const char* path, FileInfo& info) {
  const HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    setErrno();
    return false;
  }
  const bool ok = infoOfHandle(h, info);
  CloseHandle(h);
  return ok;
}

bool fileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

std::string realFolder(const std::string& folder) {
  if (!isDirectory(folder.c_str())) return "";
  char full[MAX_PATH * 4];
  const DWORD n = GetFullPathNameA(folder.c_str(), sizeof full, full, nullptr);
  if (n == 0 || n >= sizeof full) return "";
  std::string name(full, n);
  while (name.size() > 3 && (name.back() == '\\' || name.back() == '/')) name.pop_back();
  return name;
}

bool startReplacement(const std::string& path, Replacement& r) {
  r.target = path;
  const std::size_t slash = path.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  static unsigned serial = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char tail[16];
    const unsigned v = (GetCurrentProcessId() * 2654435761u) ^ GetTickCount() ^ (++serial * 40503u);
    std::snprintf(tail, sizeof tail, "%06X", v & 0xFFFFFF);
    const std::string temp = folder + "." + name + "." + tail;
    const HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                 nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      setErrno();
      return false;
    }
    const Fd fd = descriptorFor(h);
    if (fd == kNoFd) {
      DeleteFileA(temp.c_str());
      return false;
    }
    r.fd = fd;
    r.temp = temp;
    return true;
  }
  errno = EEXIST;
  return false;
}

bool finishReplacement(Replacement& r, bool written) {
  bool ok = written;
  if (!r.temp.empty()) ok = FlushFileBuffers(handleOf(r.fd)) != 0 && ok;
  ok = _close(r.fd) == 0 && ok;
  r.fd = kNoFd;
  if (r.temp.empty()) return ok;
  if (ok) ok = MoveFileExA(r.temp.c_str(), r.target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (!ok) DeleteFileA(r.temp.c_str());
  return ok;
}

void dropReplacement(Replacement& r) {
  _close(r.fd);
  r.fd = kNoFd;
  DeleteFileA(r.temp.c_str());
}

namespace {

// Control-C and Control-Break come on a thread of their own, and closing the
// console window too (as a hang-up).  The lock keeps the handler out while
// the program writes the trace, where Linux blocks the signals.
CRITICAL_SECTION gLock;
struct LockSetUp {
  LockSetUp() { InitializeCriticalSection(&gLock); }
};
const LockSetUp lockSetUp;

void (*volatile gFatal)(int) = nullptr;
void (*volatile gStop)(int) = nullptr;
bool gRoutineOn = false;

BOOL WINAPI onConsoleEvent(DWORD event) {
  int sig;
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      sig = SIGINT;
      break;
    case CTRL_CLOSE_EVENT:
      sig = 1;  // the hang-up
      break;
    default:
      return FALSE;
  }
  EnterCriticalSection(&gLock);
  if (void (*stop)(int) = gStop) {
    stop(sig);
    LeaveCriticalSection(&gLock);
    return TRUE;
  }
  if (void (*fatal)(int) = gFatal) fatal(sig);  // ends the process
  LeaveCriticalSection(&gLock);
  return FALSE;
}

void routineOn() {
  if (gRoutineOn) return;
  gRoutineOn = SetConsoleCtrlHandler(onConsoleEvent, TRUE) != 0;
}

}  // namespace

void installFatalHandler(void (*handler)(int)) {
  if (gFatal != nullptr) return;
  gFatal = handler;
  routineOn();
}

void blockFatalSignals(SignalMask& before) {
  EnterCriticalSection(&gLock);
  before.blockedBefore = 0;
}

void restoreFatalSignals(const SignalMask&) { LeaveCriticalSection(&gLock); }

// The status Windows gives a process ended by Control-C; nothing is flushed,
// as a signal leaves it.
void dieOfSignal(int) {
  TerminateProcess(GetCurrentProcess(), 0xC000013A);
}

void catchStopSignals(void (*handler)(int)) {
  gStop = handler;
  routineOn();
}

void releaseStopSignals() { gStop = nullptr; }

namespace {

char gLibraryError[1024];
bool gLibraryFailed = false;

// "what: the system's text of the last error".
void noteLibraryError(const char* what) {
  const DWORD e = GetLastError();
  char text[512] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, e, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text,
                                 sizeof text, nullptr);
  std::string message(text, n);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.'))
    message.pop_back();
  if (message.empty()) message = "error " + std::to_string(e);
  std::snprintf(gLibraryError, sizeof gLibraryError, "%s: %s", what, message.c_str());
  gLibraryFailed = true;
}

}  // namespace

void* loadLibrary(const char* path) {
  // No dialog box for a library that is missing or broken.
  const UINT mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE m = LoadLibraryA(path);
  if (m == nullptr) noteLibraryError(path);
  SetErrorMode(mode);
  return reinterpret_cast<void*>(m);
}

void* librarySymbol(void* library, const char* name) {
  gLibraryFailed = false;
  FARPROC f = GetProcAddress(static_cast<HMODULE>(library), name);
  if (f == nullptr) {
    char path[MAX_PATH] = {};
    const DWORD e = GetLastError();
    GetModuleFileNameA(static_cast<HMODULE>(library), path, sizeof path);
    SetLastError(e);
    noteLibraryError(path);
    return nullptr;
  }
  return reinterpret_cast<void*>(f);
}

const char* libraryError() {
  if (!gLibraryFailed) return nullptr;
  gLibraryFailed = false;
  return gLibraryError;
}

// The NUL device is a character device too: only a console has a mode.
bool stdinIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

bool discardTerminalInput() {
  std::fflush(stdin);  // the runtime empties an input stream's buffer
  return FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE)) != 0;
}

long long wallClockSeconds() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  const unsigned long long t = (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) |
                               ft.dwLowDateTime;
  return static_cast<long long>(t / 10000000ULL) - 11644473600LL;
}

std::string hostName() {
  char host[256] = {};
  DWORD n = sizeof host;
  if (!GetComputerNameExA(ComputerNameDnsHostname, host, &n)) return "";
  return std::string(host, n);
}

// The program's file name without its folder and ".exe", as Linux names it.
const char* programName() {
  static char name[MAX_PATH] = {};
  if (name[0] != '\0') return name;
  char path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string s(path, n);
  const std::size_t slash = s.find_last_of("/\\");
  if (slash != std::string::npos) s.erase(0, slash + 1);
  if (s.size() > 4 && _stricmp(s.c_str() + s.size() - 4, ".exe") == 0) s.resize(s.size() - 4);
  std::snprintf(name, sizeof name, "%s", s.c_str());
  return name;
}

}  // namespace platform
