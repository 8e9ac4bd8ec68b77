// Start-up and shut-down of the probe programs: the library is driven
// directly, the device is looked up by name, and the window's first word is
// read twice with the bus status and the bus-error word printed around it.
#pragma once

#include <cstdint>

#include "buslib/vme_ptr.h"
#include "foundation/usage.h"

// The device looked up and the load form are the profile's probe form.

inline constexpr std::uint32_t PROBE_DEFAULT_BASE = 0x180000;

// Handle of the probe's window, for closeProbe.
extern std::uint32_t probeWindow;

// Initialises the library, maps an A24 window at base and probes it.
// Returns the window pointer, or null when the probe cannot go on.
VmePtr mapProbe(std::uint32_t base);
void printBusStatus();
// Prints the bus status, unmaps the window and closes the library.
void closeProbe();
// The load sequence of the register block in the profile's form: 38 writes,
// or 20 in the short form.
void loadRegisterBlock(VmePtr base);

// The base address question, asked by probeMain.
inline constexpr Question kAskProbeBase{
    "Enter VME base address: 0x",
    "hex digits, in A24; blank lines are\n"
    "skipped, and an answer without digits\n"
    "or the end of input keeps 180000"};

// The program entry shared by the probes: asks the base, maps and probes,
// runs the payload and closes.  Returns the payload's exit status, or
// RUN_UNTESTED when no window could be mapped.
int probeMain(int (*payload)(VmePtr));
// The body of the load programs: probeMain with the register block load.
int probeLoadBody(const char* program, const char* file);
