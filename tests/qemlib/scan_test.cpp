// The scan report, seqAddL1A and scanBuffer on host buffers.
#include <algorithm>
#include <vector>

#include "foundation/waves.h"
#include "qem_fixture.h"
#include "vcd_reader.h"

using namespace qemtest_support;

namespace {

class Scan : public ModuleOnMemory {
 protected:
  std::vector<std::int32_t> buf = std::vector<std::int32_t>(SEQ_WORDS, 0);

  ScanParams params(int count = SEQ_WORDS, int verbose = 0) {
    ScanParams p = scanDefaults();
    p.count = count;
    p.byte = 0;
    p.verbose = verbose;
    return p;
  }
  std::vector<std::vector<std::string>> byRule() {  // the plain rules, then a TTC recording's
    ScanParams ttc = params();
    ttc.ttcTiming = 1;
    return {errors(params()), errors(ttc)};
  }
  // Scans and returns the ERROR lines; the result goes to last.  Every such
  // scan also writes its waveform, which must give back the buffer scanned,
  // the errors at the words they were reported and the trains decoded.
  std::vector<std::string> errors(ScanParams p) {
    vmetest::TempDir dir;
    std::string refused;
    EXPECT_TRUE(wavesUseFolder("qemtest", dir.path(), "", refused)) << refused;
    const std::string file = dir.file(wavesNextName());
    const std::string out = printed([&] { last = scanReport(buf.data(), p); });
    wavesReset();
    const vmetest::VcdWaves w = vmetest::readVcd(vmetest::readFile(file));
    EXPECT_EQ(w.error, "");
    const std::size_t count = static_cast<std::size_t>(std::max(p.count, 0));
    const int lane = p.byte != 0 ? 1 : 0, n = static_cast<int>(count);
    const std::string scope = lane != 0 ? "qem.sink." : "qem.source.";
    const char* names[11] = {"L1A", "ECR", "BCR", "CAL", "SERID", "SERTT", "CMD40", "CMD80",
                             "byte", "scan_errors", "scan_error"};
    std::vector<std::int64_t> wire[11];
    for (int b = 0; b < 11; ++b) wire[b] = w.perWord(scope + names[b], n);
    // Rules that report the word's own index first; the train and
    // identifier rules report at their L1A's word.
    std::vector<int> atIndex(count + 1, 0);
    int atL1A = 0, sum = 0, l1as = 0;
    for (const std::string& line : errorLines(out)) {
      const std::size_t sp = line.rfind(' ', line.rfind(' ') - 1);
      const std::string label = line.substr(7, sp - 7);
      if (label.find(": index") != std::string::npos && !label.starts_with("overflow") &&
          !label.starts_with("stop bit"))
        ++atIndex[std::min<std::size_t>(std::stoul(line.substr(sp + 1), nullptr, 16), count)];
      else
        ++atL1A;
    }
    for (std::size_t k = 0; k < count; ++k) {
      const int d = (buf[k] >> (8 * lane)) & 0xFF, here = static_cast<int>(wire[9][k]);
      EXPECT_EQ(wire[8][k], d) << "word " << k;
      for (int b = 0; b < 8; ++b) EXPECT_EQ(wire[b][k], (d >> b) & 1) << "word " << k;
      EXPECT_EQ(wire[10][k], here != 0) << "word " << k;
      EXPECT_GE(here, atIndex[k]) << "errors at word " << k;
      if (here > atIndex[k]) {
        EXPECT_TRUE(d & SEQ_L1A) << "errors at word " << k;
      }
      atL1A -= here - atIndex[k];
      sum += here;
      l1as += d & SEQ_L1A;
    }
    EXPECT_EQ(sum, last.errors);
    EXPECT_EQ(atL1A, 0) << "the train and identifier errors at their L1As";
    EXPECT_EQ(l1as, last.countL1A);
    // The fields of the last train decoded, x before any.
    for (const char* f : {"L1ID", "BCID", "TTID"}) {
      const int want = *f == 'L' ? last.l1id : *f == 'B' ? last.bcid : last.ttid;
      EXPECT_EQ(w.perWord(scope + f, n + 1).back(), last.countL1A > 0 ? want : -1) << f;
    }
    return errorLines(out);
  }
  ScanResult last{};
};

using Lines = std::vector<std::string>;

TEST_F(Scan, DefaultsAreTheModulesTiming) {
  const ScanParams p = scanDefaults();
  EXPECT_EQ(p.count, 0x4000);
  EXPECT_EQ(p.byte, 1);
  EXPECT_EQ(p.verbose, 0);
  EXPECT_EQ(p.bcOffset, 6);
  EXPECT_EQ(p.orbit, 3565);
  EXPECT_EQ(p.pipeline, 99);
  EXPECT_EQ(p.nextL1ID, NO_VALUE);
  EXPECT_EQ(p.nextTTID, NO_VALUE);
}

TEST_F(Scan, DecodesOneL1AWithItsTrainsVerbose) {
  putL1A(buf.data(), 100, 5, 0x123, 0x3FF);
  const int nonzero =
      static_cast<int>(std::count_if(buf.begin(), buf.end(), [](int v) { return v != 0; }));
  const std::string out = printed([&] { last = scanReport(buf.data(), params(SEQ_WORDS, 1)); });
  EXPECT_EQ(out,
            "\nScan report:\n"
            "byte 0 size 65536 incr 4 orbit 3565\n"
            "L1A index   100 0064 start 0065 stop 008A BCID 123 L1ID 000005\n"
            "                     start 0065 stop 0070 TTID 3FF\n"
            "Scan end: non-zero bytes " +
                std::to_string(nonzero) + " errors 0\n");
  EXPECT_EQ(last.l1id, 5);
  EXPECT_EQ(last.bcid, 0x123);
  EXPECT_EQ(last.ttid, 0x3FF);
  EXPECT_EQ(last.indexL1A, 100);
  EXPECT_EQ(last.countL1A, 1);
  EXPECT_EQ(last.errors, 0);
}

TEST_F(Scan, SerialBitsOutsideATrainAndStopBits) {
  putL1A(buf.data(), 100, 5, 0x123, 0x3FF);
  buf[139] |= SEQ_SERID;  // one past the stop bit
  EXPECT_EQ(errors(params()), Lines{"ERROR: SerialID: index next 8B 8A"});

  buf[139] = 0;
  buf[112] |= SEQ_SERTT;  // the TT stop bit itself
  EXPECT_EQ(errors(params()), Lines{"ERROR: stop bit: index data 70 20"});

  // A serial bit before any train counts the train end as 0.
  std::fill(buf.begin(), buf.end(), 0);
  buf[7] = SEQ_SERTT;
  EXPECT_EQ(errors(params()), Lines{"ERROR: SerialTT: index next 7 0"});
  EXPECT_EQ(last.indexL1A, NO_VALUE);
  EXPECT_EQ(last.l1id, NO_VALUE);
  EXPECT_EQ(last.bcid, NO_VALUE);
  EXPECT_EQ(last.ttid, NO_VALUE);
}

TEST_F(Scan, BCRsMustBeOneOrbitApart) {
  buf[10] = SEQ_BCR;
  buf[10 + 3565] = SEQ_BCR;
  EXPECT_TRUE(errors(params()).empty());
  EXPECT_EQ(last.countBCR, 2);

  buf[10 + 3565] = 0;
  buf[10 + 3564] = SEQ_BCR;
  EXPECT_EQ(errors(params()), Lines{"ERROR: BCRorbit: index next DF6 DF7"});

  // BCIDs count modulo the orbit: an L1A 2 words after the periodic BCR
  // carries 3565 + 2 - 6, or, as the console builds it, the twelve bits of
  // 2 - 6.  Any other value is an error.
  buf[10 + 3564] = 0;
  buf[10 + 3565] = SEQ_BCR;
  for (int bcid : {3561, 0xFFC, 3560}) {
    std::fill(buf.begin() + 3576, buf.end(), 0);
    putL1A(buf.data(), 3577, 1, bcid, 0);
    EXPECT_EQ(byRule()[1], bcid == 3560 ? Lines{"ERROR: nextBCID: BCid  next DE8 FFFFFFFC"}
                                        : Lines{})
        << bcid;
    EXPECT_EQ(byRule()[0].size(), bcid == 0xFFC ? 1u : 2u) << bcid;  // plain: and a dead time
  }
}

TEST_F(Scan, ExtremeOrbitAndPipelineWrapAsPrinted) {
  // A virtual BCR before word 0 and an orbit near the bottom of the int
  // range (the console takes the orbit from any BCR index).
  putL1A(buf.data(), 10, 1, 100, 0);  // BCR at 10 - 100 - 6 = -96
  buf[60] = SEQ_BCR;
  ScanParams p = params();
  p.orbit = -0x7FFFFFFF;
  EXPECT_EQ(errors(p), Lines{"ERROR: BCRorbit: index next 3C 7FFFFFA1"});

  std::fill(buf.begin(), buf.end(), 0);
  buf[5] = SEQ_CAL;
  putL1A(buf.data(), 40, 1, 0, 0);
  p = params();
  p.pipeline = 0x7FFFFFFF;
  EXPECT_EQ(errors(p)[0], "ERROR: pipeline: index next 28 80000004");
}

TEST_F(Scan, DeadTimeAfterEachCommand) {
  putL1A(buf.data(), 100, 5, 0x123, 0x3FF);
  buf[102] = SEQ_CAL;  // 2 words after an L1A
  EXPECT_EQ(errors(params()), Lines{"ERROR: deadtime: index next 66 67"});
  buf[102] = 0;
  buf[103] = SEQ_CAL;  // 3 words after: allowed
  EXPECT_TRUE(errors(params()).empty());

  std::fill(buf.begin(), buf.end(), 0);
  buf[10] = SEQ_ECR;
  buf[16] = SEQ_BCR;  // ECR blocks 7 words
  buf[23] = SEQ_CAL;  // BCR too: 23 is free
  buf[49] = SEQ_ECR;  // CAL blocks 27 words: 50 would be free
  EXPECT_EQ(errors(params()),
            (Lines{"ERROR: deadtime: index next 10 11", "ERROR: deadtime: index next 31 32"}));

  // A BCR one orbit after the last is the periodic one: it comes 2 words
  // after an L1A and the ECR 2 words after it, both without error.  Off its
  // orbit the same BCR waits for and starts a dead time as before.
  std::fill(buf.begin(), buf.end(), 0);
  buf[5] = SEQ_BCR;
  putL1A(buf.data(), 3568, 1, 3557, 0);
  buf[3570] |= SEQ_BCR;
  buf[3572] |= SEQ_ECR;
  EXPECT_TRUE(byRule()[1].empty());
  buf[3570] &= ~SEQ_BCR;
  buf[3569] |= SEQ_BCR;
  EXPECT_EQ(errors(params()),
            (Lines{"ERROR: deadtime: index next DF1 DF3", "ERROR: BCRorbit: index next DF1 DF2",
                   "ERROR: deadtime: index next DF4 DF8"}));
  // Only a TTC recording's L1A may come one word after the BCR on its orbit.
  std::fill(buf.begin(), buf.end(), 0);
  buf[10] = buf[3575] = SEQ_BCR;
  putL1A(buf.data(), 3576, 1, (3576 - 3575 - 6) & 0xFFF, 0);
  EXPECT_EQ(byRule(), (std::vector<Lines>{{"ERROR: deadtime: index next DF8 DFE"}, {}}));
}

TEST_F(Scan, SeveralCommandsInOneByte) {
  // L1A and BCR together: both are handled (BCR first), one multiCMD error.
  buf[10] = SEQ_L1A | SEQ_BCR;
  putTrain(buf.data(), 11, SEQ_SERID, {{0, 24}, {(10 - 10 - 6) & 0xFFF, 12}});
  putTrain(buf.data(), 11, SEQ_SERTT, {{0, 10}});
  EXPECT_EQ(errors(params()), Lines{"ERROR: multiCMD: index cmds A 2"});
  EXPECT_EQ(last.countBCR, 1);
  EXPECT_EQ(last.countL1A, 1);

  std::fill(buf.begin(), buf.end(), 0);
  buf[10] = 0x40;
  buf[20] = 0x82;  // reserved line and an ECR
  EXPECT_EQ(errors(params()),
            (Lines{"ERROR: reserved: index data A 40", "ERROR: reserved: index data 14 82",
                   "ERROR: multiCMD: index cmds 14 2"}));
}

TEST_F(Scan, FirstL1AWithoutBCRSetsAVirtualBCR) {
  putL1A(buf.data(), 200, 1, 50, 0);  // BCR at 200 - 50 - 6 = 144
  buf[144 + 3565] = SEQ_BCR;
  putL1A(buf.data(), 4000, 2, 4000 - 3709 - 6, 0);
  EXPECT_TRUE(errors(params()).empty());

  buf[144 + 3565] = 0;
  buf[144 + 3564] = SEQ_BCR;
  // The orbit is wrong, and the second L1A's BCID is one off the new BCR.
  EXPECT_EQ(errors(params()), (Lines{"ERROR: BCRorbit: index next E7C E7D",
                                     "ERROR: nextBCID: BCid  next 11D 11E"}));

  // An L1A 2 words before the periodic BCR (bunch 3562, BCID 3557): the
  // BCR comes one orbit after the virtual one, inside the L1A's dead time.
  std::fill(buf.begin(), buf.end(), 0);
  putL1A(buf.data(), 0, 1, 3557, 0);
  buf[2] |= SEQ_BCR;
  EXPECT_EQ(byRule(), (std::vector<Lines>{{"ERROR: deadtime: index next 2 3"}, {}}));

  // BCID 3562 is bunch 3567 of a counter running free, or bunch 2 after a
  // BCR (the offset borrows from the previous orbit).  The next BCR or L1A
  // tells which; what fits neither is an error.
  struct Next {
    int index, bcid;  // a BCR where bcid < 0
    Lines errors;
  };
  for (const Next& n : {Next{3562, -1, {}}, Next{500, 497, {}}, Next{100, 3662, {}},
                        Next{3561, -1, {"ERROR: BCRorbit: index next DE9 FFFFFFFD"}},
                        Next{500, 498, {"ERROR: nextBCID: BCid  next 1F2 FDE"}}}) {
    std::fill(buf.begin(), buf.end(), 0);
    putL1A(buf.data(), 0, 1, 3562, 0);
    if (n.bcid < 0) buf[n.index] |= SEQ_BCR;
    else putL1A(buf.data(), n.index, 2, n.bcid, 0);
    EXPECT_EQ(byRule()[1], n.errors) << n.index;
  }
  // The plain rules know only the first reading (the L1A at 0 is kept).
  std::fill(buf.begin() + 100, buf.end(), 0);
  buf[3562] |= SEQ_BCR;
  EXPECT_EQ(byRule(), (std::vector<Lines>{{"ERROR: BCRorbit: index next DEA FFFFFFFD"}, {}}));
}

TEST_F(Scan, EventCounterAfterECRDependsOnFirmware) {
  buf[10] = SEQ_ECR;
  putL1A(buf.data(), 20, 0, 0, 0);
  setFirmware(9);
  EXPECT_TRUE(errors(params()).empty());
  setFirmware(8);
  EXPECT_EQ(errors(params()), Lines{"ERROR: nextL1ID: L1id  next 0 1"});
  EXPECT_EQ(last.countECR, 1);
}

TEST_F(Scan, ConsecutiveL1IDsWrapAt24Bits) {
  putL1A(buf.data(), 100, 0xFFFFFF, 0, 7);
  putL1A(buf.data(), 200, 0, 100, 7);
  ScanParams p = params();
  p.nextL1ID = 0xFFFFFF;
  p.nextTTID = 7;
  EXPECT_TRUE(errors(p).empty());
  EXPECT_EQ(last.l1id, 0);
  EXPECT_EQ(last.indexL1A, 200);
  EXPECT_EQ(last.countL1A, 2);

  p.nextL1ID = 0xFFFFFE;
  p.nextTTID = 0x155;
  EXPECT_EQ(errors(p), (Lines{"ERROR: nextL1ID: L1id  next FFFFFF FFFFFE",
                              "ERROR: nextTYPE: TTid  next 7 155",
                              "ERROR: nextTYPE: TTid  next 7 155"}));
}

TEST_F(Scan, CalMustBeFollowedByItsL1AAfterThePipeline) {
  buf[10] = SEQ_CAL;
  putL1A(buf.data(), 10 + 99, 1, 0, 0);
  EXPECT_TRUE(errors(params()).empty());
  EXPECT_EQ(last.countCAL, 1);

  std::fill(buf.begin(), buf.end(), 0);
  buf[10] = SEQ_CAL;
  putL1A(buf.data(), 10 + 100, 1, 0, 0);
  putL1A(buf.data(), 300, 2, 300 - 110 + 0, 0);  // no CAL before this one: no check
  EXPECT_EQ(errors(params()), Lines{"ERROR: pipeline: index next 6E 6D"});
}

TEST_F(Scan, TrainRunningPastTheEndIsReportedOncePerLine) {
  const int n = 0x400;
  // ID stop bit at n, beyond the end.  BCID 0xFEE makes the second L1A's
  // expected BCID 0x1000, which is 0 in twelve bits.
  putL1A(buf.data(), n - 38, 1, 0xFEE, 0);
  buf[n - 20] = SEQ_L1A;                // no ID train of its own left to find
  putTrain(buf.data(), n - 19, SEQ_SERTT, {{0, 10}});
  const Lines e = errors(params(n));
  // The second ID train is not reported again; its L1ID reads 0.
  EXPECT_EQ(e, (Lines{"ERROR: overflow: index loop 400 0", "ERROR: nextL1ID: L1id  next 0 2"}));
  EXPECT_EQ(last.countL1A, 2);
  EXPECT_EQ(last.l1id, 0);  // read from beyond the end
}

TEST_F(Scan, LaneOneIsTheSinkByte) {
  putL1A(buf.data(), 100, 9, 0x42, 0x11, 1);
  ScanParams p = params();
  p.byte = 1;
  EXPECT_TRUE(errors(p).empty());
  EXPECT_EQ(last.l1id, 9);
  EXPECT_EQ(last.ttid, 0x11);
  p.byte = 0;
  EXPECT_TRUE(errors(p).empty());
  EXPECT_EQ(last.countL1A, 0);
}

TEST_F(Scan, ScanBufferPrintsTwentyEntriesALine) {
  buf[0] = 0x4;
  buf[44] = 0x8;
  const std::string out = printed([&] { scanBuffer(buf.data(), 45, params()); });
  std::string zeros20;
  for (int i = 0; i < 20; ++i) zeros20 += i == 19 ? " 0\n" : " 0 ";
  std::string first = zeros20;
  first[1] = '4';
  EXPECT_EQ(out.substr(0, 3 * 45), first + zeros20 + " 0  0  0  0  8\n");
  EXPECT_NE(out.find("\nScan report:\nbyte 0 size 180 incr 4 orbit 3565\n"), std::string::npos);
  EXPECT_NE(out.find("CAL index    44 002C\n"), std::string::npos);
  EXPECT_TRUE(out.ends_with("scan errors = 0\n"));
}

TEST_F(Scan, ScanBufferShowsAtMost200Entries) {
  const std::string out = printed([&] { scanBuffer(buf.data(), 0x4000, params()); });
  EXPECT_EQ(out.find("\nScan report:"), 3u * 200);
}

// seqAddL1A

class AddL1A : public Scan {
 protected:
  void add(int index, int l1id, int bcid, int size = SEQ_WORDS) {
    seqAddL1A(buf.data(), size, index, {l1id, bcid, 0x3FF}, {1, 1});
  }
};

TEST_F(AddL1A, QueuesTrainsBehindThoseOfThePreviousL1A) {
  add(100, 1, 10);
  add(103, 2, 13);
  std::vector<std::int32_t> want(SEQ_WORDS, 0);
  want[100] = want[103] = SEQ_L1A;
  putTrain(want.data(), 101, SEQ_SERID, {{1, 24}, {10, 12}});
  putTrain(want.data(), 101, SEQ_SERTT, {{0x3FF, 10}});
  putTrain(want.data(), 139, SEQ_SERID, {{2, 24}, {13, 12}});  // after stop bit 138
  putTrain(want.data(), 113, SEQ_SERTT, {{0x3FF, 10}});        // after stop bit 112
  EXPECT_EQ(buf, want);
  EXPECT_EQ(seqLinePos, (std::array<int, 2>{177, 125}));

  // What it builds scans clean.
  ScanParams p = params();
  p.nextL1ID = 1;
  p.nextTTID = 0x3FF;
  EXPECT_TRUE(errors(p).empty());
  EXPECT_EQ(last.l1id, 2);
  EXPECT_EQ(last.bcid, 13);
}

TEST_F(AddL1A, ClearedBufferRestartsBothLines) {
  add(100, 1, 10);
  std::fill(buf.begin(), buf.end(), 0);
  add(50, 2, 0);  // sees entry 100 cleared: trains right behind 50
  EXPECT_EQ(buf[51], SEQ_SERID | SEQ_SERTT);
  EXPECT_EQ(seqLastIndex, NO_VALUE);
  add(60, 3, 0);  // records its own index, queues behind 50's trains
  EXPECT_EQ(seqLastIndex, 60);
  EXPECT_EQ(buf[88], 0);  // stop bit of the first train
  EXPECT_EQ(buf[89] & SEQ_SERID, SEQ_SERID);
  EXPECT_EQ(buf[62] & SEQ_SERTT, 0);  // TT stop bit of 50
  EXPECT_EQ(buf[63] & SEQ_SERTT, SEQ_SERTT);
}

TEST_F(AddL1A, IndexOutsideAndTrainsCutAtTheEnd) {
  const int size = 0x100;
  add(size, 1, 0, size);
  add(-1, 1, 0, size);
  EXPECT_TRUE(std::all_of(buf.begin(), buf.end(), [](int v) { return v == 0; }));
  EXPECT_EQ(seqLastIndex, NO_VALUE);

  add(size - 5, 0xFFFFFF, 0xFFF, size);
  for (int i = size; i < SEQ_WORDS; ++i) ASSERT_EQ(buf[i], 0) << i;
  EXPECT_EQ(buf[size - 5], SEQ_L1A);
  for (int i = size - 4; i < size; ++i) EXPECT_EQ(buf[i], SEQ_SERID | SEQ_SERTT) << i;
}

TEST_F(AddL1A, NegativeBCIDIsSentAsTwelveBits) {
  add(100, 1, -5);
  ScanParams p = params();
  EXPECT_TRUE(errors(p).empty());
  EXPECT_EQ(last.bcid, 0xFFB);
}

}  // namespace
