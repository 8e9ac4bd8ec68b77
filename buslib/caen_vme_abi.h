// The C interface of CAEN's VME bridge library (libCAENVME.so, CAENVMElib.dll on Windows), as far as
// this suite uses it: opening a bridge, single read and write cycles, closing
// it and the text of an error code.  The enums are ints; the names of the
// constants are ours.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// The library's calling convention: __stdcall on 32-bit Windows.
#define CAENVME_API PLATFORM_LIBCALL

extern "C" {

typedef int CVBoardTypes;
typedef int CVAddressModifier;
typedef int CVDataWidth;
typedef int CVErrorCodes;

// CAENVME_Init2(type, arg, node, &handle): arg points to a uint32_t link or
// PID, or is a NUL-terminated host name or IPv4 address (Ethernet models).
typedef CVErrorCodes (CAENVME_API *CaenInit2Fn)(CVBoardTypes, const void*, short, std::int32_t*);
// CAENVME_Init(type, link, node, &handle): libraries before 3.3.
typedef CVErrorCodes (CAENVME_API *CaenInitFn)(CVBoardTypes, short, short, std::int32_t*);
// CAENVME_ReadCycle / WriteCycle(handle, address, data, am, dw): one cycle;
// data points to an integer of the width's size, in host byte order.
typedef CVErrorCodes (CAENVME_API *CaenReadCycleFn)(std::int32_t, std::uint32_t, void*, CVAddressModifier,
                                        CVDataWidth);
typedef CVErrorCodes (CAENVME_API *CaenWriteCycleFn)(std::int32_t, std::uint32_t, const void*,
                                         CVAddressModifier, CVDataWidth);
typedef CVErrorCodes (CAENVME_API *CaenEndFn)(std::int32_t);
typedef const char* (CAENVME_API *CaenDecodeErrorFn)(CVErrorCodes);

}  // extern "C"

namespace caen {

// CVDataWidth
inline constexpr CVDataWidth kD8 = 0x01;
inline constexpr CVDataWidth kD16 = 0x02;
inline constexpr CVDataWidth kD32 = 0x04;

// CVAddressModifier: non-privileged (user) and supervisory data access.
inline constexpr CVAddressModifier kA16User = 0x29;
inline constexpr CVAddressModifier kA16Super = 0x2D;
inline constexpr CVAddressModifier kA24UserData = 0x39;
inline constexpr CVAddressModifier kA24SuperData = 0x3D;
inline constexpr CVAddressModifier kA32UserData = 0x09;
inline constexpr CVAddressModifier kA32SuperData = 0x0D;

// CVErrorCodes
inline constexpr CVErrorCodes kSuccess = 0;
inline constexpr CVErrorCodes kBusError = -1;
inline constexpr CVErrorCodes kCommError = -2;
inline constexpr CVErrorCodes kGenericError = -3;
inline constexpr CVErrorCodes kInvalidParam = -4;
inline constexpr CVErrorCodes kTimeoutError = -5;
inline constexpr CVErrorCodes kAlreadyOpen = -6;
inline constexpr CVErrorCodes kMaxBoards = -7;
inline constexpr CVErrorCodes kNotSupported = -8;

// CVBoardTypes, by the names the library gives them.
struct BoardType {
  const char* name;
  CVBoardTypes value;
};
inline constexpr BoardType kBoardTypes[] = {
    {"V1718", 0},
    {"V2718", 1},
    {"A2818", 2},
    {"A2719", 3},
    {"A3818", 4},
    {"USB_A4818_V2718_LOCAL", 5},
    {"USB_A4818_V2718", 6},
    {"USB_A4818_LOCAL", 7},
    {"USB_A4818_V3718_LOCAL", 8},
    {"USB_A4818_V3718", 9},
    {"USB_A4818_V4718_LOCAL", 10},
    {"USB_A4818_V4718", 11},
    {"USB_A4818", 12},
    {"USB_A4818_A2719_LOCAL", 13},
    {"USB_V3718_LOCAL", 14},
    {"PCI_A2818_V3718_LOCAL", 15},
    {"PCIE_A3818_V3718_LOCAL", 16},
    {"USB_V3718", 17},
    {"PCI_A2818_V3718", 18},
    {"PCIE_A3818_V3718", 19},
    {"USB_V4718_LOCAL", 20},
    {"PCI_A2818_V4718_LOCAL", 21},
    {"PCIE_A3818_V4718_LOCAL", 22},
    {"ETH_V4718_LOCAL", 23},
    {"USB_V4718", 24},
    {"PCI_A2818_V4718", 25},
    {"PCIE_A3818_V4718", 26},
    {"ETH_V4718", 27},
};
inline constexpr int kBoardTypeCount = sizeof kBoardTypes / sizeof kBoardTypes[0];

// What Init2's arg points to for a board type.
enum class LinkKind { Link, Pid, Host };
inline LinkKind linkKind(CVBoardTypes t) {
  // Ethernet: a host name; USB to an A4818 or a V4718: a PID; else a link.
  if (t == 23 || t == 27) return LinkKind::Host;
  if ((t >= 5 && t <= 13) || t == 20 || t == 24) return LinkKind::Pid;
  return LinkKind::Link;
}

}  // namespace caen
