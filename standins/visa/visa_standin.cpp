// A stand-in of a VISA library: the same C functions, whose cycles go to a
// simulated crate of its own (VME_SIM_CRATE or the default crate), loaded at
// the first open of a resource.  It serves one bridge, VXI0::MEMACC (names
// are not case-sensitive), checks its arguments as a VISA library does and
// fails on bad ones.
//
// Knobs, read at every viOpen (unset or empty: not set):
//   VISA_STANDIN_OPEN_FAILS=STATUS     viOpen returns STATUS
//   VISA_STANDIN_ERROR_AFTER=N         cycle N+1 of the session returns
//   VISA_STANDIN_ERROR_CODE=STATUS     STATUS (default 0xBFFF0015, a time-out;
//                                      0xBFFF0038 is a bus error); the
//                                      cycles after it work
// STATUS is 0x and eight hex digits of an error (the top bit set); N is
// decimal digits.  Any other value fails the open with VI_ERROR_SYSTEM_ERROR,
// whose text names the knob and its value.
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "buslib/visa_abi.h"
#include "crate/crate.h"
#include "platform/platform.h"
#include "standins/knob_text.h"

#define VISA_EXPORT extern "C" PLATFORM_EXPORT

namespace {

constexpr ViSession kManagerBase = 0x100;  // sessions of the resource manager
constexpr ViSession kSessionBase = 0x200;  // sessions on the resource
constexpr int kMaxSessions = 8;

struct Session {
  bool open = false;
  long cycles = 0;
  long failAt = -1;  // cycle number that fails, -1: none
  ViStatus failCode = visa::kTimeout;
};

bool managers[kMaxSessions];
Session sessions[kMaxSessions];
bool crateLoaded = false;
std::string knobRefused;  // why the last open failed with kSystemError

bool readStatus(const char* name, ViStatus& value) {
  const char* v = std::getenv(name);
  if (v == nullptr || *v == '\0') return true;
  bool ok = std::strlen(v) == 10 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X');
  unsigned long n = 0;
  for (int i = 2; ok && i < 10; ++i) {
    const int c = std::tolower(static_cast<unsigned char>(v[i]));
    ok = std::isxdigit(c) != 0;
    n = n * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : c - 'a' + 10);
  }
  if (ok && (n & 0x80000000ul) != 0) {
    value = visa::status(static_cast<std::uint32_t>(n));
    return true;
  }
  knobRefused = standin::knobShown(name, v) + ": expected 0x and the eight hex digits of an error";
  return false;
}

bool readCount(const char* name, long& value) {
  const char* v = std::getenv(name);
  if (v == nullptr || *v == '\0') return true;
  unsigned long n = 0;
  bool ok = true;
  for (const char* p = v; ok && *p != '\0'; ++p) {
    const unsigned d = static_cast<unsigned char>(*p) - '0';
    ok = d <= 9 && n <= (static_cast<unsigned long>(LONG_MAX) - 1 - d) / 10;
    n = n * 10 + d;
  }
  if (ok) {
    value = static_cast<long>(n);
    return true;
  }
  knobRefused = standin::knobShown(name, v) + ": expected a count of cycles";
  return false;
}

Session* session(ViSession vi) {
  if (vi < kSessionBase || vi >= kSessionBase + kMaxSessions) return nullptr;
  Session& s = sessions[vi - kSessionBase];
  return s.open ? &s : nullptr;
}
bool isManager(ViSession vi) {
  return vi >= kManagerBase && vi < kManagerBase + kMaxSessions && managers[vi - kManagerBase];
}

bool sameName(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b)
    if (std::toupper(static_cast<unsigned char>(*a)) != std::toupper(static_cast<unsigned char>(*b)))
      return false;
  return *a == *b;
}

// A resource name has a board, "::" and a class: INTERFACE[N]::...::CLASS.
bool wellFormed(const char* name) {
  const char* sep = std::strstr(name, "::");
  if (sep == nullptr || sep == name || sep[2] == '\0') return false;
  for (const char* c = name; *c != '\0'; ++c)
    if (*c <= ' ' || *c > '~') return false;
  return true;
}

// Checks a cycle's arguments; kSuccess lets it go to the crate.
ViStatus check(ViSession vi, std::uint16_t space, ViBusAddress offset, unsigned bytes,
               vmesim::Space& s) {
  Session* ses = session(vi);
  if (ses == nullptr) return visa::kInvalidObject;
  if (space != visa::kA16Space && space != visa::kA24Space && space != visa::kA32Space)
    return visa::kInvalidSpace;
  const ViBusAddress top = space == visa::kA16Space   ? 0xFFFF
                           : space == visa::kA24Space ? 0xFFFFFF
                                                      : 0xFFFFFFFFu;
  if (offset > top || top - offset < bytes - 1) return visa::kInvalidOffset;
  if (++ses->cycles == ses->failAt) return ses->failCode;
  s = space == visa::kA24Space ? vmesim::Space::A24 : vmesim::Space::A32;
  return visa::kSuccess;
}

template <typename T>
ViStatus in(ViSession vi, std::uint16_t space, ViBusAddress offset, T* value,
            vmesim::Width width) {
  vmesim::Space s{};
  const ViStatus e = check(vi, space, offset, sizeof(T), s);
  if (e != visa::kSuccess) return e;
  if (value == nullptr) return visa::kSystemError;
  std::uint32_t v = vmesim::allOnes(width);
  // A16 has no boards in the crate.
  const bool ok = space != visa::kA16Space &&
                  vmesim::crate().read(s, static_cast<std::uint32_t>(offset), width, v);
  *value = static_cast<T>(ok ? v : vmesim::allOnes(width));
  return ok ? visa::kSuccess : visa::kBusError;
}

