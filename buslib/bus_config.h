// The bus library's settings and its start.
//
// The settings come from the environment, read in one place
// (busConfigFromEnvironment).  The bus starts from them explicitly, never
// before main: a program starts it once its command line is read.  A program
// that ends before that loads no crate, opens no trace and says nothing.
#pragma once

#include <string>

#include "buslib/byte_order.h"

namespace vmebus {

struct BusConfig {
  std::string method = "sim";  // VME_BUS before its first ':'
  std::string arguments;       // after it: a device folder, "standin", a bridge
  ByteOrder order = ByteOrder::Big;  // VME_BYTE_ORDER
  std::string crateFile;       // VME_SIM_CRATE; empty: the built-in default crate
  std::string tracePath;       // VME_TRACE (or VME_SIM_TRACE); empty: no trace
  std::string traceLimit;      // VME_TRACE_LIMIT; empty: the default limit
  std::string deviceTable;     // VME_DEVICE_TABLE; empty: the method's own table
  std::string caenLibrary;     // VME_CAEN_LIBRARY; empty: libCAENVME.so
  std::string visaLibrary;     // VME_VISA_LIBRARY; empty: libvisa.so (visa64.dll)
  std::string nivxiLibrary;    // VME_NIVXI_LIBRARY; empty: nivxi.dll
};

// Splits a VME_BUS value into method and arguments.  False with error set
// on an empty method or nothing after the colon.
bool parseBusName(const std::string& bus, BusConfig& config, std::string& error);

// VME_BUS, VME_BYTE_ORDER, VME_SIM_CRATE, VME_TRACE (VME_SIM_TRACE),
// VME_TRACE_LIMIT, VME_DEVICE_TABLE, VME_CAEN_LIBRARY, VME_VISA_LIBRARY and
// VME_NIVXI_LIBRARY.  VME_BUS unset: the simulated crate when VME_SIM_CRATE is
// set, else the kernel interface when /dev/bus/vme/ctl exists, else the
// simulated crate.  False with error set on a bad value.
bool busConfigFromEnvironment(BusConfig& config, std::string& error);

// Starts the bus: the method chosen and opened (the crate loaded, a bridge
// opened), the trace opened, the line naming the bus on standard error.  A
// bad setting gives false with the one line to say in error ("vme-bus: ..."),
// before any cycle; the caller decides how the run ends.  Nothing happens
// once the bus has started.  The library calls need a started bus.
bool startBus(const BusConfig& config, std::string& error);
// startBus from the environment, unless started.
bool startBusFromEnvironment(std::string& error);
bool busStarted();
// The settings of the bus in use.
const BusConfig& busConfig();

// From now on the bus is the simulated crate, whatever a configuration asks,
// and the environment is not read: the crate is the built-in default (test
// and benchmark binaries set this before main, so they never reach a real
// crate).
void forceSimulatedBus();
bool busForcedSimulated();

}  // namespace vmebus
