// The C interface of National Instruments' VXI/VME library (nivxi.dll), as
// far as this suite's nivxi method uses it, declared here from its calling
// facts: every call is __stdcall on 32-bit Windows, INT32 and UINT32 are
// long.  The type and constant names below the typedefs are ours.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// The library's calling convention: __stdcall on 32-bit Windows.
#define NIVXI_API PLATFORM_LIBCALL

extern "C" {

typedef signed char NivxiInt8;
typedef short NivxiInt16;
typedef unsigned short NivxiUint16;
typedef long NivxiInt32;
typedef unsigned long NivxiUint32;

// InitVXIlibrary(), CloseVXIlibrary(): 0 done, >0 a warning, <0 failed.
typedef NivxiInt16 (NIVXI_API *NivxiInitFn)(void);
typedef NivxiInt16 (NIVXI_API *NivxiCloseFn)(void);
// MapVXIAddress(accessparms, address, timo, &window, &ret): the window's
// host pointer, ret <0 for no window.
typedef void* (NIVXI_API *NivxiMapFn)(NivxiUint16, NivxiUint32, NivxiInt32, NivxiUint32*,
                                      NivxiInt16*);
// MapVXIAddressSize(size): the size of the windows mapped after it.
typedef NivxiInt16 (NIVXI_API *NivxiMapSizeFn)(NivxiUint32);
typedef NivxiInt16 (NIVXI_API *NivxiUnmapFn)(NivxiUint32);
// GetWindowRange(window, &first VME address, &last VME address).
typedef NivxiInt16 (NIVXI_API *NivxiRangeFn)(NivxiUint32, NivxiUint32*, NivxiUint32*);
// VXIpeek / VXIpoke(pointer in a window, width, value): no status; a bus
// error shows only in the information block's count.
typedef void (NIVXI_API *NivxiPeekFn)(void*, NivxiUint16, void*);
typedef void (NIVXI_API *NivxiPokeFn)(void*, NivxiUint16, NivxiUint32);
// FindDevLA(name, manid, modelcode, devclass, slot, mainframe, cmdrla, &la);
// -1 for a selector that does not count.
typedef NivxiInt16 (NIVXI_API *NivxiFindFn)(NivxiInt8*, NivxiInt16, NivxiInt16, NivxiInt16,
                                            NivxiInt16, NivxiInt16, NivxiInt16, NivxiInt16*);
typedef NivxiInt16 (NIVXI_API *NivxiBusStatusFn)(NivxiInt16, NivxiUint16, NivxiInt16*);
// VXIin / VXIout(accessparms, VME address, width 1, 2 or 4, value): one
// cycle, <0 on a bus error.  VXIin writes an integer of the width's size.
typedef NivxiInt16 (NIVXI_API *NivxiInFn)(NivxiUint16, NivxiUint32, NivxiUint16, void*);
typedef NivxiInt16 (NIVXI_API *NivxiOutFn)(NivxiUint16, NivxiUint32, NivxiUint16, NivxiUint32);

}  // extern "C"

namespace nivxi {

// Access parameters: the address space in bits 0-1, other bits 0
// (non-privileged data, the library's default byte order).
inline constexpr NivxiUint16 kA16 = 1;
inline constexpr NivxiUint16 kA24 = 2;
inline constexpr NivxiUint16 kA32 = 3;

// The exported data global_vars points to the information block, packed
// to 2 bytes; the 32-bit word at byte 0x28 counts the bus errors.
inline constexpr unsigned kBusErrorRecvOffset = 0x28;
inline constexpr unsigned kInfoSize = 0x40;

}  // namespace nivxi
