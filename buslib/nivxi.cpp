#include "buslib/nivxi.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "buslib/access_method.h"
#include "buslib/bus_config.h"
#include "buslib/bus_trace.h"
#include "buslib/caen.h"
#include "buslib/device_table.h"
#include "crate/crate.h"

namespace vmebus {
namespace {

constexpr std::uint32_t kMaxWindows = 64;
constexpr std::uint32_t kHostBase = 0x10000000;
constexpr std::uint32_t kHostStride = 0x00100000;

struct Library {
  bool initialised = false;
  std::uint32_t windowSize = VXI_DEFAULT_WINDOW_SIZE;
  bool busErrorLatch = false;
  // By handle; 0 unused.  A record is made at the handle's first map (a
  // Window made here before main would start the bus) and then kept: a
  // pointer into an unmapped window still finds it unmapped.
  std::array<std::optional<Window>, kMaxWindows + 1> windows{};
  alignas(8) std::uint8_t info[64] = {};
};

Library lib;
std::unique_ptr<AccessMethod> current;
BusConfig config;
bool simulatedOnly = false;

// Every library call starts the bus first.
inline void started() {
  if (current == nullptr) startBusFromEnvironment();
}

const ForcedStatuses& force() {
  static const ForcedStatuses none;
  const ForcedStatuses* f = current->forcedStatuses();
  return f != nullptr ? *f : none;
}

Window* byHandle(std::uint32_t handle) {
  if (handle == 0 || handle > kMaxWindows || !lib.windows[handle] || !lib.windows[handle]->mapped)
    return nullptr;
  return &*lib.windows[handle];
}

// The lowest handle without a mapped window, 0 when all are in use.
std::uint32_t freeHandle() {
  for (std::uint32_t h = 1; h <= kMaxWindows; ++h)
    if (!lib.windows[h] || !lib.windows[h]->mapped) return h;
  return 0;
}

void traceCall(const char* text) { traceNote(text); }

void unmapAll() {
  for (auto& w : lib.windows) {
    if (!w || !w->mapped) continue;
    if (w->method != nullptr) w->method->unmap(*w);
    w->mapped = false;
  }
}

[[noreturn]] void stop(const std::string& why) {
  std::fprintf(stderr, "%s\n", why.c_str());
  std::exit(2);
}

}  // namespace

void forceSimulatedBus() { simulatedOnly = true; }
bool busForcedSimulated() { return simulatedOnly; }
bool busStarted() { return current != nullptr; }
const BusConfig& busConfig() { return config; }

bool startBusFromEnvironment(std::string& error) {
  if (current != nullptr) return true;
  BusConfig c;
  // A test or benchmark binary runs on the default simulated crate, whatever
  // the environment says.
  if (!simulatedOnly && !busConfigFromEnvironment(c, error)) {
    error = "vme-bus: " + error;
    return false;
  }
  return startBus(c, error);
}

void startBusFromEnvironment() {
  std::string error;
  if (!startBusFromEnvironment(error)) stop(error);
}

// Chooses the method, loads the crate when the method needs it, opens the
// trace and says which bus the run is on.
bool startBus(const BusConfig& wanted, std::string& error) {
  if (current != nullptr) return true;
  BusConfig c = wanted;
  if (simulatedOnly) {
    c.method = "sim";
    c.arguments.clear();
  }
  auto m = makeMethod(c, error);
  if (!m) {
    error = "vme-bus: " + error;
    return false;
  }
  // A crate put in place before the start (a test's) is kept.
  if (m->usesSimulatedCrate() && vmesim::gCrate == nullptr && !vmesim::loadCrate(c.crateFile, error)) {
    error = "vme-sim: " + error;
    return false;
  }
  if (!startTrace(c, error)) {
    error = "vme-bus: " + error;
    return false;
  }
  config = c;
  current = std::move(m);
  std::fprintf(stderr, "vme-bus: using %s\n", current->describe().c_str());
  installExitChecks();
  return true;
}

AccessMethod& method() {
  started();
  return *current;
}
AccessMethod* currentMethod() {
  started();
  return current.get();
}

void useMethod(std::unique_ptr<AccessMethod> m) {
  started();
  unmapAll();
  current = std::move(m);
}

void busErrorSeen() {
  std::uint32_t n;
  std::memcpy(&n, lib.info + VXI_INFO_BUS_ERRORS, sizeof n);
  ++n;
  std::memcpy(lib.info + VXI_INFO_BUS_ERRORS, &n, sizeof n);
  lib.busErrorLatch = true;
}

std::uint32_t outsideWindow(const Window* w, std::uint32_t offset, Width width, bool write) {
  const int bits = 8 * static_cast<int>(width);
  if (w == nullptr)
    std::fprintf(stderr, "vme-bus: %s D%d through a null window pointer, offset 0x%X refused\n",
                 write ? "write" : "read", bits, offset);
  else
    std::fprintf(stderr,
                 "vme-bus: %s D%d at offset 0x%X is outside window %u (%s 0x%08X, size 0x%X)\n",
                 write ? "write" : "read", bits, offset, w->handle, spaceName(w->space),
                 w->vmeBase, w->size);
  busErrorSeen();
  return allOnes(width);
}

std::uint32_t misalignedCycle(const Window& win, char dir, std::uint32_t address, Width w,
                              std::uint32_t value) {
  busErrorSeen();
  traceIfOn(dir, win.space, address, w, value, true);
  return allOnes(w);
}

PtrText formatHostAddress(std::uint32_t address) {
  PtrText t{};
  std::snprintf(t.data(), t.size(), "%08X", address);
  return t;
}

}  // namespace vmebus

