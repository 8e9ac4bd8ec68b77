// Linked into every test binary: the bus is the simulated crate whatever the
// environment says (buslib_simulated_only), and it starts before the first
// test, so that no test's captured output holds the line naming the bus.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "buslib/bus_config.h"
#include "standins/offer.h"

namespace {

class SimulatedBus : public testing::Environment {
 public:
  void SetUp() override {
    vmebus::offerStandins();
    std::string error;
    if (vmebus::startBusFromEnvironment(error)) return;
    std::fprintf(stderr, "%s\n", error.c_str());
    std::abort();
  }
};

testing::Environment* const bus = testing::AddGlobalTestEnvironment(new SimulatedBus);

}  // namespace
