// A stand-in of National Instruments' nivxi.dll: the same C calls, whose
// cycles go to a simulated crate of its own (VME_SIM_CRATE or the default
// crate), loaded at the first InitVXIlibrary.  It checks its arguments as
// the library does and fails on bad ones; a bus error is counted in the
// information block that global_vars points to.
//
// Knobs, read at every InitVXIlibrary (unset or empty: not set):
//   NIVXI_STANDIN_OPEN_FAILS=CODE      InitVXIlibrary returns CODE (e.g. -5)
//   NIVXI_STANDIN_BUS_ERROR_AFTER=N    cycle N+1 after it is a bus error
//   NIVXI_STANDIN_TIMEOUT_AFTER=N      cycle N+1 after it times out: a
//                                      negative status, no bus error counted
// CODE is a minus sign and decimal digits, -1 to -32768; N is decimal
// digits.  Any other value fails InitVXIlibrary with kKnobRefused: a library
// cannot end the program, and a knob that is ignored would let a test pass
// with no error made.
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "buslib/nivxi_bridge_abi.h"
#include "crate/crate.h"
#include "standins/knob_text.h"
#include "standins/nivxi/nivxi_standin.h"

namespace {

using namespace nivxi::standin;

constexpr int kMaxWindows = 16;
constexpr std::uintptr_t kHostBase = 0x60000000;
constexpr std::uintptr_t kHostStride = 0x01000000;

#pragma pack(push, 2)
struct InfoBlock {
  char before[nivxi::kBusErrorRecvOffset];
  NivxiUint32 BusErrorRecv;
  char after[nivxi::kInfoSize - nivxi::kBusErrorRecvOffset - 4];
};
#pragma pack(pop)
static_assert(offsetof(InfoBlock, BusErrorRecv) == nivxi::kBusErrorRecvOffset);
static_assert(sizeof(InfoBlock) == nivxi::kInfoSize);

struct MappedWindow {
  bool mapped = false;
  vmesim::Space space = vmesim::Space::A24;
  NivxiUint32 base = 0;
  NivxiUint32 size = 0;
};

struct Library {
  int inits = 0;  // InitVXIlibrary calls not yet closed
  bool crateLoaded = false;
  NivxiUint32 windowSize = 0x10000;
  MappedWindow windows[kMaxWindows + 1];  // by handle, 0 unused
  long cycles = 0;
  long busErrorAt = -1;  // cycle number that fails, -1: none
  long timeoutAt = -1;
  NivxiUint32 errorsAtQuery = 0;  // the count at the last bus status query
};

Library lib;
InfoBlock block;

// The knob NAME into value, left as it is when unset or empty: a negative
// status (code) or a count.  False: refused.
bool readKnob(const char* name, bool code, long& value) {
  const char* v = std::getenv(name);
  return v == nullptr || *v == '\0' || standin::knobNumber(v, code, 0x8000ul, value);
}

// Bits 0-1 the space (A16, A24 or A32); no other bit is known here.
bool spaceOf(NivxiUint16 access, vmesim::Space& space, bool& a16) {
  if ((access & ~3u) != 0 || (access & 3u) == 0) return false;
  a16 = (access & 3u) == nivxi::kA16;
  space = (access & 3u) == nivxi::kA32 ? vmesim::Space::A32 : vmesim::Space::A24;
  return true;
}

std::uint64_t spaceEnd(NivxiUint16 access) {
  return (access & 3u) == nivxi::kA16 ? 0x10000ull
         : (access & 3u) == nivxi::kA24 ? 0x1000000ull
                                        : 0x100000000ull;
}

bool widthOf(NivxiUint16 width, vmesim::Width& w) {
  if (width != 1 && width != 2 && width != 4) return false;
  w = static_cast<vmesim::Width>(width);
  return true;
}

MappedWindow* byHandle(NivxiUint32 window) {
  if (window == 0 || window > kMaxWindows || !lib.windows[window].mapped) return nullptr;
  return &lib.windows[window];
}

void* hostOf(NivxiUint32 window) {
  return reinterpret_cast<void*>(kHostBase + window * kHostStride);
}

// The window a host pointer is inside, and its VME address.
MappedWindow* windowAt(const void* p, NivxiUint32& address) {
  const auto a = reinterpret_cast<std::uintptr_t>(p);
  for (NivxiUint32 h = 1; h <= kMaxWindows; ++h) {
    const MappedWindow* w = byHandle(h);
    const auto host = reinterpret_cast<std::uintptr_t>(hostOf(h));
    if (w != nullptr && a >= host && a - host < w->size) {
      address = w->base + static_cast<NivxiUint32>(a - host);
      return &lib.windows[h];
    }
  }
  return nullptr;
}

// One cycle on the crate after the knobs: kSuccess, kBusError (counted) or
// kTimeout.
NivxiInt16 cycle(bool a16, vmesim::Space space, NivxiUint32 address, vmesim::Width w,
                 bool write, std::uint32_t& value) {
  ++lib.cycles;
  if (lib.cycles == lib.timeoutAt) {
    if (!write) value = vmesim::allOnes(w);
    return kTimeout;
  }
  bool ok = !a16 && lib.cycles != lib.busErrorAt;
  if (ok) {
    ok = write ? vmesim::crate().write(space, address, w, value)
               : vmesim::crate().read(space, address, w, value);
  }
  if (ok) return kSuccess;
  if (!write) value = vmesim::allOnes(w);
  ++block.BusErrorRecv;
  return kBusError;
}

void store(void* to, vmesim::Width w, std::uint32_t v) {
  switch (w) {
    case vmesim::Width::D8: *static_cast<std::uint8_t*>(to) = static_cast<std::uint8_t>(v); break;
    case vmesim::Width::D16: *static_cast<std::uint16_t*>(to) = static_cast<std::uint16_t>(v); break;
    default: *static_cast<std::uint32_t*>(to) = v; break;
  }
}

}  // namespace