using vmebus::lib;

VXIstatus InitVXIlibrary() {
  vmebus::started();
  VXIstatus s = vmebus::force().init;
  if (s == 0) s = lib.initialised ? VXI_ALREADY_INITIALIZED : VXI_SUCCESS;
  if (s >= 0) lib.initialised = true;
  return s;
}

VXIstatus CloseVXIlibrary() {
  vmebus::started();
  VXIstatus s = vmebus::force().close;
  if (s == 0 && !lib.initialised) s = VXI_NOT_INITIALIZED;
  if (s >= 0) {
    vmebus::unmapAll();
    vmebus::closeCaenBridge();
    lib.initialised = false;
    vmebus::traceCall("close library");
  }
  return s;
}

const void* GetVXIlibraryInfo() {
  vmebus::started();
  return lib.info;
}

VXIstatus SetVXIwindowSize(std::uint32_t size) {
  vmebus::started();
  VXIstatus s = vmebus::force().size;
  if (s == 0 && (size == 0 || size % 4 != 0 || size > 0x1000000)) s = VXI_BAD_PARAMETER;
  if (s >= 0) lib.windowSize = size;
  return s;
}

VmePtr MapVXIwindow(std::uint32_t access, std::uint32_t address, std::uint32_t /*timeout*/,
                    std::uint32_t* window, VXIstatus* status) {
  vmebus::started();
  VXIstatus s = vmebus::force().map;
  if (s == 0) {
    if (!lib.initialised) s = VXI_NOT_INITIALIZED;
    else if (access != VXI_ACCESS_A24 && access != VXI_ACCESS_A32) s = VXI_BAD_PARAMETER;
  }
  const auto space = access == VXI_ACCESS_A32 ? vmebus::Space::A32 : vmebus::Space::A24;
  if (s == 0 && static_cast<std::uint64_t>(address) + lib.windowSize > vmebus::spaceSize(space))
    s = VXI_BAD_ADDRESS;
  // A forced warning still needs a free window.  An unmapped window's handle
  // is free again, the lowest first.
  const std::uint32_t h = vmebus::freeHandle();
  if (s >= 0 && h == 0) s = VXI_NO_WINDOW;
  vmebus::Window w;
  w.space = space;
  w.vmeBase = address;
  w.size = lib.windowSize;
  w.method = vmebus::current.get();
  if (s >= 0) {
    const VXIstatus m = w.method->map(w);
    if (m < 0) s = m;
  }
  *status = s;
  if (s < 0) return VmePtr();

  w.hostBase = vmebus::kHostBase + h * vmebus::kHostStride;
  w.handle = h;
  w.mapped = true;
  lib.windows[h] = w;
  *window = h;
  char text[96];
  std::snprintf(text, sizeof text, "map window %u %s 0x%08X size 0x%X", h,
                vmebus::spaceName(space), address, w.size);
  vmebus::traceCall(text);
  return VmePtr(&*lib.windows[h], 0);
}

