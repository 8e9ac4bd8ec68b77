// The bus-cycle trace, the same for every access method, and the checks
// made when the process ends.
//
// The trace is kept in the library's own buffer and written with write(2).
// Only whole lines are ever counted in the buffer, so that a signal that ends
// the run (SIGINT, SIGTERM, SIGHUP, SIGPIPE: the library's handler) writes
// every cycle made before it, each line whole, and then lets the process die
// of that signal as it would have.
//
// A trace never writes into an input of the run (crate file, device table,
// played file): the same file is refused whichever is opened first.  A run
// adds at most its limit (VME_TRACE_LIMIT, default 1 GiB) to the trace; the
// cycles after it are counted, not traced.
#pragma once

#include <cstdint>
#include <string>

#include "buslib/bus_config.h"
#include "crate/crate.h"

namespace vmebus {

extern bool gTraceOn;

// Opens FILE for appending; its descriptor is 3 or above.  A FIFO is opened
// without waiting and needs a reader.  False with the reason in why (without
// the library's prefix): a file that cannot be opened, or an input of the run.
bool openTrace(const char* path, std::string* why = nullptr);
// Opens the trace of the bus's settings (VME_TRACE or VME_SIM_TRACE), with
// their limit (VME_TRACE_LIMIT: bytes, or with a K, M or G suffix).  False
// with the reason in error (without the library's prefix) on a bad setting
// or a trace that cannot be opened.
bool startTrace(const BusConfig& config, std::string& error);
// The bytes a VME_TRACE_LIMIT text allows (empty: the default, 1 GiB); false
// for a text startTrace refuses.  Other files of a run bounded by the same
// rule use it.
bool traceLimitBytes(const std::string& text, std::uint64_t& bytes);
// Writes what is buffered, with the count of untraced cycles when the limit
// was reached, and closes the file.
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

// Notes the file open on fd as an input of the run (what: "input file",
// "crate file" ...).  When it is the trace: false with errno EEXIST, the line
// said, the run untrusted (status 2) and nothing more written to the trace.
// False (errno ENOENT) when the trace made the file a moment ago: the input
// did not exist, and the trace is dropped with the file it made.
bool noteInputFile(int fd, const char* path, const char* what = "input file");

// Called first by the handler of a signal that ends the run, with the
// signal, before the trace is written out; it must be async-signal-safe.
// Setting one installs the handlers also when no trace is open.
void setFatalSignalHook(void (*hook)(int sig));

// Installs the handlers of the signals that end a run, when a trace is open
// or a hook set, and only for a signal that has its default action.
void installSignalHandlers();

// The bus failed in a way that leaves the run's results untrusted (a CAEN
// bridge that lost its link, a trace that met an input): the run ends with
// status 2.
void markRunUntrusted();
bool runTrusted();

// The end of a run: the trace written out (with the count of untraced
// cycles) and standard output flushed.  False when either lost anything;
// the failure is said once on standard error and its text kept.
bool writeTraceOut();
bool flushStandardOutput();
// "trace file t cannot be written: ...", or empty.
const std::string& traceFailure();
// "write error on standard output: ...", or empty.
const std::string& stdoutFailure();

}  // namespace vmebus
