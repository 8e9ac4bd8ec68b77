// The VISA method: a PC reaches the crate through a VISA library's
// memory-access resource of a VXI/VME bridge (VXI0::MEMACC by default),
// loaded at run time.
#pragma once

#include <memory>
#include <string>

#include "buslib/access_method.h"

namespace vmebus {

// The method for "visa[:RESOURCE]".  Its open loads the library
// (VME_VISA_DEFAULT_LIBRARY, or the file VME_VISA_LIBRARY names) once, opens
// the default resource manager and a session on the resource; its close
// closes both.  A failure is the open's one line, and a map on a session that
// is not open fails, so no cycle is made.
std::unique_ptr<AccessMethod> makeVisaMethod(const std::string& resource,
                                             const std::string& library);

}  // namespace vmebus
