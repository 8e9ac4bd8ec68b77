// The bus-cycle trace, the same for every access method, and the checks
// made when the process ends.
//
// The trace is kept in the library's own buffer and written with write(2).
// Only whole lines are ever counted in the buffer, so that Control-C (the
// library's SIGINT handler) writes every cycle made before it, each line
// whole, and then lets the process die of SIGINT as it would have.
#pragma once

#include <cstdint>

#include "crate/crate.h"

namespace vmebus {

extern bool gTraceOn;

// Opens FILE for appending; its descriptor is 3 or above.  False with errno.
bool openTrace(const char* path);
// Writes what is buffered and closes the file.
void closeTrace();

// One line per bus cycle: "R A24 D16 00F00032 0901", " BERR" on a bus error.
void traceCycle(char dir, vmesim::Space space, std::uint32_t address, vmesim::Width width,
                std::uint32_t value, bool berr);
inline void traceIfOn(char dir, vmesim::Space space, std::uint32_t address, vmesim::Width width,
                      std::uint32_t value, bool berr) {
  if (gTraceOn) traceCycle(dir, space, address, width, value, berr);
}
// "# text": the library's own calls, for people only.
void traceNote(const char* text);

// Writes what is buffered.  False once the trace could not be written; that
// is said once on standard error and the run ends with status 2.
bool flushTrace();

// Installs the SIGINT handler (when a trace is open and SIGINT has its
// default action) and the exit-time check: the trace and standard output
// are written out, and a failure of either ends the process with status 2.
void installExitChecks();

// Called by the fatal-signal handler (SIGINT) before the process dies of the
// signal; it may only make async-signal-safe calls.  Setting a hook installs
// the handler also when no trace is open.
void setFatalSignalHook(void (*hook)(int sig));

}  // namespace vmebus
