// The waveforms of sequencer streams: every scan and every sink read-back
// of the module programs becomes one VCD file (foundation/waves.h) with a
// scope per byte lane, a wire per bit of the sequencer byte, the byte, and
// what the program reported at each word.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "foundation/vcd.h"

// What a scan reported, for its waveform: the word index at which each
// error was reported (once per error), and each decoded train.
struct ScanMarks {
  struct Train {
    int line;                   // 0 ID, 1 TT
    int stop;                   // the stop bit's index (may lie past the end)
    std::array<int, 2> fields;  // L1ID and BCID, or TTID
  };
  std::vector<int> errors;
  std::vector<Train> trains;
};

// The waveform of a scan of count entries of buffer, lane 0 or 1.
Vcd scanWaves(const std::int32_t* buffer, int count, int lane, const ScanMarks& marks);
// The waveform of a sink read-back: the words read and expected, with both
// lanes, and the words the comparison reported.
Vcd sinkWaves(const std::int32_t* read, const std::int32_t* expected, int count,
              const std::vector<int>& mismatches);

// Written into the run's waveform folder when there is one.
void writeScanWaves(const std::int32_t* buffer, int count, int lane, const ScanMarks& marks);
void writeSinkWaves(const std::int32_t* read, const std::int32_t* expected, int count,
                    const std::vector<int>& mismatches);
