// Opening a file of the crate or the bus library (crate file, trace, device)
// so that it never takes standard input, output or error: when one of them
// was closed, console lines must not land in the file, nor the file's bytes
// be read as answers.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

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

}  // namespace vmesim
