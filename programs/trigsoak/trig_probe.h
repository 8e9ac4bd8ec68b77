// Start-up and shut-down of the probe programs: the library is driven
// directly, the device is looked up by name, and the window's first word is
// read twice with the bus status and the bus-error word printed around it.
#pragma once

#include <cstdint>

#include "buslib/vme_ptr.h"

struct ProbeSettings {
  const char* device = "LOBBO";  // name looked up in the device table
};

extern ProbeSettings probeSettings;

inline constexpr std::uint32_t PROBE_DEFAULT_BASE = 0x180000;

// Handle of the probe's window, for closeProbe.
extern std::uint32_t probeWindow;

// Initialises the library, maps an A24 window at base and probes it.
// Returns the window pointer, or null when the probe cannot go on.
VmePtr mapProbe(std::uint32_t base);
void printBusStatus();
// Prints the bus status, unmaps the window and closes the library.
void closeProbe();
// The load sequence of the register block: 38 writes, or 20 in the short
// form.
void loadRegisterBlock(VmePtr base, bool shortForm);

// The program entry shared by the probes: asks the base, maps and probes,
// runs the payload and closes.  Returns the payload's exit status, or
// RUN_UNTESTED when no window could be mapped.
int probeMain(int (*payload)(VmePtr));
