// The CAEN bridge method: a PC reaches the crate through one of CAEN's
// bridges (V1718 or V3718 on USB, an A2818, A3818 or A4818 optical link to a
// V2718, V3718 or V4718, a V4718 on Ethernet) and the vendor's libCAENVME.so,
// loaded at run time.
#pragma once

#include <memory>
#include <string>

#include "buslib/access_method.h"

namespace vmebus {

// The method for "caen:ARGUMENTS", ARGUMENTS being MODEL:LINK[:NODE].  The
// library (libCAENVME.so, or the file VME_CAEN_LIBRARY names) is loaded and
// the bridge opened here, once.  A value without MODEL and LINK gives null and
// error.  Any other failure (the library, a symbol, the model, the link, the
// open) gives a method whose first map says why in one line on standard error
// and whose every map fails, so no cycle is made.
std::unique_ptr<AccessMethod> makeCaenMethod(const std::string& arguments,
                                             const std::string& library, std::string& error);

// The library close call: ends the bridge of the CAEN method in use, if any.
// The next window opens it again.
void closeCaenBridge();

}  // namespace vmebus
