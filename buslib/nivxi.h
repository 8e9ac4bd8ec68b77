// The bus library: the vendor-shaped calls of the VXI/VME bus interface,
// made through an access method (buslib/access_method.h): the simulated
// crate, the kernel's VME interface or a CAEN bridge.  Statuses are signed
// 16-bit: 0 success, negative failure, positive a warning.  A method may
// force the status of each call (the crate file's library line).  The
// program starts the bus (buslib/bus_config.h) before its first call; a call
// before that returns VXI_NOT_INITIALIZED.  InitVXIlibrary opens the method
// (again, after a close call), CloseVXIlibrary closes it.
#pragma once

#include <cstdint>

#include "buslib/vme_ptr.h"

using VXIstatus = std::int16_t;

// Statuses of our own.
inline constexpr VXIstatus VXI_SUCCESS = 0;
inline constexpr VXIstatus VXI_ALREADY_INITIALIZED = 1;  // InitVXIlibrary called twice
inline constexpr VXIstatus VXI_FAILURE = -1;             // not found, bad handle, bus error
inline constexpr VXIstatus VXI_NOT_INITIALIZED = -2;
inline constexpr VXIstatus VXI_BAD_PARAMETER = -3;
inline constexpr VXIstatus VXI_BAD_ADDRESS = -4;  // window does not fit the address space
inline constexpr VXIstatus VXI_NO_WINDOW = -5;    // all windows in use

// Address-space codes of the map call's access parameters.
inline constexpr std::uint32_t VXI_ACCESS_A24 = 2;
inline constexpr std::uint32_t VXI_ACCESS_A32 = 3;

// Size of a window mapped before any window-size call.
inline constexpr std::uint32_t VXI_DEFAULT_WINDOW_SIZE = 0x10000;
// Byte offset, in the information block, of the count of bus errors seen.
inline constexpr std::uint32_t VXI_INFO_BUS_ERRORS = 0x28;

// 0 ready, 1 already initialised, negative failed.
VXIstatus InitVXIlibrary();
// Unmaps every window and closes the library.
VXIstatus CloseVXIlibrary();
// Information block of the library (64 bytes); the 32-bit word at byte 0x28
// counts the bus errors seen since the library was loaded.
const void* GetVXIlibraryInfo();

// Size in bytes of the windows mapped after this call.
VXIstatus SetVXIwindowSize(std::uint32_t size);
// Maps a window at a VME address; access is 2 (A24) or 3 (A32), other bits 0.
// Returns the pointer to the window's first byte (null when status < 0).
VmePtr MapVXIwindow(std::uint32_t access, std::uint32_t address, std::uint32_t timeout,
                    std::uint32_t* window, VXIstatus* status);
// First and last VME address of a mapped window.
VXIstatus GetVXIwindowRange(std::uint32_t window, std::uint32_t* first, std::uint32_t* last);
VXIstatus UnmapVXIwindow(std::uint32_t window);

// Guarded read of width 1, 2 or 4 bytes: a bus error gives a negative status
// and all ones, and never traps.
VXIstatus VXIpeek(VmePtr address, std::int16_t width, std::uint32_t* value);

// Device table: the file named by VME_DEVICE_TABLE when it is set
// (buslib/device_table.h), else the method's own if it has one (the boards of
// the simulated crate with a name=, the logical address being the board's
// position in the crate, 1 for the first board line).  Not found:
// VXI_FAILURE and logical address -1.
VXIstatus FindVXIdevice(const char* name, std::int16_t s1, std::int16_t s2, std::int16_t s3,
                        std::int16_t s4, std::int16_t s5, std::int16_t s6, std::int16_t* la);

// Bus status.  Field 1 is the bus-error latch: 1 when a bus error was seen
// since the last query or probe preparation, else 0; the query clears it.
// Controller -1 is the local controller; other fields read 0.
VXIstatus GetVXIbusStatus(std::int16_t controller, std::int16_t field, std::int16_t* value);
// Probe preparation: clears the bus-error latch so that the next status query
// shows only what the probe reads caused.
VXIstatus PrepareVXIprobe();
