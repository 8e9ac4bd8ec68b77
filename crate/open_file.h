// Opening a file of the crate or the bus library (crate file, trace, device)
// so that it never takes standard input, output or error: when one of them
// was closed, console lines must not land in the file, nor the file's bytes
// be read as answers.  And the run's input files, which the trace must never
// be.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace vmesim {

// open(2) with O_CLOEXEC; a descriptor of 0 to 2 is moved above them.  -1
// with errno on failure.
inline int openAboveStdio(const char* path, int flags, mode_t mode = 0) {
  const int fd = ::open(path, flags | O_CLOEXEC, mode);
  if (fd < 0 || fd > STDERR_FILENO) return fd;
  const int high = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  const int e = errno;
  ::close(fd);
  errno = e;
  return high;
}

// The errno readWholeFile gives for a FIFO, a socket or a block device: a
// FIFO would block the run until some writer came.
constexpr int kNotRegularFile = ENOTSUP;

// The reason for errno e after readWholeFile.
inline const char* fileErrorText(int e) {
  return e == kNotRegularFile ? "not a regular file" : std::strerror(e);
}

// An input file of the run, by device and inode.
struct InputFile {
  dev_t dev = 0;
  ino_t ino = 0;
  std::string path;
  const char* what = "";  // "crate file", "device table", "input file"
};

// Every input noted so far.  Inside a function: noted before main.
inline std::vector<InputFile>& inputFiles() {
  static std::vector<InputFile> files;
  return files;
}

// Told of every input noted (the bus library checks it against its trace).
// False with errno when the input is refused: ENOENT for a file the trace
// made a moment ago under that name (not there), EEXIST for the trace itself
// (said already).
inline bool (*gInputNoted)(const InputFile&) = nullptr;

// True when st is a file that a trace could write into: a character device
// (/dev/null, a terminal) is read and written by many without harm.
inline bool sharable(const struct stat& st) { return S_ISCHR(st.st_mode); }

// True when the file st describes is the input f.  An input read whole and
// closed may since have been removed and its inode given to a new file: the
// path must still name it.
inline bool isInput(const struct stat& st, const InputFile& f) {
  struct stat now {};
  return st.st_dev == f.dev && st.st_ino == f.ino && ::stat(f.path.c_str(), &now) == 0 &&
         now.st_dev == f.dev && now.st_ino == f.ino;
}

// Notes the file open on fd, read from path, as an input of the run.  False
// with errno as gInputNoted sets it when the input is refused.
inline bool noteInputFile(int fd, const char* path, const char* what) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || sharable(st)) return true;
  InputFile f;
  f.dev = st.st_dev;
  f.ino = st.st_ino;
  f.path = path;
  f.what = what;
  if (gInputNoted != nullptr && !gInputNoted(f)) return false;
  inputFiles().push_back(f);
  return true;
}

// write(2) until everything is out, across interruptions; false on an
// error.  Async-signal-safe.
inline bool writeAll(int fd, const char* p, std::size_t n) {
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

// Reads a whole file into text, opened as above without blocking, and notes
// it as an input (what names it).  A directory, a FIFO, a socket, a block
// device (kNotRegularFile), or a read that fails part-way, gives false with
// errno set; reading stops once text holds more than limit bytes, so a file
// without end (a character device) cannot grow it without bound.
inline bool readWholeFile(const char* path, std::size_t limit, std::string& text,
                          const char* what = "input file") {
  const int fd = openAboveStdio(path, O_RDONLY | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 ||
      !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode) || S_ISCHR(st.st_mode))) {
    ::close(fd);
    errno = kNotRegularFile;
    return false;
  }
  if (!noteInputFile(fd, path, what)) {
    const int e = errno;
    ::close(fd);
    errno = e;
    return false;
  }
  text.clear();
  char buf[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int e = errno;
      ::close(fd);
      errno = e;
      return false;
    }
    if (n == 0) break;
    text.append(buf, static_cast<std::size_t>(n));
    if (text.size() > limit) break;
  }
  ::close(fd);
  return true;
}

}  // namespace vmesim
