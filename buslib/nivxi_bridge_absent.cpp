// The NI-VXI method in a build without it (anything but 32-bit Windows):
// VME_BUS=nivxi is refused in one line.
#include "buslib/nivxi_bridge.h"

namespace vmebus {

const char* const kNivxiForms = "";

std::unique_ptr<AccessMethod> makeNivxiMethod(const BusConfig& config, std::string& error) {
  error = "VME_BUS=nivxi" + (config.arguments.empty() ? "" : ":" + config.arguments) +
          ": the NI-VXI method is built for 32-bit Windows only and not in this build";
  return nullptr;
}

}  // namespace vmebus
