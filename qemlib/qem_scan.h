// The sequencer RAM word format, building a command stream in a host
// buffer, starting a run, reading the RAM back, and the scan report that
// decodes a command stream and checks its timing rules.
//
// A word buffer is an array of 32-bit integers, one per sequencer word: bits
// 0-7 are the source byte (lane 0), bits 8-15 the sink byte (lane 1).
#pragma once

#include <array>
#include <cstdint>

#include "buslib/vme_ptr.h"
#include "qemlib/qem_settings.h"
#include "regmap/qem.h"

// Bits of a sequencer byte, of reg_output and of the identifier checks' flags.
inline constexpr int SEQ_L1A = regmap::bits(regmap::qem::cmd::kL1A);
inline constexpr int SEQ_ECR = regmap::bits(regmap::qem::cmd::kECR);
inline constexpr int SEQ_BCR = regmap::bits(regmap::qem::cmd::kBCR);
inline constexpr int SEQ_CAL = regmap::bits(regmap::qem::cmd::kCAL);
inline constexpr int SEQ_SERID = regmap::bits(regmap::qem::cmd::kSerId);  // serial L1ID/BCID line
inline constexpr int SEQ_SERTT = regmap::bits(regmap::qem::cmd::kSerTT);  // serial trigger-type line
inline constexpr int SEQ_CMD40 = regmap::bits(regmap::qem::cmd::kCmd40);  // further command lines
inline constexpr int SEQ_CMD80 = regmap::bits(regmap::qem::cmd::kCmd80);
inline constexpr int SEQ_COMMANDS = 0xFF & ~(SEQ_SERID | SEQ_SERTT);  // every bit but the serial lines

// No value given or known.
inline constexpr int NO_VALUE = -999;

// Serial trains: start bit, fields LSB first, stop bit.
inline constexpr int SEQ_ID_TRAIN = 38;  // 1 + 24 + 12 + 1 words
inline constexpr int SEQ_TT_TRAIN = 12;  // 1 + 10 + 1 words

// Words of the sequencer RAM and of every host word buffer.
inline constexpr int SEQ_WORDS = static_cast<int>(regmap::qem::kRamWords);

// The scan's parameters and results.  The two layouts differ between the
// program forms, so they live in distinct inline namespaces: one program
// can never mix them up at link time.
#if defined(QEM_SEQ_FORMS)
inline namespace qem_seq_forms {
struct ScanParams {
  int count;
  int byte;
  int verbose;
  int bcOffset;
  int orbit;
  int pipeline;
};
struct ScanResult {
  int indexL1A;
  int countL1A;
  int countECR;
  int countBCR;
  int countCAL;
  int errors;
};
}  // namespace qem_seq_forms
#else
inline namespace qem_std_forms {
struct ScanParams {
  int count;      // words to scan
  int byte;       // lane: 0 source, nonzero sink
  int verbose;    // nonzero prints the report lines
  int bcOffset;   // BCID = L1A index - last BCR - bcOffset
  int orbit;      // words between BCRs
  int pipeline;   // words from a CAL to its L1A
  int nextL1ID;   // L1ID the next L1A must carry, or NO_VALUE
  int nextBCID;   // carried only
  int nextTTID;   // trigger type every L1A must carry, or NO_VALUE
  // Nonzero for a recording of TTC-driven commands (qemttc's TTC tests),
  // whose L1As come whenever the TTC sends them, also right next to a
  // periodic BCR: see scanReport.  0 for every other stream.
  int ttcTiming;
};
struct ScanResult {
  int l1id;  // fields of the last L1A's trains, NO_VALUE when none
  int bcid;
  int ttid;
  int indexL1A;
  int countL1A;
  int countECR;
  int countBCR;
  int countCAL;
  int errors;
};
}  // namespace qem_std_forms
#endif

// The sequencer RAM (0x4000 D16 words).  Set by the program: the module
// window + QEM_RAM_OFFSET, or a window of its own.
extern VmePtr seqRAM;

// Starts a run.  Standard form: n words, reg_seqLast := n - 1, reg_enables :=
// 0.  qemseq's form: n is the last word itself, reg_enables := 1, and a line
// is printed when the stand-alone clock is not running.
void qemSeqStart(int n);

ScanParams scanDefaults();
// Scans params.count entries of buffer (the caller guarantees them).
//
// With ttcTiming set (standard form only) three rules give way to a TTC
// L1A's timing next to a periodic BCR:
//  - a BCR alone in its word and one orbit after the last (real or virtual)
//    is periodic: it neither waits for a dead time nor starts one;
//  - an L1A fewer than bcOffset words after a BCR may carry its BCID modulo
//    the orbit as well as the twelve bits of the negative difference;
//  - a virtual BCR read from a BCID in the last bcOffset - 1 values of the
//    orbit may lie one orbit later: the next BCR or L1A that fits only that
//    reading moves it.
ScanResult scanReport(const std::int32_t* buffer, ScanParams params);
// Waits for the sequencer, reads the RAM's first params.count words and scans
// them.  A count above 0x4000 is clamped to 0x4000 with a line saying so.
ScanResult scanRAM(ScanParams params);
#if !defined(QEM_SEQ_FORMS)
// scanRAM with the defaults, this count, the expected next L1ID and the
// rule of ttcTiming.
ScanResult scanSink(int count, int nextL1ID, int ttcTiming = 0);
// Prints the main registers and a verbose scan of count RAM words in a lane,
// with the rule of ttcTiming.
void qemRegisterDump(int count, int byte, int ttcTiming = 0);
#else
void qemRegisterDump(int count, int byte);
#endif
// Prints up to 200 entries and a verbose scan of lane 0 of the buffer.
void scanBuffer(const std::int32_t* buffer, int count, ScanParams params);

// Places an L1A at index and queues its serial trains behind those of the
// previous L1A placed; values are L1ID, BCID and TTID, gaps the distances of
// the ID and TT trains from the L1A.  The buffer holds SEQ_WORDS entries, of
// which size are in use: the entry of the previous L1A is looked at even
// when the size has shrunk below it since.  An index outside 0..size-1
// changes nothing; trains are cut at size.
void seqAddL1A(std::int32_t* buffer, int size, int index, const std::array<int, 3>& values,
               const std::array<int, 2>& gaps);
// The queue state of seqAddL1A, kept for the whole run.
extern int seqLastIndex;
extern std::array<int, 2> seqLinePos;
// Back to the start state (no L1A placed yet).
void seqAddL1AReset();
