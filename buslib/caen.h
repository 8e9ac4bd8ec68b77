// The CAEN bridge method: a PC reaches the crate through one of CAEN's
// bridges (V1718 or V3718 on USB, an A2818, A3818 or A4818 optical link to a
// V2718, V3718 or V4718, a V4718 on Ethernet) and the vendor's libCAENVME.so,
// loaded at run time.
#pragma once

#include <memory>
#include <string>

#include "buslib/access_method.h"

namespace vmebus {

// The method for "caen:ARGUMENTS", ARGUMENTS being MODEL:LINK[:NODE].  A
// value without MODEL and LINK gives null and error.  Its open loads the
// library (libCAENVME.so, or the file VME_CAEN_LIBRARY names) once and opens
// the bridge; its close ends the bridge.  A failure (the library, a symbol,
// the model, the link, the open) is the open's one line, and a map on a
// bridge that is not open fails, so no cycle is made.
std::unique_ptr<AccessMethod> makeCaenMethod(const std::string& arguments,
                                             const std::string& library, std::string& error);

}  // namespace vmebus
