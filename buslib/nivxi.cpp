#include "buslib/nivxi.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "buslib/access_method.h"
#include "buslib/bus_trace.h"
#include "crate/open_file.h"

namespace vmebus {
namespace {

constexpr std::uint32_t kMaxWindows = 64;
constexpr std::uint32_t kHostBase = 0x10000000;
constexpr std::uint32_t kHostStride = 0x00100000;

struct Library {
  bool initialised = false;
  std::uint32_t windowSize = VXI_DEFAULT_WINDOW_SIZE;
  std::uint32_t nextHandle = 1;
  bool busErrorLatch = false;
  std::array<Window, kMaxWindows + 1> windows{};  // by handle; 0 unused
  alignas(8) std::uint8_t info[64] = {};
};

Library lib;
std::unique_ptr<AccessMethod> current;

vmesim::LibraryForce force() { return current->force(); }

Window* byHandle(std::uint32_t handle) {
  if (handle == 0 || handle > kMaxWindows || !lib.windows[handle].mapped) return nullptr;
  return &lib.windows[handle];
}

void traceCall(const char* text) { traceNote(text); }

void unmapAll() {
  for (auto& w : lib.windows) {
    if (w.mapped && w.method != nullptr) w.method->unmap(w);
    w.mapped = false;
  }
}

// The device table file named by VME_DEVICE_TABLE: "NAME LOGICAL-ADDRESS" a
// line, '#' starts a comment.  -1 when the name is not there.
int lookupInTable(const char* path, const std::string& name) {
  // A table is a few lines; a larger file is not one.
  constexpr std::size_t kMaxTableBytes = 0x10000;
  std::string text;
  if (!vmesim::readWholeFile(path, kMaxTableBytes, text, "device table")) {
    std::fprintf(stderr, "vme-bus: device table %s cannot be read: %s\n", path,
                 vmesim::fileErrorText(errno));
    return -1;
  }
  if (text.size() > kMaxTableBytes || text.find('\0') != std::string::npos) {
    std::fprintf(stderr, "vme-bus: device table %s is not a table of names (NUL byte or over %zu "
                 "bytes)\n", path, kMaxTableBytes);
    return -1;
  }
  std::istringstream in(text);
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    const auto hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string key, number, extra;
    if (!(words >> key)) continue;
    if (key != name) continue;
    long long la = 0;
    if (!(words >> number) || (words >> extra) || !vmesim::parseNumber(number, la) ||
        la > 0x7FFF) {
      std::fprintf(stderr, "vme-bus: device table %s line %d: expected NAME LOGICAL-ADDRESS\n",
                   path, lineNo);
      return -1;
    }
    return static_cast<int>(la);
  }
  return -1;
}

// Chooses the bus, loads the crate when the bus needs it, opens the trace and
// says which bus the run is on.  A bad setting stops the program with one
// line on standard error and exit status 2, before its first output.
void startBus() {
  const auto text = [](const char* name) -> std::string {
    const char* v = std::getenv(name);
    return v != nullptr ? v : "";
  };
  ByteOrder order = ByteOrder::Big;
  const std::string orderText = text("VME_BYTE_ORDER");
  if (orderText == "little") {
    order = ByteOrder::Little;
  } else if (!orderText.empty() && orderText != "big") {
    std::fprintf(stderr, "vme-bus: VME_BYTE_ORDER=%s: expected big or little\n",
                 orderText.c_str());
    std::exit(2);
  }
  std::string bus = text("VME_BUS");
  if (bus.empty()) {
    if (!text("VME_SIM_CRATE").empty()) bus = "sim";
    else if (::access("/dev/bus/vme/ctl", F_OK) == 0) bus = "vme_user";
    else bus = "sim";
  }
  std::string error;
  auto m = methodNamed(bus, order, error);
  if (!m) {
    std::fprintf(stderr, "vme-bus: %s\n", error.c_str());
    std::exit(2);
  }
  if (bus == "sim" || bus == std::string("vme_user:") + StandinSys::kFolder)
    vmesim::loadCrateFromEnvironment();
  openTraceFromEnvironment();
  current = std::move(m);
  std::fprintf(stderr, "vme-bus: using %s\n", current->describe().c_str());
  installExitChecks();
}

const bool started = (startBus(), true);

}  // namespace

AccessMethod& method() { return *current; }
AccessMethod* currentMethod() { return current.get(); }

