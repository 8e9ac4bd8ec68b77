// Reading an input file of the run whole (crate file, device table), and the
// run's input files, which the trace must never be.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vmesim {

// The errno readWholeFile gives for a FIFO, a socket or a block device: a
// FIFO would block the run until some writer came.
constexpr int kNotRegularFile = ENOTSUP;

// The reason for errno e after readWholeFile.
inline const char* fileErrorText(int e) {
  return e == kNotRegularFile ? "not a regular file" : std::strerror(e);
}

// An input file of the run, by its identity.
struct InputFile {
  platform::FileId id;
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
inline bool sharable(const platform::FileInfo& st) {
  return st.kind == platform::FileKind::CharDevice;
}

// True when the file st describes is the input f.  An input read whole and
// closed may since have been removed and its inode given to a new file: the
// path must still name it.
inline bool isInput(const platform::FileInfo& st, const InputFile& f) {
  platform::FileInfo now;
  return st.id == f.id && platform::fileInfo(f.path.c_str(), now) && now.id == f.id;
}

// Notes the file open on fd, read from path, as an input of the run.  False
// with errno as gInputNoted sets it when the input is refused.
inline bool noteInputFile(int fd, const char* path, const char* what) {
  platform::FileInfo st;
  if (!platform::fileInfo(fd, st) || sharable(st)) return true;
  InputFile f;
  f.id = st.id;
  f.path = path;
  f.what = what;
  if (gInputNoted != nullptr && !gInputNoted(f)) return false;
  inputFiles().push_back(f);
  return true;
}

// Reads a whole file into text, opened without blocking, and notes it as an
// input (what names it).  A directory, a FIFO, a socket, a block device
// (kNotRegularFile), or a read that fails part-way, gives false with errno
// set; reading stops once text holds more than limit bytes, so a file
// without end (a character device) cannot grow it without bound.
inline bool readWholeFile(const char* path, std::size_t limit, std::string& text,
                          const char* what = "input file") {
  const int fd = platform::openFile(path, platform::kRead | platform::kNoBlock);
  if (fd < 0) return false;
  platform::FileInfo st;
  if (!platform::fileInfo(fd, st) ||
      !(st.kind == platform::FileKind::Regular || st.kind == platform::FileKind::Directory ||
        st.kind == platform::FileKind::CharDevice)) {
    platform::closeFile(fd);
    errno = kNotRegularFile;
    return false;
  }
  if (!noteInputFile(fd, path, what)) {
    const int e = errno;
    platform::closeFile(fd);
    errno = e;
    return false;
  }
  text.clear();
  if (!platform::readAll(fd, limit, text)) {
    const int e = errno;
    platform::closeFile(fd);
    errno = e;
    return false;
  }
  platform::closeFile(fd);
  return true;
}

}  // namespace vmesim
