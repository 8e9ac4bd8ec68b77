// A stand-in of CAEN's libCAENVME.so: the same C functions, whose cycles go
// to a simulated crate of its own (VME_SIM_CRATE or the default crate).  It
// checks its arguments as the library does and fails on bad ones.
//
// Knobs, read at every open (unset or empty: not set):
//   CAEN_STANDIN_OPEN_FAILS=CODE          the open returns CODE (e.g. -2)
//   CAEN_STANDIN_COMM_ERROR_AFTER=N       cycle N+1 after the open fails with
//   CAEN_STANDIN_COMM_ERROR_CODE=CODE     CODE (default -2, a communication
//                                         error); the cycles after it work
// CODE is a minus sign and decimal digits, -1 to -2147483648; N is decimal
// digits.  Any other value fails the open with a generic error whose text
// names the knob and its value: a library cannot end the program, and a
// knob that is ignored would let a test pass with no error made.
// Built a second time without CAENVME_Init2, as libraries before 3.3 are.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "buslib/caen_vme_abi.h"
#include "crate/crate.h"
#include "platform/platform.h"
#include "standins/knob_text.h"

#define CAEN_EXPORT extern "C" PLATFORM_EXPORT

namespace {

constexpr int kMaxBridges = 8;
constexpr std::size_t kMaxHost = 255;
constexpr int kLastBoardType = 27;

struct Bridge {
  bool open = false;
  CVBoardTypes type = 0;
  std::uint32_t link = 0;  // link or PID
  char host[kMaxHost + 1] = {};
  short node = 0;
  long cycles = 0;
  long failAt = -1;  // cycle number that fails, -1: none
  CVErrorCodes failCode = caen::kCommError;
};

Bridge bridges[kMaxBridges];
bool crateLoaded = false;

// Why the last open failed with kGenericError: a knob's value; empty when
// the knobs were read.
std::string knobRefused;

// The knob NAME into value, left as it is when unset or empty: a negative
// error code (code) or a count.  false: refused, and knobRefused says why.
bool readKnob(const char* name, bool code, long& value) {
  const char* v = std::getenv(name);
  if (v == nullptr || *v == '\0') return true;
  if (standin::knobNumber(v, code, 0x80000000ul, value)) return true;
  knobRefused = standin::knobShown(name, v);
  knobRefused += code ? ": expected a negative error code" : ": expected a count of cycles";
  return false;
}

Bridge* bridge(std::int32_t handle) {
  if (handle < 0 || handle >= kMaxBridges || !bridges[handle].open) return nullptr;
  return &bridges[handle];
}

CVErrorCodes openBridge(CVBoardTypes type, std::uint32_t link, const char* host, short node,
                  std::int32_t* handle) {
  if (type < 0 || type > kLastBoardType || node < 0 || handle == nullptr)
    return caen::kInvalidParam;
  long forced = caen::kSuccess, after = -1, failCode = caen::kCommError;
  knobRefused.clear();
  if (!readKnob("CAEN_STANDIN_OPEN_FAILS", true, forced) ||
      !readKnob("CAEN_STANDIN_COMM_ERROR_AFTER", false, after) ||
      !readKnob("CAEN_STANDIN_COMM_ERROR_CODE", true, failCode))
    return caen::kGenericError;
  if (forced < 0) return static_cast<CVErrorCodes>(forced);
  int slot = -1;
  for (int i = 0; i < kMaxBridges; ++i) {
    const Bridge& b = bridges[i];
    if (!b.open) {
      if (slot < 0) slot = i;
      continue;
    }
    if (b.type == type && b.link == link && b.node == node && std::strcmp(b.host, host) == 0)
      return caen::kAlreadyOpen;
  }
  if (slot < 0) return caen::kMaxBoards;
  if (!crateLoaded) {
    // The crate behind the bridge, as the simulated bus would load it.
    const char* file = std::getenv("VME_SIM_CRATE");
    std::string error;
    if (!vmesim::loadCrate(file != nullptr ? file : "", error)) {
      std::fprintf(stderr, "vme-sim: %s\n", error.c_str());
      std::exit(2);
    }
  }
  crateLoaded = true;
  Bridge& b = bridges[slot];
  b = Bridge{};
  b.open = true;
  b.type = type;
  b.link = link;
  std::strcpy(b.host, host);
  b.node = node;
  if (after >= 0) b.failAt = after + 1;
  b.failCode = static_cast<CVErrorCodes>(failCode);
  *handle = slot;
  return caen::kSuccess;
}

// The space of a data access modifier; A16 has no boards in the crate.
enum class Am { A16, A24, A32, Bad };
Am space(CVAddressModifier am) {
  switch (am) {
    case caen::kA16User: case caen::kA16Super: return Am::A16;
    case caen::kA24UserData: case caen::kA24SuperData: return Am::A24;
    case caen::kA32UserData: case caen::kA32SuperData: return Am::A32;
    default: return Am::Bad;
  }
}

// Checks a cycle's arguments; kSuccess lets it go to the crate.
CVErrorCodes check(Bridge* b, std::uint32_t address, const void* data, CVAddressModifier am,
                   CVDataWidth dw, Am& s) {
  if (b == nullptr || data == nullptr) return caen::kInvalidParam;
  if (dw != caen::kD8 && dw != caen::kD16 && dw != caen::kD32) return caen::kInvalidParam;
  s = space(am);
  if (s == Am::Bad) return caen::kInvalidParam;
  if ((s == Am::A16 && address > 0xFFFF) || (s == Am::A24 && address > 0xFFFFFF))
    return caen::kInvalidParam;
  if (++b->cycles == b->failAt) return b->failCode;
  return caen::kSuccess;
}

vmesim::Width width(CVDataWidth dw) {
  return dw == caen::kD8 ? vmesim::Width::D8 : dw == caen::kD16 ? vmesim::Width::D16
                                                                : vmesim::Width::D32;
}
vmesim::Space crateSpace(Am s) { return s == Am::A24 ? vmesim::Space::A24 : vmesim::Space::A32; }

}  // namespace

