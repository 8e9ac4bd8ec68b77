// The kernel method in a build without it (Windows): VME_BUS=vme_user is
// refused in one line.
#include "buslib/vme_user.h"

namespace vmebus {

std::unique_ptr<AccessMethod> makeVmeUserBus(const BusConfig& config, std::string& error) {
  error = "VME_BUS=vme_user" + (config.arguments.empty() ? "" : ":" + config.arguments) +
          ": the kernel method is Linux's VME interface and not in this build (sim, "
          "caen:MODEL:LINK[:NODE])";
  return nullptr;
}

}  // namespace vmebus
