#include "foundation/file_player.h"

#include <cerrno>
#include <cstring>

#include "buslib/bus_trace.h"
#include "foundation/console.h"
#include "platform/platform.h"

std::FILE* playerOpen(const char* program, const char* fileName) {
  // Binary (a Ctrl-Z is a byte), and open through the platform layer, so that
  // a trace made under its name can go again while it is open.
  const platform::Fd fd = platform::openFile(fileName, platform::kRead);
  std::FILE* file = fd == platform::kNoFd ? nullptr : fdopen(fd, "rb");
  if (fd != platform::kNoFd && file == nullptr) platform::closeFile(fd);
  // A trace must never write into the file played; a file the trace made
  // under its name was not there.
  if (file != nullptr && !vmebus::noteInputFile(platform::fileDescriptor(file), fileName)) {
    const int e = errno;
    std::fclose(file);
    // The trace itself: the bus has said why, and the run ends untrusted.
    if (e == EEXIST) return nullptr;
    file = nullptr;
    errno = e;
  }
  if (file == nullptr) {
    const int e = errno;
    std::printf("%s: can't open file %s\n", program, fileName);
    std::fflush(stdout);
    errno = e;
    std::perror(fileName);
    return nullptr;
  }
  std::printf("%s: reading file %s\n\n", program, fileName);
  return file;
}

bool playerNextLine(std::FILE* file, char* line, bool& nul) {
  while (!std::feof(file)) {
    const std::size_t n = readTextLine(file, line);
    if (n > 0) {
      nul = std::memchr(line, '\0', n) != nullptr;
      return true;
    }
    if (std::ferror(file)) return false;  // a read error must not spin here
  }
  return false;
}

void playerRefuseNul(std::FILE* file, const char* program, const char* fileName, long lineNo) {
  std::printf("%s: line %ld of file %s holds a NUL byte: not a text file, not played further\n",
              program, lineNo, fileName);
  std::fclose(file);
}

void playerEcho(const char* line, int fields) {
  if (std::strchr(line, '"') == nullptr && fields != -1) std::printf("file: %s", line);
}

bool playerFinish(std::FILE* file, const char* program, const char* fileName) {
  std::printf("end of file\n");
  if (std::ferror(file)) {
    std::printf("%s: error reading file %s\n", program, fileName);
    std::fflush(stdout);
    std::perror(fileName);
    std::fclose(file);
    return false;
  }
  if (std::fclose(file) != 0) std::printf("error closing file\n");
  return true;
}