#ifndef CAEN_STANDIN_WITHOUT_INIT2
CAEN_EXPORT CVErrorCodes CAENVME_API CAENVME_Init2(CVBoardTypes type, const void* arg, short node,
                                       std::int32_t* handle) {
  if (arg == nullptr) return caen::kInvalidParam;
  if (type >= 0 && type <= kLastBoardType && caen::linkKind(type) == caen::LinkKind::Host) {
    const char* host = static_cast<const char*>(arg);
    const std::size_t n = strnlen(host, kMaxHost + 1);
    if (n == 0 || n > kMaxHost) return caen::kInvalidParam;
    for (std::size_t i = 0; i < n; ++i)
      if (host[i] <= ' ' || host[i] > '~') return caen::kInvalidParam;
    return openBridge(type, 0, host, node, handle);
  }
  std::uint32_t link;
  std::memcpy(&link, arg, sizeof link);
  return openBridge(type, link, "", node, handle);
}
#endif

CAEN_EXPORT CVErrorCodes CAENVME_API CAENVME_Init(CVBoardTypes type, short link, short node,
                                      std::int32_t* handle) {
  if (link < 0) return caen::kInvalidParam;
  if (type >= 0 && type <= kLastBoardType && caen::linkKind(type) == caen::LinkKind::Host)
    return caen::kNotSupported;
  return openBridge(type, static_cast<std::uint32_t>(link), "", node, handle);
}

CAEN_EXPORT CVErrorCodes CAENVME_API CAENVME_ReadCycle(std::int32_t handle, std::uint32_t address, void* data,
                                           CVAddressModifier am, CVDataWidth dw) {
  Am s = Am::Bad;
  const CVErrorCodes e = check(bridge(handle), address, data, am, dw, s);
  if (e != caen::kSuccess) return e;
  std::uint32_t v = vmesim::allOnes(width(dw));
  const bool ok = s != Am::A16 && vmesim::crate().read(crateSpace(s), address, width(dw), v);
  if (!ok) v = vmesim::allOnes(width(dw));
  switch (dw) {
    case caen::kD8: *static_cast<std::uint8_t*>(data) = static_cast<std::uint8_t>(v); break;
    case caen::kD16: *static_cast<std::uint16_t*>(data) = static_cast<std::uint16_t>(v); break;
    default: *static_cast<std::uint32_t*>(data) = v; break;
  }
  return ok ? caen::kSuccess : caen::kBusError;
}

CAEN_EXPORT CVErrorCodes CAENVME_API CAENVME_WriteCycle(std::int32_t handle, std::uint32_t address,
                                            const void* data, CVAddressModifier am,
                                            CVDataWidth dw) {
  Am s = Am::Bad;
  const CVErrorCodes e = check(bridge(handle), address, data, am, dw, s);
  if (e != caen::kSuccess) return e;
  std::uint32_t v;
  switch (dw) {
    case caen::kD8: v = *static_cast<const std::uint8_t*>(data); break;
    case caen::kD16: v = *static_cast<const std::uint16_t*>(data); break;
    default: v = *static_cast<const std::uint32_t*>(data); break;
  }
  const bool ok = s != Am::A16 && vmesim::crate().write(crateSpace(s), address, width(dw), v);
  return ok ? caen::kSuccess : caen::kBusError;
}

CAEN_EXPORT CVErrorCodes CAENVME_API CAENVME_End(std::int32_t handle) {
  Bridge* b = bridge(handle);
  if (b == nullptr) return caen::kInvalidParam;
  b->open = false;
  return caen::kSuccess;
}

CAEN_EXPORT const char* CAENVME_API CAENVME_DecodeError(CVErrorCodes code) {
  switch (code) {
    case caen::kSuccess: return "Operation completed successfully";
    case caen::kBusError: return "VME bus error during the cycle";
    case caen::kCommError: return "Communication error";
    case caen::kGenericError:
      return knobRefused.empty() ? "Unspecified error" : knobRefused.c_str();
    case caen::kInvalidParam: return "Invalid parameter";
    case caen::kTimeoutError: return "Timeout error";
    case caen::kAlreadyOpen: return "Device already open";
    case caen::kMaxBoards: return "Maximum number of devices exceeded";
    case caen::kNotSupported: return "Operation not supported";
    default: return "Unknown error";
  }
}
