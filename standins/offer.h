// Offers the in-process stand-ins to the bus library: VME_BUS=vme_user:standin
// reaches the simulated crate through the kernel method.
#pragma once

namespace vmebus {

void offerStandins();

}  // namespace vmebus
