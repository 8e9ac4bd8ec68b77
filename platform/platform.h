// The one place that knows the operating system: files, signals, shared
// libraries, the console and the host.  Errors come back in errno, as the
// C library gives them, so every message reads as it always did.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// The calling convention of a shared library's C calls (__stdcall on 32-bit
// Windows, the default elsewhere), and the mark of a function a shared
// library of ours exports.
#if defined(_WIN32) && !defined(_WIN64)
#define PLATFORM_LIBCALL __stdcall
#else
#define PLATFORM_LIBCALL
#endif
#if defined(_WIN32)
#define PLATFORM_EXPORT __declspec(dllexport)
#else
#define PLATFORM_EXPORT __attribute__((visibility("default")))
#endif

namespace platform {

// An open file: a small descriptor number, -1 for none.  A plain int, so a
// signal handler may read it from a sig_atomic_t.
using Fd = int;
constexpr Fd kNoFd = -1;
constexpr Fd kStdout = 1;

// How openFile opens; or'ed together.
enum OpenFlags : unsigned {
  kRead = 0x00,
  kWrite = 0x01,
  kReadWrite = 0x02,
  kCreate = 0x04,     // made with mode 0666 (less the umask) when not there
  kExclusive = 0x08,  // with kCreate: EEXIST when it is there
  kAppend = 0x10,     // every write goes at the end
  kNoBlock = 0x20,    // neither the open nor reads and writes wait (a FIFO)
};

// Opens path in binary mode, not inherited by programs run from here, never
// as the controlling terminal and never as descriptor 0, 1 or 2: a closed
// standard descriptor is never reused.  kNoFd with errno on failure.
Fd openFile(const char* path, unsigned flags);
// Writes to fd wait again (after an open with kNoBlock).
bool setBlocking(Fd fd);
bool closeFile(Fd fd);
// Whether fd is an open descriptor.
bool isOpen(Fd fd);
// The descriptor under a stdio stream.
Fd fileDescriptor(std::FILE* file);

// Appends to text until the end, or until text holds more than limit bytes;
// across interruptions.  False with errno on a failed read.
bool readAll(Fd fd, std::size_t limit, std::string& text);
// Writes until everything is out, across interruptions; false on an error.
// Async-signal-safe.
bool writeAll(Fd fd, const char* p, std::size_t n);
// One record at the end of a file opened with kAppend, in one write, so that
// records of programs sharing the file never interleave.  Async-signal-safe.
bool appendRecord(Fd fd, const char* p, std::size_t n);

// Which file it is: same id, same file, under whatever name or link.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileId&) const = default;
};
enum class FileKind { Regular, Directory, CharDevice, Fifo, Other };
struct FileInfo {
  FileId id;
  FileKind kind = FileKind::Other;
};
// Of an open file, and of a path (through its symbolic links); false with
// errno.
bool fileInfo(Fd fd, FileInfo& info);
bool fileInfo(const char* path, FileInfo& info);
// Whether path names a file, through its links.
bool fileExists(const char* path);
// The folder made absolute, links resolved; empty when it does not exist.
std::string realFolder(const std::string& folder);

// A file replaced whole: the text goes into a new file ".NAME.XXXXXX" beside
// it (mode 0666 less the umask), synced and then renamed over it, so a run
// that dies leaves the last good file.  Symbolic links are followed: the new
// file goes where the link leads, also to a file not there yet, and the link
// stays.  With temp empty, fd is a file the caller opened to write in place
// (a character device).
struct Replacement {
  Fd fd = kNoFd;
  std::string temp;    // the new file
  std::string target;  // the file it replaces
};
// The new file for path; false with errno.
bool startReplacement(const std::string& path, Replacement& r);
// Synced, closed and renamed over the target when written and all went well;
// otherwise the new file goes and the old one stays.  Async-signal-safe.
bool finishReplacement(Replacement& r, bool written);
// Closed and removed, the old file left as it was.
void dropReplacement(Replacement& r);

// The signals that end a run: interrupt, terminate, hang-up, broken pipe.
// The handler goes on each one that still has its default action (once);
// all of them are blocked while it runs.
void installFatalHandler(void (*handler)(int));
// The fatal signals held off, and let through again as they were before.
struct SignalMask {
  unsigned blockedBefore = 0;
};
void blockFatalSignals(SignalMask& before);
void restoreFatalSignals(const SignalMask& before);
// From a handler: the default action back, the signal let through and
// raised, so the process dies of it as it would have.
void dieOfSignal(int sig);

// The signals that stop a long run (interrupt, terminate, hang-up) go to
// handler, except one the caller ignored; released, the handlers before are
// back.  One catch at a time.
void catchStopSignals(void (*handler)(int));
void releaseStopSignals();

// A shared library, every symbol bound now and kept to itself; nullptr on
// failure, and libraryError() says why.
void* loadLibrary(const char* path);
// A symbol of it, nullptr when it has none.
void* librarySymbol(void* library, const char* name);
// The last failure of the two above, or nullptr.
const char* libraryError();

// Whether standard input is a terminal.
bool stdinIsTerminal();
// Throws away what was typed ahead on the terminal, read or not yet.
bool discardTerminalInput();

// Seconds since 1970 now.  Async-signal-safe.
long long wallClockSeconds();
// This computer's name; empty when it has none.
std::string hostName();
// The program's own name, without its folder.
const char* programName();

}  // namespace platform
