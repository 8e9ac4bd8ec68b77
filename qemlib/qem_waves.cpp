#include "qemlib/qem_waves.h"

#include <cstdio>

#include "foundation/waves.h"
#include "qemlib/qem_scan.h"

namespace {

constexpr const char* kBitNames[8] = {"L1A", "ECR", "BCR", "CAL", "SERID", "SERTT", "CMD40", "CMD80"};
constexpr const char* kLaneNames[2] = {"source", "sink"};

std::uint64_t timeOf(int word) { return static_cast<std::uint64_t>(word) * kWaveWordTime; }

// The wires of one byte lane: a wire per bit, then the byte.
struct LaneWires {
  int bits[8];
  int byte;

  void declare(Vcd& vcd) {
    for (int b = 0; b < 8; ++b) bits[b] = vcd.wire(kBitNames[b], 1);
    byte = vcd.wire("byte", 8);
  }
  // Only the words whose byte differs from the word before.
  void samples(Vcd& vcd, const std::int32_t* words, int count, int lane) const {
    int before = 0;
    for (int k = 0; k < count; ++k) {
      const int d = (words[k] >> (8 * lane)) & 0xFF;
      if (d == before) continue;
      for (int b = 0; b < 8; ++b)
        if (((d ^ before) >> b) & 1) vcd.change(bits[b], timeOf(k), (d >> b) & 1);
      vcd.change(byte, timeOf(k), d);
      before = d;
    }
  }
};

// A 1-bit pulse for each word in marks and the number of marks at that
// word, back to 0 on the next word.
void pulses(Vcd& vcd, int flag, int number, const std::vector<int>& marks, int count) {
  std::vector<int> perWord(static_cast<std::size_t>(count) + 1, 0);
  for (const int k : marks)
    if (k >= 0 && k < count) ++perWord[static_cast<std::size_t>(k)];
  for (int k = 0; k < count; ++k) {
    const int n = perWord[static_cast<std::size_t>(k)];
    if (n == 0) continue;
    vcd.change(flag, timeOf(k), 1);
    if (number >= 0) vcd.change(number, timeOf(k), n > 15 ? 15 : n);
    if (perWord[static_cast<std::size_t>(k) + 1] == 0) {
      vcd.change(flag, timeOf(k + 1), 0);
      if (number >= 0) vcd.change(number, timeOf(k + 1), 0);
    }
  }
}

}  // namespace

Vcd scanWaves(const std::int32_t* buffer, int count, int lane, const ScanMarks& marks) {
  if (count < 0) count = 0;
  lane = lane != 0 ? 1 : 0;
  Vcd vcd;
  vcd.scope("qem");
  vcd.scope(kLaneNames[lane]);
  LaneWires wires{};
  wires.declare(vcd);
  const int error = vcd.wire("scan_error", 1);
  const int errors = vcd.wire("scan_errors", 4);
  const int fields[3] = {vcd.wire("L1ID", 24, Vcd::kUnknown), vcd.wire("BCID", 12, Vcd::kUnknown),
                         vcd.wire("TTID", 10, Vcd::kUnknown)};
  vcd.upscope();
  vcd.upscope();
  wires.samples(vcd, buffer, count, lane);
  pulses(vcd, error, errors, marks.errors, count);
  // A train's fields hold from its stop bit; one that ran past the end
  // shows at the end.
  for (const ScanMarks::Train& t : marks.trains) {
    const std::uint64_t at = timeOf(t.stop < count ? t.stop : count);
    if (t.line == 0) {
      vcd.change(fields[0], at, t.fields[0]);
      vcd.change(fields[1], at, t.fields[1]);
    } else {
      vcd.change(fields[2], at, t.fields[0]);
    }
  }
  return vcd;
}

Vcd sinkWaves(const std::int32_t* read, const std::int32_t* expected, int count,
              const std::vector<int>& mismatches) {
  if (count < 0) count = 0;
  Vcd vcd;
  vcd.scope("qem");
  const int word = vcd.wire("word", 16);
  const int want = vcd.wire("expected", 16);
  const int mismatch = vcd.wire("mismatch", 1);
  LaneWires lanes[2]{};
  for (int lane = 0; lane < 2; ++lane) {
    vcd.scope(kLaneNames[lane]);
    lanes[lane].declare(vcd);
    vcd.upscope();
  }
  vcd.upscope();
  for (int k = 0; k < count; ++k) {
    if (k == 0 || ((read[k] ^ read[k - 1]) & 0xFFFF) != 0) vcd.change(word, timeOf(k), read[k] & 0xFFFF);
    if (k == 0 || ((expected[k] ^ expected[k - 1]) & 0xFFFF) != 0)
      vcd.change(want, timeOf(k), expected[k] & 0xFFFF);
  }
  for (int lane = 0; lane < 2; ++lane) lanes[lane].samples(vcd, read, count, lane);
  pulses(vcd, mismatch, -1, mismatches, count);
  return vcd;
}

void writeScanWaves(const std::int32_t* buffer, int count, int lane, const ScanMarks& marks) {
  if (!wavesWanted()) return;
  char what[96];
  std::snprintf(what, sizeof what, "scan of %d words, %s byte, %d errors", count,
                kLaneNames[lane != 0 ? 1 : 0], static_cast<int>(marks.errors.size()));
  Vcd vcd = scanWaves(buffer, count, lane, marks);
  wavesWrite(vcd, timeOf(count), what);
}

void writeSinkWaves(const std::int32_t* read, const std::int32_t* expected, int count,
                    const std::vector<int>& mismatches) {
  if (!wavesWanted()) return;
  char what[96];
  std::snprintf(what, sizeof what, "sink read-back of %d words, %d mismatches", count,
                static_cast<int>(mismatches.size()));
  Vcd vcd = sinkWaves(read, expected, count, mismatches);
  wavesWrite(vcd, timeOf(count), what);
}
