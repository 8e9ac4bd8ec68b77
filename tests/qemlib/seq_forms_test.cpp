// The older forms that qemseq is built with (qemlib_seq).
#include "qem_fixture.h"

using namespace qemtest_support;

static_assert(kQemSeqForms, "built with the older forms");

namespace {

class SeqForms : public ModuleOnMemory {
 protected:
  std::vector<std::int32_t> buf = std::vector<std::int32_t>(SEQ_WORDS, 0);
  ScanResult last{};
  std::string scan(int count, int verbose) {
    ScanParams p = scanDefaults();
    p.count = count;
    p.byte = 0;
    p.verbose = verbose;
    return printed([&] { last = scanReport(buf.data(), p); });
  }
};

TEST_F(SeqForms, SixFieldRecordsWithTheirDefaults) {
  static_assert(sizeof(ScanParams) == 6 * sizeof(int));
  static_assert(sizeof(ScanResult) == 6 * sizeof(int));
  const ScanParams p = scanDefaults();
  EXPECT_EQ(p.count, 0x4000);
  EXPECT_EQ(p.byte, 1);
  EXPECT_EQ(p.verbose, 0);
  EXPECT_EQ(p.bcOffset, 7);
  EXPECT_EQ(p.orbit, 3560);
  EXPECT_EQ(p.pipeline, 99);
}

TEST_F(SeqForms, ReportLinesAndL1IDFromOne) {
  buf[0] = SEQ_BCR;
  buf[20] = SEQ_ECR;
  seqAddL1A(buf.data(), SEQ_WORDS, 100, {1, 100 - 0 - 7, 0x3FF}, {1, 1});
  EXPECT_EQ(scan(0x100, 0), "byte 0 size 1024 incr 4 orbit 3560\n");
  EXPECT_EQ(last.errors, 0);
  EXPECT_EQ(last.countL1A, 1);
  EXPECT_EQ(last.indexL1A, 100);
  EXPECT_EQ(scan(0x100, 1),
            "\nScan report:\n"
            "byte 0 size 1024 incr 4 orbit 3560\n"
            "BCR index 0000\n"
            "ECR index 0014\n"
            "L1A index 0064 start 0065 stop 008A BCID 05D L1ID 000001\n"
            "               start 0065 stop 0070 TTID 3FF\n"
            "Scan end: non-zero bytes 19 errors 0\n");
}

TEST_F(SeqForms, L1IDCheckIsAlwaysMadeAndNoTypeCheck) {
  putL1A(buf.data(), 100, 5, 0, 0x155);
  EXPECT_EQ(errorLines(scan(0x400, 0)),
            std::vector<std::string>{"ERROR: nextL1ID: L1id  next 5 1"});
  setFirmware(9);  // an ECR still expects 1
  std::fill(buf.begin(), buf.end(), 0);
  buf[10] = SEQ_ECR;
  putL1A(buf.data(), 100, 1, 0, 0);
  EXPECT_TRUE(errorLines(scan(0x400, 0)).empty());
}

TEST_F(SeqForms, EveryOverflowingTrainIsReported) {
  putL1A(buf.data(), 0x100 - 38, 1, 0, 0);
  buf[0x100 - 20] = SEQ_L1A;
  EXPECT_EQ(errorLines(scan(0x100, 0)),
            (std::vector<std::string>{"ERROR: overflow: index size 100 100",
                                      "ERROR: overflow: index size 125 100",
                                      "ERROR: overflow: index size 10B 100",
                                      "ERROR: nextL1ID: L1id  next 0 2",
                                      "ERROR: nextBCID: BCid  next 0 12"}));
}

TEST_F(SeqForms, SequencerStartEnablesTheClockAndSaysWhenItIsOff) {
  reg_status.set(0x2880);
  EXPECT_EQ(printed([] { qemSeqStart(0x3FFF); }),
            "\nStand-alone clock is OFF, status 2880 enables 0001\n\n");
  EXPECT_EQ(reg_seqLast.get(), 0x3FFF);
  EXPECT_EQ(reg_enables.get(), 1);
  EXPECT_EQ(reg_seqControl.get(), 0x40FF);
  reg_status.set(0x2A80);
  EXPECT_EQ(printed([] { qemSeqStart(99); }), "");
  EXPECT_EQ(reg_seqLast.get(), 99);
}

TEST_F(SeqForms, DumpUsesTheOldL1IDLayoutAndItsOwnWaitMessage) {
  setFirmware(9);
  reg_L1lo.set(0xFABC);
  reg_L1hi.set(0x0001);
  reg_status.set(0x0020);  // busy for ever
  for (int k = 0; k < 0x10; ++k) seqRAM.write16(2u * static_cast<unsigned>(k), 0);
  const std::string out = printed([] { qemRegisterDump(0x10, 1); });
  EXPECT_TRUE(out.starts_with("\nQEM register dump:\nL1id 001ABC  ")) << out;
  EXPECT_NE(out.find("\nstatus 0020 i 999\n"), std::string::npos) << out;
  EXPECT_TRUE(out.ends_with("scan indexL1A = -999\nscan countL1A = 0\n")) << out;
}

TEST_F(SeqForms, TTCRunModeEnables) {
  // The TTCrx port is cleared, then started.
  EXPECT_EQ(traced(qemEnableTTC),
            (std::vector<std::string>{"W A24 D16 00F00002 1000", "W A24 D16 00F00018 00FF",
                                      "W A24 D16 00F0002C 0000", "W A24 D16 00F0002C 8000"}));
}

}  // namespace
