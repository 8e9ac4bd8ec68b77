#include "buslib/vendor_library.h"

namespace vmebus {

void* loadVendorLibrary(const std::string& path, std::string& failure) {
  // The loader would wait on a FIFO for ever.
  platform::FileInfo st;
  if (path.find_first_of("/\\") != std::string::npos && platform::fileInfo(path.c_str(), st) &&
      st.kind != platform::FileKind::Regular) {
    failure = "cannot load the library: " + path + ": not a regular file";
    return nullptr;
  }
  void* dl = platform::loadLibrary(path.c_str());
  if (dl == nullptr) {
    const char* e = platform::libraryError();
    failure = "cannot load the library: " + std::string(e != nullptr ? e : path);
  }
  return dl;
}

}  // namespace vmebus
