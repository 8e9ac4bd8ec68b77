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
#include "buslib/device_table.h"
#include "crate/crate.h"

namespace vmebus {
namespace {

constexpr std::uint32_t kMaxWindows = 64;
constexpr std::uint32_t kHostBase = 0x10000000;
constexpr std::uint32_t kHostStride = 0x00100000;

// Everything the library holds between calls.
struct Library {
  BusConfig config;                     // the settings the bus was started from
  std::unique_ptr<AccessMethod> method;  // null until the bus is configured
  bool open = false;                    // the method holds the bus
  bool simulatedOnly = false;           // a test binary: only the simulated crate
  bool untrusted = false;               // the bus failed in a way that voids the run
  bool initialised = false;
  std::uint32_t windowSize = VXI_DEFAULT_WINDOW_SIZE;
  bool busErrorLatch = false;
  // By handle; 0 unused.  A record is made at the handle's first map and
  // then kept: a pointer into an unmapped window still finds it unmapped.
  std::array<std::optional<Window>, kMaxWindows + 1> windows{};
  alignas(8) std::uint8_t info[64] = {};
};

// Made at first use, so that a flag set before main is never lost.
Library& lib() {
  static Library library;
  return library;
}

const ForcedStatuses& force() {
  static const ForcedStatuses none;
  const ForcedStatuses* f = lib().method->forcedStatuses();
  return f != nullptr ? *f : none;
}

Window* byHandle(std::uint32_t handle) {
  Library& l = lib();
  if (handle == 0 || handle > kMaxWindows || !l.windows[handle] || !l.windows[handle]->mapped)
    return nullptr;
  return &*l.windows[handle];
}

// The lowest handle without a mapped window, 0 when all are in use.
std::uint32_t freeHandle() {
  Library& l = lib();
  for (std::uint32_t h = 1; h <= kMaxWindows; ++h)
    if (!l.windows[h] || !l.windows[h]->mapped) return h;
  return 0;
}

void traceCall(const char* text) { traceNote(text); }

void unmapAll() {
  for (auto& w : lib().windows) {
    if (!w || !w->mapped) continue;
    if (w->method != nullptr) w->method->unmap(*w);
    w->mapped = false;
  }
}

// Opens the method unless open; false with the line in error.
bool openMethod(std::string& error) {
  Library& l = lib();
  if (!l.open) l.open = l.method->open(error);
  return l.open;
}

}  // namespace

void forceSimulatedBus() { lib().simulatedOnly = true; }
bool busForcedSimulated() { return lib().simulatedOnly; }
bool busStarted() { return lib().method != nullptr; }
const BusConfig& busConfig() { return lib().config; }

void markRunUntrusted() { lib().untrusted = true; }
bool runTrusted() { return !lib().untrusted; }

bool startBusFromEnvironment(std::string& error) {
  if (busStarted()) return true;
  BusConfig c;
  // A test or benchmark binary runs on the default simulated crate, whatever
  // the environment says.
  if (!lib().simulatedOnly && !busConfigFromEnvironment(c, error)) {
    error = "vme-bus: " + error;
    return false;
  }
  return startBus(c, error);
}

// Chooses the method and opens it (the crate loaded, a bridge opened), opens
// the trace and says which bus the run is on.
bool startBus(const BusConfig& wanted, std::string& error) {
  Library& l = lib();
  if (l.method != nullptr) return true;
  BusConfig c = wanted;
  if (l.simulatedOnly) {
    c.method = "sim";
    c.arguments.clear();
  }
  auto m = makeMethod(c, error);
  if (!m) {
    error = "vme-bus: " + error;
    return false;
  }
  if (!m->open(error)) return false;
  if (!startTrace(c, error)) {
    m->close();
    error = "vme-bus: " + error;
    return false;
  }
  l.config = c;
  l.method = std::move(m);
  l.open = true;
  std::fprintf(stderr, "vme-bus: using %s\n", l.method->describe().c_str());
  installSignalHandlers();
  return true;
}

AccessMethod& method() { return *lib().method; }
AccessMethod* currentMethod() { return lib().method.get(); }

void useMethod(std::unique_ptr<AccessMethod> m) {
  Library& l = lib();
  unmapAll();
  if (l.method != nullptr && l.open) l.method->close();
  l.method = std::move(m);
  l.open = false;
}

void busErrorSeen() {
  Library& l = lib();
  std::uint32_t n;
  std::memcpy(&n, l.info + VXI_INFO_BUS_ERRORS, sizeof n);
  ++n;
  std::memcpy(l.info + VXI_INFO_BUS_ERRORS, &n, sizeof n);
  l.busErrorLatch = true;
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

namespace {

// A call before the bus is configured is the program's mistake: it starts no
// bus and makes no cycle.
bool configured() { return vmebus::busStarted(); }

}  // namespace

VXIstatus InitVXIlibrary() {
  if (!configured()) return VXI_NOT_INITIALIZED;
  VXIstatus s = vmebus::force().init;
  if (s == 0) s = lib().initialised ? VXI_ALREADY_INITIALIZED : VXI_SUCCESS;
  if (s >= 0) {
    // Closed by an earlier close call: the bus is taken again.
    std::string error;
    if (!vmebus::openMethod(error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      vmebus::markRunUntrusted();
      return VXI_FAILURE;
    }
    lib().initialised = true;
  }
  return s;
}

VXIstatus CloseVXIlibrary() {
  if (!configured()) return VXI_NOT_INITIALIZED;
  VXIstatus s = vmebus::force().close;
  if (s == 0 && !lib().initialised) s = VXI_NOT_INITIALIZED;
  if (s >= 0) {
    vmebus::unmapAll();
    if (lib().open) lib().method->close();
    lib().open = false;
    lib().initialised = false;
    vmebus::traceCall("close library");
  }
  return s;
}

const void* GetVXIlibraryInfo() { return lib().info; }

VXIstatus SetVXIwindowSize(std::uint32_t size) {
  if (!configured()) return VXI_NOT_INITIALIZED;
  VXIstatus s = vmebus::force().size;
  if (s == 0 && (size == 0 || size % 4 != 0 || size > 0x1000000)) s = VXI_BAD_PARAMETER;
  if (s >= 0) lib().windowSize = size;
  return s;
}

VmePtr MapVXIwindow(std::uint32_t access, std::uint32_t address, std::uint32_t /*timeout*/,
                    std::uint32_t* window, VXIstatus* status) {
  if (!configured()) {
    *status = VXI_NOT_INITIALIZED;
    return VmePtr();
  }
  vmebus::Library& l = lib();
  VXIstatus s = vmebus::force().map;
  if (s == 0) {
    if (!l.initialised) s = VXI_NOT_INITIALIZED;
    else if (access != VXI_ACCESS_A24 && access != VXI_ACCESS_A32) s = VXI_BAD_PARAMETER;
  }
  const auto space = access == VXI_ACCESS_A32 ? vmebus::Space::A32 : vmebus::Space::A24;
  if (s == 0 && static_cast<std::uint64_t>(address) + l.windowSize > vmebus::spaceSize(space))
    s = VXI_BAD_ADDRESS;
  // A forced warning still needs a free window.  An unmapped window's handle
  // is free again, the lowest first.
  const std::uint32_t h = vmebus::freeHandle();
  if (s >= 0 && h == 0) s = VXI_NO_WINDOW;
  vmebus::Window w;
  w.space = space;
  w.vmeBase = address;
  w.size = l.windowSize;
  w.method = l.method.get();
  if (s >= 0) {
    const VXIstatus m = w.method->map(w);
    if (m < 0) s = m;
  }
  *status = s;
  if (s < 0) return VmePtr();

  w.hostBase = vmebus::kHostBase + h * vmebus::kHostStride;
  w.handle = h;
  w.mapped = true;
  l.windows[h] = w;
  *window = h;
  char text[96];
  std::snprintf(text, sizeof text, "map window %u %s 0x%08X size 0x%X", h,
                vmebus::spaceName(space), address, w.size);
  vmebus::traceCall(text);
  return VmePtr(&*l.windows[h], 0);
}

VXIstatus GetVXIwindowRange(std::uint32_t window, std::uint32_t* first, std::uint32_t* last) {
  if (!configured()) return VXI_NOT_INITIALIZED;
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
  if (!configured()) return VXI_NOT_INITIALIZED;
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
  const std::uint8_t* info = lib().info;
  std::uint32_t before;
  std::memcpy(&before, info + VXI_INFO_BUS_ERRORS, sizeof before);
  switch (width) {
    case 1: *value = address.read8(); break;
    case 2: *value = address.read16(); break;
    case 4: *value = address.read32(); break;
    default: return VXI_BAD_PARAMETER;
  }
  std::uint32_t after;
  std::memcpy(&after, info + VXI_INFO_BUS_ERRORS, sizeof after);
  return after == before ? VXI_SUCCESS : VXI_FAILURE;
}

VXIstatus FindVXIdevice(const char* name, std::int16_t, std::int16_t, std::int16_t, std::int16_t,
                        std::int16_t, std::int16_t, std::int16_t* la) {
  *la = -1;
  if (!configured()) return VXI_NOT_INITIALIZED;
  const std::string wanted = name != nullptr ? name : "";
  // The table file when one is given, else the method's own table, if any.
  const std::string& table = lib().config.deviceTable;
  const vmebus::DeviceLookup* own = lib().method->deviceLookup();
  const int found = !table.empty()  ? vmebus::lookupInTable(table.c_str(), wanted)
                    : own != nullptr ? own->lookup(wanted)
                                     : -1;
  *la = static_cast<std::int16_t>(found);
  VXIstatus s = vmebus::force().lookup;
  if (s == 0 && found < 0) s = VXI_FAILURE;
  return s;
}

VXIstatus GetVXIbusStatus(std::int16_t controller, std::int16_t field, std::int16_t* value) {
  *value = 0;
  if (!configured()) return VXI_NOT_INITIALIZED;
  VXIstatus s = vmebus::force().status;
  if (s == 0 && controller != -1 && controller < 0) s = VXI_BAD_PARAMETER;
  if (field == 1) {
    *value = lib().busErrorLatch ? 1 : 0;
    lib().busErrorLatch = false;
  }
  return s;
}

VXIstatus PrepareVXIprobe() {
  if (!configured()) return VXI_NOT_INITIALIZED;
  lib().busErrorLatch = false;
  return VXI_SUCCESS;
}
