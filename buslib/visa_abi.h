// The C interface of a VISA library (visa64.dll, visa32.dll, libvisa.so), as
// far as this suite uses it: the default resource manager, a session on a
// memory-access resource, single in and out cycles at (space, offset), the
// close, and the text of a status.  The names of the constants are ours.
#pragma once

#include <cstdint>
#include <type_traits>

#include "platform/platform.h"

// The library's calling convention: __stdcall on 32-bit Windows.
#define VISA_API PLATFORM_LIBCALL

extern "C" {

typedef std::int32_t ViStatus;  // negative: an error; positive: a warning
typedef std::uint32_t ViSession;
typedef std::uint32_t ViObject;
typedef std::uint32_t ViAccessMode;
// Offsets and sizes on the bus are 64-bit in 64-bit builds.
typedef std::conditional_t<sizeof(void*) == 8, std::uint64_t, std::uint32_t> ViBusAddress;

typedef ViStatus (VISA_API *ViOpenDefaultRMFn)(ViSession* rm);
typedef ViStatus (VISA_API *ViOpenFn)(ViSession rm, const char* resource, ViAccessMode mode,
                                      std::uint32_t timeoutMs, ViSession* vi);
typedef ViStatus (VISA_API *ViCloseFn)(ViObject object);
typedef ViStatus (VISA_API *ViIn8Fn)(ViSession vi, std::uint16_t space, ViBusAddress offset,
                                     std::uint8_t* value);
typedef ViStatus (VISA_API *ViIn16Fn)(ViSession vi, std::uint16_t space, ViBusAddress offset,
                                      std::uint16_t* value);
typedef ViStatus (VISA_API *ViIn32Fn)(ViSession vi, std::uint16_t space, ViBusAddress offset,
                                      std::uint32_t* value);
typedef ViStatus (VISA_API *ViOut8Fn)(ViSession vi, std::uint16_t space, ViBusAddress offset,
                                      std::uint8_t value);
typedef ViStatus (VISA_API *ViOut16Fn)(ViSession vi, std::uint16_t space, ViBusAddress offset,
                                       std::uint16_t value);
typedef ViStatus (VISA_API *ViOut32Fn)(ViSession vi, std::uint16_t space, ViBusAddress offset,
                                       std::uint32_t value);
// desc holds at least 256 bytes.
typedef ViStatus (VISA_API *ViStatusDescFn)(ViObject object, ViStatus status, char* desc);

}  // extern "C"

namespace visa {

// Address spaces, the same codes as the access parameters' space field.
inline constexpr std::uint16_t kA16Space = 1;
inline constexpr std::uint16_t kA24Space = 2;
inline constexpr std::uint16_t kA32Space = 3;

inline constexpr ViAccessMode kNoLock = 0;
inline constexpr std::uint32_t kOpenTimeoutMs = 2000;
inline constexpr std::size_t kDescSize = 256;

inline constexpr ViStatus status(std::uint32_t code) { return static_cast<ViStatus>(code); }
inline constexpr ViStatus kSuccess = 0;
inline constexpr ViStatus kSystemError = status(0xBFFF0000);
inline constexpr ViStatus kInvalidObject = status(0xBFFF000E);
inline constexpr ViStatus kResourceNotFound = status(0xBFFF0011);
inline constexpr ViStatus kInvalidResourceName = status(0xBFFF0012);
inline constexpr ViStatus kTimeout = status(0xBFFF0015);
inline constexpr ViStatus kBusError = status(0xBFFF0038);
inline constexpr ViStatus kInvalidSpace = status(0xBFFF004E);
inline constexpr ViStatus kInvalidOffset = status(0xBFFF004F);

}  // namespace visa