extern "C" {

InfoBlock* global_vars = nullptr;

NivxiInt16 NIVXI_API InitVXIlibrary(void) {
  long forced = 0, busErrorAfter = -1, timeoutAfter = -1;
  if (!readKnob("NIVXI_STANDIN_OPEN_FAILS", true, forced) ||
      !readKnob("NIVXI_STANDIN_BUS_ERROR_AFTER", false, busErrorAfter) ||
      !readKnob("NIVXI_STANDIN_TIMEOUT_AFTER", false, timeoutAfter))
    return kKnobRefused;
  if (forced < 0) return static_cast<NivxiInt16>(forced);
  if (!lib.crateLoaded) {
    // The crate behind the controller, as the simulated bus would load it.
    const char* file = std::getenv("VME_SIM_CRATE");
    std::string error;
    if (!vmesim::loadCrate(file != nullptr ? file : "", error)) {
      std::fprintf(stderr, "vme-sim: %s\n", error.c_str());
      std::exit(2);
    }
    lib.crateLoaded = true;
  }
  global_vars = &block;
  lib.cycles = 0;
  lib.busErrorAt = busErrorAfter >= 0 ? busErrorAfter + 1 : -1;
  lib.timeoutAt = timeoutAfter >= 0 ? timeoutAfter + 1 : -1;
  return lib.inits++ == 0 ? kSuccess : kAlreadyInitialised;
}

NivxiInt16 NIVXI_API CloseVXIlibrary(void) {
  if (lib.inits == 0) return kNotInitialised;
  if (--lib.inits == 0)
    for (MappedWindow& w : lib.windows) w.mapped = false;
  return kSuccess;
}

NivxiInt16 NIVXI_API MapVXIAddressSize(NivxiUint32 size) {
  if (lib.inits == 0) return kNotInitialised;
  if (size == 0 || size % 4 != 0 || size > 0x1000000) return kBadParameter;
  lib.windowSize = size;
  return kSuccess;
}

void* NIVXI_API MapVXIAddress(NivxiUint16 access, NivxiUint32 address, NivxiInt32 timo,
                              NivxiUint32* window, NivxiInt16* ret) {
  if (ret == nullptr) return nullptr;
  vmesim::Space space;
  bool a16;
  NivxiInt16 s = kSuccess;
  if (lib.inits == 0) s = kNotInitialised;
  else if (window == nullptr || timo < 0) s = kBadParameter;
  else if (!spaceOf(access, space, a16)) s = kBadAccess;
  else if (static_cast<std::uint64_t>(address) + lib.windowSize > spaceEnd(access)) s = kBadAddress;
  NivxiUint32 h = 0;
  for (NivxiUint32 i = 1; s == kSuccess && i <= kMaxWindows && h == 0; ++i)
    if (!lib.windows[i].mapped) h = i;
  if (s == kSuccess && h == 0) s = kNoWindow;
  *ret = s;
  if (s != kSuccess) return nullptr;
  lib.windows[h] = MappedWindow{true, space, address, lib.windowSize};
  *window = h;
  return hostOf(h);
}

NivxiInt16 NIVXI_API UnMapVXIAddress(NivxiUint32 window) {
  if (lib.inits == 0) return kNotInitialised;
  MappedWindow* w = byHandle(window);
  if (w == nullptr) return kBadWindow;
  w->mapped = false;
  return kSuccess;
}

NivxiInt16 NIVXI_API GetWindowRange(NivxiUint32 window, NivxiUint32* windowbase,
                                    NivxiUint32* windowend) {
  if (lib.inits == 0) return kNotInitialised;
  if (windowbase == nullptr || windowend == nullptr) return kBadParameter;
  const MappedWindow* w = byHandle(window);
  if (w == nullptr) return kBadWindow;
  *windowbase = w->base;
  *windowend = w->base + (w->size - 1);
  return kSuccess;
}

// No status: a pointer outside every window, a bad width or a null value
// makes no cycle.
void NIVXI_API VXIpeek(void* addr, NivxiUint16 width, void* value) {
  NivxiUint32 address = 0;
  const MappedWindow* win = windowAt(addr, address);
  vmesim::Width w;
  if (lib.inits == 0 || win == nullptr || value == nullptr || !widthOf(width, w)) return;
  std::uint32_t v = 0;
  cycle(false, win->space, address, w, false, v);
  store(value, w, v);
}

void NIVXI_API VXIpoke(void* addr, NivxiUint16 width, NivxiUint32 value) {
  NivxiUint32 address = 0;
  const MappedWindow* win = windowAt(addr, address);
  vmesim::Width w;
  if (lib.inits == 0 || win == nullptr || !widthOf(width, w)) return;
  std::uint32_t v = static_cast<std::uint32_t>(value);
  cycle(false, win->space, address, w, true, v);
}

NivxiInt16 NIVXI_API VXIin(NivxiUint16 access, NivxiUint32 address, NivxiUint16 width, void* value) {
  if (lib.inits == 0) return kNotInitialised;
  vmesim::Space space;
  bool a16;
  vmesim::Width w;
  if (!spaceOf(access, space, a16)) return kBadAccess;
  if (!widthOf(width, w)) return kBadWidth;
  if (value == nullptr) return kBadParameter;
  if (address + static_cast<std::uint64_t>(width) > spaceEnd(access)) return kBadAddress;
  std::uint32_t v = 0;
  const NivxiInt16 s = cycle(a16, space, address, w, false, v);
  store(value, w, v);
  return s;
}

NivxiInt16 NIVXI_API VXIout(NivxiUint16 access, NivxiUint32 address, NivxiUint16 width,
                            NivxiUint32 value) {
  if (lib.inits == 0) return kNotInitialised;
  vmesim::Space space;
  bool a16;
  vmesim::Width w;
  if (!spaceOf(access, space, a16)) return kBadAccess;
  if (!widthOf(width, w)) return kBadWidth;
  if (address + static_cast<std::uint64_t>(width) > spaceEnd(access)) return kBadAddress;
  if (width < 4 && (value >> (8 * width)) != 0) return kBadParameter;
  std::uint32_t v = static_cast<std::uint32_t>(value);
  return cycle(a16, space, address, w, true, v);
}

// The boards of the crate with a name=, the logical address being the
// board's position in the crate, from 1; the other selectors must be -1.
NivxiInt16 NIVXI_API FindDevLA(NivxiInt8* name, NivxiInt16 manid, NivxiInt16 modelcode,
                               NivxiInt16 devclass, NivxiInt16 slot, NivxiInt16 mainframe,
                               NivxiInt16 cmdrla, NivxiInt16* la) {
  if (la == nullptr) return kBadParameter;
  *la = -1;
  if (lib.inits == 0) return kNotInitialised;
  if (name == nullptr) return kBadParameter;
  for (const NivxiInt16 s : {manid, modelcode, devclass, slot, mainframe, cmdrla})
    if (s != -1) return kNotFound;
  const int index = vmesim::crate().findName(reinterpret_cast<const char*>(name));
  if (index < 0) return kNotFound;
  *la = static_cast<NivxiInt16>(index + 1);
  return kSuccess;
}

// Field 1: 1 when a bus error was counted since the last query, else 0.
NivxiInt16 NIVXI_API GetVXIbusStatusInd(NivxiInt16 controller, NivxiUint16 field,
                                        NivxiInt16* status) {
  if (status == nullptr) return kBadParameter;
  if (lib.inits == 0) return kNotInitialised;
  if (controller < -1 || controller > 255) return kBadParameter;
  *status = 0;
  if (field == 1) {
    *status = block.BusErrorRecv != lib.errorsAtQuery ? 1 : 0;
    lib.errorsAtQuery = block.BusErrorRecv;
  }
  return kSuccess;
}

}  // extern "C"