ViStatus out(ViSession vi, std::uint16_t space, ViBusAddress offset, std::uint32_t value,
             unsigned bytes, vmesim::Width width) {
  vmesim::Space s{};
  const ViStatus e = check(vi, space, offset, bytes, s);
  if (e != visa::kSuccess) return e;
  const bool ok = space != visa::kA16Space &&
                  vmesim::crate().write(s, static_cast<std::uint32_t>(offset), width, value);
  return ok ? visa::kSuccess : visa::kBusError;
}

}  // namespace

VISA_EXPORT ViStatus VISA_API viOpenDefaultRM(ViSession* rm) {
  if (rm == nullptr) return visa::kSystemError;
  for (int i = 0; i < kMaxSessions; ++i) {
    if (managers[i]) continue;
    managers[i] = true;
    *rm = kManagerBase + static_cast<ViSession>(i);
    return visa::kSuccess;
  }
  return visa::kSystemError;
}

VISA_EXPORT ViStatus VISA_API viOpen(ViSession rm, const char* name, ViAccessMode mode,
                                     std::uint32_t, ViSession* vi) {
  if (!isManager(rm)) return visa::kInvalidObject;
  if (name == nullptr || vi == nullptr || mode > 7) return visa::kSystemError;
  if (!wellFormed(name)) return visa::kInvalidResourceName;
  if (!sameName(name, "VXI0::MEMACC")) return visa::kResourceNotFound;
  ViStatus forced = visa::kSuccess, failCode = visa::kTimeout;
  long after = -1;
  knobRefused.clear();
  if (!readStatus("VISA_STANDIN_OPEN_FAILS", forced) ||
      !readCount("VISA_STANDIN_ERROR_AFTER", after) ||
      !readStatus("VISA_STANDIN_ERROR_CODE", failCode))
    return visa::kSystemError;
  if (forced < 0) return forced;
  int slot = -1;
  for (int i = 0; i < kMaxSessions && slot < 0; ++i)
    if (!sessions[i].open) slot = i;
  if (slot < 0) return visa::kSystemError;
  if (!crateLoaded) {
    // The crate behind the bridge, as the simulated bus would load it.
    const char* file = std::getenv("VME_SIM_CRATE");
    std::string error;
    if (!vmesim::loadCrate(file != nullptr ? file : "", error)) {
      knobRefused = "vme-sim: " + error;
      return visa::kSystemError;
    }
  }
  crateLoaded = true;
  Session& s = sessions[slot];
  s = Session{};
  s.open = true;
  if (after >= 0) s.failAt = after + 1;
  s.failCode = failCode;
  *vi = kSessionBase + static_cast<ViSession>(slot);
  return visa::kSuccess;
}

// A resource manager's close closes the sessions it opened too; here there
// is one bridge and the test closes both.
VISA_EXPORT ViStatus VISA_API viClose(ViObject object) {
  if (Session* s = session(object)) {
    s->open = false;
    return visa::kSuccess;
  }
  if (isManager(object)) {
    managers[object - kManagerBase] = false;
    return visa::kSuccess;
  }
  return visa::kInvalidObject;
}

VISA_EXPORT ViStatus VISA_API viIn8(ViSession vi, std::uint16_t space, ViBusAddress offset,
                                    std::uint8_t* value) {
  return in(vi, space, offset, value, vmesim::Width::D8);
}
VISA_EXPORT ViStatus VISA_API viIn16(ViSession vi, std::uint16_t space, ViBusAddress offset,
                                     std::uint16_t* value) {
  return in(vi, space, offset, value, vmesim::Width::D16);
}
VISA_EXPORT ViStatus VISA_API viIn32(ViSession vi, std::uint16_t space, ViBusAddress offset,
                                     std::uint32_t* value) {
  return in(vi, space, offset, value, vmesim::Width::D32);
}
VISA_EXPORT ViStatus VISA_API viOut8(ViSession vi, std::uint16_t space, ViBusAddress offset,
                                     std::uint8_t value) {
  return out(vi, space, offset, value, 1, vmesim::Width::D8);
}
VISA_EXPORT ViStatus VISA_API viOut16(ViSession vi, std::uint16_t space, ViBusAddress offset,
                                      std::uint16_t value) {
  return out(vi, space, offset, value, 2, vmesim::Width::D16);
}
VISA_EXPORT ViStatus VISA_API viOut32(ViSession vi, std::uint16_t space, ViBusAddress offset,
                                      std::uint32_t value) {
  return out(vi, space, offset, value, 4, vmesim::Width::D32);
}

VISA_EXPORT ViStatus VISA_API viStatusDesc(ViObject, ViStatus status, char* desc) {
  if (desc == nullptr) return visa::kSystemError;
  const char* text = "Unknown status value";
  switch (status) {
    case visa::kSuccess: text = "Operation completed successfully"; break;
    case visa::kSystemError:
      text = knobRefused.empty() ? "Unknown system error" : knobRefused.c_str();
      break;
    case visa::kInvalidObject: text = "The given session or object reference is invalid"; break;
    case visa::kResourceNotFound: text = "Insufficient location information or the device or resource is not present in the system"; break;
    case visa::kInvalidResourceName: text = "Invalid resource reference specified. Parsing error"; break;
    case visa::kTimeout: text = "Timeout expired before operation completed"; break;
    case visa::kBusError: text = "Bus error occurred during transfer"; break;
    case visa::kInvalidSpace: text = "Invalid address space specified"; break;
    case visa::kInvalidOffset: text = "Invalid offset specified"; break;
    default: break;
  }
  std::snprintf(desc, visa::kDescSize, "%s", text);
  return visa::kSuccess;
}
