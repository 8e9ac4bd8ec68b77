// The NI-VXI method: on 32-bit Windows the suite's library calls go through
// National Instruments' nivxi.dll (or the file VME_NIVXI_LIBRARY names),
// loaded at run time.  Other builds have the file that refuses it.
#pragma once

#include <memory>
#include <string>

#include "buslib/access_method.h"

namespace vmebus {

// The method for "nivxi" (it takes no arguments).  Its open loads the library
// once, finds every call and initialises it; its close closes it, once per
// open.  A window is one of the library's own; every cycle is one VXIin or
// VXIout at the window's VME address plus the offset.
std::unique_ptr<AccessMethod> makeNivxiMethod(const BusConfig& config, std::string& error);
// Its VME_BUS value in the list of buses a bad value is told, "" where the
// method is not built.
extern const char* const kNivxiForms;

}  // namespace vmebus
