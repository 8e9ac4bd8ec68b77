// The bus library's settings, read from the environment in this one place.
#include "buslib/bus_config.h"

#include <cstdlib>

#include "platform/platform.h"

namespace vmebus {

namespace {

std::string text(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : "";
}

}  // namespace

bool parseBusName(const std::string& bus, BusConfig& config, std::string& error) {
  const auto colon = bus.find(':');
  config.method = bus.substr(0, colon);
  config.arguments = colon == std::string::npos ? "" : bus.substr(colon + 1);
  if (config.method.empty() || (colon != std::string::npos && config.arguments.empty())) {
    error = "VME_BUS=" + bus + ": not a bus (a method name, then its arguments after a colon)";
    return false;
  }
  return true;
}

bool busConfigFromEnvironment(BusConfig& config, std::string& error) {
  config = BusConfig{};
  config.crateFile = text("VME_SIM_CRATE");
  config.tracePath = text("VME_TRACE");
  if (config.tracePath.empty()) config.tracePath = text("VME_SIM_TRACE");
  config.traceLimit = text("VME_TRACE_LIMIT");
  config.deviceTable = text("VME_DEVICE_TABLE");
  config.caenLibrary = text("VME_CAEN_LIBRARY");
  config.visaLibrary = text("VME_VISA_LIBRARY");
  config.nivxiLibrary = text("VME_NIVXI_LIBRARY");
  std::string bus = text("VME_BUS");
  if (bus.empty()) {
    if (!config.crateFile.empty()) bus = "sim";
    else if (platform::fileExists("/dev/bus/vme/ctl")) bus = "vme_user";
    else bus = "sim";
  }
  if (!parseBusName(bus, config, error)) return false;
  const std::string order = text("VME_BYTE_ORDER");
  if (order == "little") {
    config.order = ByteOrder::Little;
  } else if (!order.empty() && order != "big") {
    error = "VME_BYTE_ORDER=" + order + ": expected big or little";
    return false;
  }
  return true;
}

}  // namespace vmebus