void useMethod(std::unique_ptr<AccessMethod> m) {
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

std::uint32_t outsideWindow(const Window* w, std::uint32_t offset, vmesim::Width width,
                            bool write) {
  const int bits = 8 * static_cast<int>(width);
  if (w == nullptr)
    std::fprintf(stderr, "vme-bus: %s D%d through a null window pointer, offset 0x%X refused\n",
                 write ? "write" : "read", bits, offset);
  else
    std::fprintf(stderr,
                 "vme-bus: %s D%d at offset 0x%X is outside window %u (%s 0x%08X, size 0x%X)\n",
                 write ? "write" : "read", bits, offset, w->handle,
                 w->space == vmesim::Space::A24 ? "A24" : "A32", w->vmeBase, w->size);
  busErrorSeen();
  return vmesim::allOnes(width);
}

PtrText formatHostAddress(std::uint32_t address) {
  PtrText t{};
  std::snprintf(t.data(), t.size(), "%08X", address);
  return t;
}

}  // namespace vmebus

using vmebus::lib;

VXIstatus InitVXIlibrary() {
  VXIstatus s = vmebus::force().init;
  if (s == 0) s = lib.initialised ? VXI_ALREADY_INITIALIZED : VXI_SUCCESS;
  if (s >= 0) lib.initialised = true;
  return s;
}

VXIstatus CloseVXIlibrary() {
  VXIstatus s = vmebus::force().close;
  if (s == 0 && !lib.initialised) s = VXI_NOT_INITIALIZED;
  if (s >= 0) {
    vmebus::unmapAll();
    lib.initialised = false;
    vmebus::traceCall("close library");
  }
  return s;
}

const void* GetVXIlibraryInfo() { return lib.info; }

VXIstatus SetVXIwindowSize(std::uint32_t size) {
  VXIstatus s = vmebus::force().size;
  if (s == 0 && (size == 0 || size % 4 != 0 || size > 0x1000000)) s = VXI_BAD_PARAMETER;
  if (s >= 0) lib.windowSize = size;
  return s;
}

VmePtr MapVXIwindow(std::uint32_t access, std::uint32_t address, std::uint32_t /*timeout*/,
                    std::uint32_t* window, VXIstatus* status) {
  VXIstatus s = vmebus::force().map;
  if (s == 0) {
    if (!lib.initialised) s = VXI_NOT_INITIALIZED;
    else if (access != VXI_ACCESS_A24 && access != VXI_ACCESS_A32) s = VXI_BAD_PARAMETER;
  }
  const auto space = access == VXI_ACCESS_A32 ? vmesim::Space::A32 : vmesim::Space::A24;
  if (s == 0 && static_cast<std::uint64_t>(address) + lib.windowSize > vmesim::spaceSize(space))
    s = VXI_BAD_ADDRESS;
  // A forced warning still needs a free window.
  if (s >= 0 && lib.nextHandle > vmebus::kMaxWindows) s = VXI_NO_WINDOW;
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

  const std::uint32_t h = lib.nextHandle++;
  w.hostBase = vmebus::kHostBase + h * vmebus::kHostStride;
  w.handle = h;
  w.mapped = true;
  lib.windows[h] = w;
  *window = h;
  char text[96];
  std::snprintf(text, sizeof text, "map window %u %s 0x%08X size 0x%X", h,
                space == vmesim::Space::A24 ? "A24" : "A32", address, w.size);
  vmebus::traceCall(text);
  return VmePtr(&lib.windows[h], 0);
}

VXIstatus GetVXIwindowRange(std::uint32_t window, std::uint32_t* first, std::uint32_t* last) {
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
  const std::string wanted = name != nullptr ? name : "";
  const char* table = std::getenv("VME_DEVICE_TABLE");
  const int found = table != nullptr && *table != '\0' ? vmebus::lookupInTable(table, wanted)
                                                       : vmebus::current->lookup(wanted);
  *la = static_cast<std::int16_t>(found);
  VXIstatus s = vmebus::force().lookup;
  if (s == 0 && found < 0) s = VXI_FAILURE;
  return s;
}

VXIstatus GetVXIbusStatus(std::int16_t controller, std::int16_t field, std::int16_t* value) {
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
  lib.busErrorLatch = false;
  return VXI_SUCCESS;
}
