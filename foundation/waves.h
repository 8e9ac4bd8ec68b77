// Waveform files of a run: VME_WAVES=DIR writes each sequencer stream the
// module programs scan or read back as one VCD file into DIR, named after
// the program, the module serial where it was read, the test or command and
// a number in order: "qemtest-01-SEQ-0003.vcd", "qemseq-scan-0001.vcd".
// The files of one run are bounded (1000 files, VME_TRACE_LIMIT's bytes);
// past a bound, or on a file that cannot be written, one line on standard
// error and no more files.  Nothing else of the run changes.
#pragma once

#include <cstdint>
#include <string>

#include "buslib/bus_config.h"
#include "foundation/vcd.h"

// Checks VME_WAVES before the bus starts: the folder must exist and take a
// new file.  False with the one line to say in error.  Unset or empty: no
// files, true.
bool wavesOpen(const char* program, const vmebus::BusConfig& bus, const char* played,
               std::string& error);
// Files into folder, as wavesOpen would set it up (tests).  Empty: none.
bool wavesUseFolder(const char* program, const std::string& folder, const std::string& limit,
                    std::string& error);
// True while files are written.
bool wavesWanted();
// The test or command now running, for the names of its files.
void wavesStep(const char* name);

// One sample is one bunch crossing of 25 ns; the file counts in ns.
inline constexpr std::uint64_t kWaveWordTime = 25;
inline constexpr int kWaveMaxFiles = 1000;

// Writes the next file of the run, what a line of its $comment.
void wavesWrite(Vcd& vcd, std::uint64_t end, const std::string& what);
// The text wavesWrite puts in a file (tests).
std::string wavesText(Vcd& vcd, std::uint64_t end, const std::string& what);
// The name the next file gets ("qemtest-01-SEQ-0003.vcd").
std::string wavesNextName();
// No files, nothing counted (tests).
void wavesReset();
