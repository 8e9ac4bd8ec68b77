// Access methods: the ways the bus library reaches a VME bus.  Every library
// call and every access through a mapped pointer goes through one of them.
//
//   sim       the simulated crate of this suite
//   vme_user  the Linux kernel's VME user interface (/dev/bus/vme), or its
//             in-process stand-in over the simulated crate (buslib/vme_user.h)
//
// The interface holds what every method has; what a method keeps of its own
// (devices, descriptors, per-window state) stays inside the method.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "buslib/bus_config.h"
#include "common/bus_types.h"
#include "buslib/byte_order.h"

namespace vmebus {

using VmeStatus = std::int16_t;

class AccessMethod;
// The method in use, null before the bus is configured.
AccessMethod* currentMethod();

// One mapped window of the bus library.
struct Window {
  Space space = Space::A24;
  std::uint32_t vmeBase = 0;
  std::uint32_t size = 0;
  std::uint32_t hostBase = 0;  // synthetic host address, printed by %p
  std::uint32_t handle = 0;
  bool mapped = false;
  AccessMethod* method = nullptr;
  // The method's own number for the window, set by its map(); what it
  // stands for is the method's business.
  std::uint32_t token = 0;
};

// A device table: logical address of a device name, or -1.
class DeviceLookup {
 public:
  virtual ~DeviceLookup() = default;
  virtual int lookup(const std::string& name) const = 0;
};

class AccessMethod {
 public:
  virtual ~AccessMethod() = default;
  // "sim" or "vme_user".
  virtual const char* name() const = 0;
  // The bus in words, for the start-up line: crate file or device folder.
  virtual std::string describe() const = 0;

  // Takes the bus: the simulated crate loaded, a bridge opened.  False with
  // the one line to say in error ("vme-bus: ..."); the method is then not
  // open.  Opening an
  // open method does nothing.
  virtual bool open(std::string& error) = 0;
  // Gives the bus back (every window unmapped before); the next open takes
  // it again.
  virtual void close() = 0;

  // Opens w (space, vmeBase and size set) onto the bus.  A failure returns a
  // negative status and has said why on standard error; w is then unused.
  virtual VmeStatus map(Window& w) = 0;
  virtual void unmap(Window& w) = 0;
  // One bus cycle at a byte offset inside the window, at an address aligned
  // to its width.  False for a bus error; a failed read gives all ones.
  virtual bool read(const Window& w, std::uint32_t offset, Width width, std::uint32_t& value) = 0;
  virtual bool write(const Window& w, std::uint32_t offset, Width width, std::uint32_t value) = 0;

  // Optional capabilities, null where the method has none.
  // Its own device table (used when no table file is given).
  virtual const DeviceLookup* deviceLookup() const { return nullptr; }
  // Statuses forced on the library calls.
  virtual const ForcedStatuses* forcedStatuses() const { return nullptr; }
};

// The simulated crate; its open loads crateFile (empty: the built-in crate)
// unless a crate is in place already.
std::unique_ptr<AccessMethod> makeSimMethod(const std::string& crateFile = "");
// Its device table: the boards with a name=, the logical address being the
// board's position in the crate, from 1.
const DeviceLookup& crateNames();

// The method the configuration names (the one registry of methods).  Null
// and error set on a bad name or arguments.
std::unique_ptr<AccessMethod> makeMethod(const BusConfig& config, std::string& error);
// The same from a VME_BUS value ("sim", "vme_user", "vme_user:DIR",
// "vme_user:standin").
std::unique_ptr<AccessMethod> methodNamed(const std::string& bus, ByteOrder order,
                                          std::string& error);

// The method in use (the bus must be configured).  Replacing it unmaps
// every window of the old one and closes it; the new one is opened by the
// next InitVXIlibrary.
AccessMethod& method();
void useMethod(std::unique_ptr<AccessMethod> m);

}  // namespace vmebus