VXIstatus GetVXIwindowRange(std::uint32_t window, std::uint32_t* first, std::uint32_t* last) {
  vmebus::started();
  VXIstatus s = vmebus::force().range;
  const vmebus::Window* w = vmebus::byHandle(window);
  if (s == 0 && w == nullptr) s = VXI_FAILURE;
  if (s >= 0 && w != nullptr) {
    *first = w->vmeBase;
    *last = w->vmeBase + w->size - 1;
  }
  return s;
}

VXIstatus UnmapVXIwindow(std::uint32_t window) {
  vmebus::started();
  VXIstatus s = vmebus::force().unmap;
  vmebus::Window* w = vmebus::byHandle(window);
  if (s == 0 && w == nullptr) s = VXI_FAILURE;
  if (s >= 0 && w != nullptr) {
    w->method->unmap(*w);
    w->mapped = false;
    char text[48];
    std::snprintf(text, sizeof text, "unmap window %u", window);
    vmebus::traceCall(text);
  }
  return s;
}

VXIstatus VXIpeek(VmePtr address, std::int16_t width, std::uint32_t* value) {
  vmebus::started();
  std::uint32_t before;
  std::memcpy(&before, lib.info + VXI_INFO_BUS_ERRORS, sizeof before);
  switch (width) {
    case 1: *value = address.read8(); break;
    case 2: *value = address.read16(); break;
    case 4: *value = address.read32(); break;
    default: return VXI_BAD_PARAMETER;
  }
  std::uint32_t after;
  std::memcpy(&after, lib.info + VXI_INFO_BUS_ERRORS, sizeof after);
  return after == before ? VXI_SUCCESS : VXI_FAILURE;
}

VXIstatus FindVXIdevice(const char* name, std::int16_t, std::int16_t, std::int16_t, std::int16_t,
                        std::int16_t, std::int16_t, std::int16_t* la) {
  vmebus::started();
  const std::string wanted = name != nullptr ? name : "";
  // The table file when one is given, else the method's own table, if any.
  const std::string& table = vmebus::config.deviceTable;
  const vmebus::DeviceLookup* own = vmebus::current->deviceLookup();
  const int found = !table.empty()  ? vmebus::lookupInTable(table.c_str(), wanted)
                    : own != nullptr ? own->lookup(wanted)
                                     : -1;
  *la = static_cast<std::int16_t>(found);
  VXIstatus s = vmebus::force().lookup;
  if (s == 0 && found < 0) s = VXI_FAILURE;
  return s;
}

VXIstatus GetVXIbusStatus(std::int16_t controller, std::int16_t field, std::int16_t* value) {
  vmebus::started();
  *value = 0;
  VXIstatus s = vmebus::force().status;
  if (s == 0 && controller != -1 && controller < 0) s = VXI_BAD_PARAMETER;
  if (field == 1) {
    *value = lib.busErrorLatch ? 1 : 0;
    lib.busErrorLatch = false;
  }
  return s;
}

VXIstatus PrepareVXIprobe() {
  vmebus::started();
  lib.busErrorLatch = false;
  return VXI_SUCCESS;
}
