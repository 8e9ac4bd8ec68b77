// The statuses of the NI-VXI stand-in (nivxi_standin.dll), for it and its
// tests.  The names are ours.
#pragma once

#include "buslib/nivxi_bridge_abi.h"

namespace nivxi::standin {

inline constexpr NivxiInt16 kSuccess = 0;
inline constexpr NivxiInt16 kAlreadyInitialised = 1;
inline constexpr NivxiInt16 kBusError = -1;
inline constexpr NivxiInt16 kBadAddress = -2;      // beyond the space
inline constexpr NivxiInt16 kBadAccess = -3;       // access parameters
inline constexpr NivxiInt16 kBadWidth = -4;        // not 1, 2 or 4
inline constexpr NivxiInt16 kNotInitialised = -5;
inline constexpr NivxiInt16 kBadWindow = -6;       // no such window mapped
inline constexpr NivxiInt16 kNoWindow = -7;        // every window in use
inline constexpr NivxiInt16 kBadParameter = -8;    // a null pointer, a bad size
inline constexpr NivxiInt16 kTimeout = -9;
inline constexpr NivxiInt16 kNotFound = -10;       // FindDevLA
inline constexpr NivxiInt16 kKnobRefused = -100;   // a knob's value it cannot read

}  // namespace nivxi::standin
