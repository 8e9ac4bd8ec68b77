// A binary that links this object never reaches a real crate: the bus it
// starts is the simulated crate, whatever VME_BUS says.  Only a flag is set
// before main; the binary starts the bus itself.
#include "buslib/bus_config.h"

namespace {

const bool simulated = (vmebus::forceSimulatedBus(), true);

}  // namespace
