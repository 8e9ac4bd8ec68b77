// Linked into every test binary: the bus is the simulated crate whatever the
// environment says (buslib_simulated_only), and it starts before the first
// test, so that no test's captured output holds the line naming the bus.
#include <gtest/gtest.h>

#include "buslib/bus_config.h"

namespace {

class SimulatedBus : public testing::Environment {
 public:
  void SetUp() override { vmebus::startBusFromEnvironment(); }
};

testing::Environment* const bus = testing::AddGlobalTestEnvironment(new SimulatedBus);

}  // namespace
