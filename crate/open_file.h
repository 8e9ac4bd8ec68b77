// Opening a file of the crate or the bus library (crate file, trace, device)
// so that it never takes standard input, output or error: when one of them
// was closed, console lines must not land in the file, nor the file's bytes
// be read as answers.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <string>

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

// Reads a whole file into text, opened as above.  A directory, or a read that
// fails part-way, gives false with errno set; reading stops once text holds
// more than limit bytes, so a file without end cannot grow it without bound.
inline bool readWholeFile(const char* path, std::size_t limit, std::string& text) {
  const int fd = openAboveStdio(path, O_RDONLY | O_NOCTTY);
  if (fd < 0) return false;
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
