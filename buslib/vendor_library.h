// A bridge vendor's library, loaded at run time by the method that uses it.
#pragma once

#include <string>

#include "platform/platform.h"

namespace vmebus {

// Loads the library at path; a bare name is the loader's to find.  Null with
// failure set ("cannot load the library: ...") when it cannot be loaded.
void* loadVendorLibrary(const std::string& path, std::string& failure);

// The function name of the library dl as fn.  False with failure set ("the
// library has no NAME: ...") when it is missing and required.
template <typename Fn>
bool vendorSymbol(void* dl, Fn& fn, const char* name, bool required, std::string& failure) {
  fn = reinterpret_cast<Fn>(platform::librarySymbol(dl, name));
  if (fn != nullptr || !required) return true;
  const char* e = platform::libraryError();
  failure = std::string("the library has no ") + name + ": " + (e != nullptr ? e : "");
  return false;
}

}  // namespace vmebus
