// The identifier checks, verdict lines, write/read-back test and test_sink.
#include "profile_in_force.h"
#include "qem_fixture.h"

using namespace qemtest_support;

namespace {

class Harness : public ModuleOnMemory {
 protected:
  void setL1ID(int lo, int hi) {
    reg_L1lo.set(static_cast<std::uint16_t>(lo));
    reg_L1hi.set(static_cast<std::uint16_t>(hi));
  }
};

TEST_F(Harness, CheckEqualPrintsActualThenExpected) {
  EXPECT_EQ(checkEqual("x", 3, 3), 0);
  EXPECT_EQ(printed([] { EXPECT_EQ(checkEqual("CMD : output mask", 0x31, 0x39), 1); }),
            "ERROR: CMD : output mask (000031, 000039)\n");
}

TEST_F(Harness, FirstL1AExpectsZeroOrOneByFirmware) {
  setFirmware(9);
  setL1ID(0, 0);
  EXPECT_EQ(checkID(SEQ_L1A, NO_VALUE), 0);
  EXPECT_EQ(idNext, 1);

  harnessReset();
  setFirmware(8);
  EXPECT_EQ(printed([] { EXPECT_EQ(checkID(SEQ_L1A, NO_VALUE), 1); }),
            "ERROR: checkID: post L1A, LIID value unexpected: (l1id, next)= (000000, 000001)\n");
  harnessReset();
  setL1ID(1, 0);
  EXPECT_EQ(checkID(SEQ_L1A, NO_VALUE), 0);
}

TEST_F(Harness, L1IDWrapsToZero) {
  setFirmware(9);
  setL1ID(0xFFFF, 0xFF);
  EXPECT_EQ(checkCounters(0, 0xFFFFFF), 0);
  EXPECT_EQ(idNext, 0xFFFFFF);
  EXPECT_EQ(checkID(SEQ_L1A | SEQ_SERID | SEQ_SERTT, NO_VALUE), 0);
  EXPECT_EQ(idNext, 0);
  setL1ID(0, 0);
  EXPECT_EQ(checkID(SEQ_L1A, NO_VALUE), 0);
}

TEST_F(Harness, ECRRuleByFirmware) {
  setFirmware(9);
  setL1ID(5, 0);
  checkID(0, 0);
  EXPECT_EQ(checkID(SEQ_ECR, NO_VALUE), 0);  // unchanged
  EXPECT_EQ(idNext, 0);
  setL1ID(0, 0);
  EXPECT_EQ(printed([] { EXPECT_EQ(checkID(SEQ_ECR, NO_VALUE), 1); }),
            "ERROR: checkID: post ECR, LIID value unexpected: (l1id, last)= (000000, 000005)\n");

  setFirmware(8);
  setL1ID(0, 0);
  EXPECT_EQ(checkID(SEQ_ECR | SEQ_L1A, NO_VALUE), 0);  // ECR wins over L1A
  EXPECT_EQ(idNext, 1);
  setL1ID(2, 0);
  EXPECT_EQ(printed([] { checkID(SEQ_ECR, NO_VALUE); }),
            "ERROR: checkID: post ECR, L1ID non-zero: l1id= (000002, 000000)\n");
}

TEST_F(Harness, OtherCommandsMustLeaveTheCountersAlone) {
  setFirmware(9);
  setL1ID(7, 0);
  reg_BCid.set(0x123);
  EXPECT_EQ(checkCounters(0, 8), 0);
  EXPECT_EQ(checkCounters(SEQ_BCR, NO_VALUE), 1);  // BCID moved from the start 0
  EXPECT_EQ(checkCounters(SEQ_BCR, NO_VALUE), 0);
  setL1ID(9, 0);
  reg_BCid.set(0x124);
  EXPECT_EQ(printed([] { EXPECT_EQ(checkCounters(SEQ_BCR, NO_VALUE), 2); }),
            "ERROR: checkID: post non-ECR/L1A, L1ID changed: (l1id, last)= (000009, 000007)\n"
            "ERROR: checkBCID: post (bcid, last) (000124, 000123)\n");
}

TEST_F(Harness, BCIDAfterL1A) {
  reg_BCid.set(0x5123);  // the offset nibble is not part of the BCID
  EXPECT_EQ(printed([] { EXPECT_EQ(checkBCID(0x31, NO_VALUE), 0); }), "");
  EXPECT_EQ(bcidLast, 0x123);
  EXPECT_EQ(printed([] { EXPECT_EQ(checkBCID(0x31, NO_VALUE), 0); }),
            "Info: checkBCID: post L1A, BCIDs equal: bcid 0123\n");
  EXPECT_EQ(checkBCID(SEQ_L1A, 0x123), 0);
  EXPECT_EQ(printed([] { EXPECT_EQ(checkBCID(SEQ_L1A, 0x11), 1); }),
            "ERROR: checkBCID: post L1A: (bcid, next) (000123, 000011)\n");
}

TEST_F(Harness, FlagsZeroRecordsTheBCIDOnlyWhenSetTo) {
  reg_BCid.set(0x10);
  checkBCID(0, NO_VALUE);
  EXPECT_EQ(bcidLast, 0);
  {
    vmetest::ProfileInForce always;
    always.profile.qem.bcidRecordAlways = true;
    checkBCID(0, NO_VALUE);
  }
  EXPECT_EQ(bcidLast, 0x10);
}

// The run's status and summary come from its verdicts: a failure wins even
// without a loop, a pass without one is a test not run, no test run is
// nothing tested.
TEST_F(Harness, StatusAndSummaryFromTheVerdicts) {
  const struct {
    int errorsA;
    long loopsA, loopsB;
    int status;
    const char* summary;
  } cases[] = {
      {0, 3, 1, 0, "t: 2 tests, 2 passed, 0 failed, 0 not run: PASSED"},
      {0, 3, 0, 3, "t: 2 tests, 1 passed, 0 failed, 1 not run (B): INCOMPLETE"},
      {0, 0, -2, 2, "t: 2 tests, 0 passed, 0 failed, 2 not run (A B): UNTESTED"},
      {2, 0, 0, 1, "t: 2 tests, 0 passed, 1 failed, 1 not run (B): FAILED"},
  };
  for (const auto& c : cases) {
    harnessReset();
    printed([&] {
      reportTest("A", c.errorsA, c.loopsA);
      reportTest("B", 0, c.loopsB);
    });
    EXPECT_EQ(verdictStatus(), c.status) << c.summary;
    EXPECT_EQ(verdictSummary("t"), c.summary);
  }
  harnessReset();
  EXPECT_EQ(verdictStatus(), 2);
  verdictModule = {true, 0x1A, 9};
  EXPECT_EQ(verdictSummary("t"), "t: 0 tests, 0 passed, 0 failed, 0 not run; module serial 1A "
                                 "firmware 9: UNTESTED");
  // Error lines go with the next verdict: the first 50, then only a count.
  printed([] {
    for (int i = 0; i < 52; ++i) checkEqual("x", i, -1);
    reportTest("RAM", 52, 1);
    reportTest("SEQ", 0, 1);
  });
  ASSERT_EQ(verdictTests().size(), 2u);
  EXPECT_EQ(verdictTests()[0].lines.size(), 50u);
  EXPECT_EQ(verdictTests()[0].lines[49], "ERROR: x (000031, ffffffff)");
  EXPECT_EQ(verdictTests()[0].moreLines, 2);
  EXPECT_TRUE(verdictTests()[1].lines.empty());
}

TEST_F(Harness, VerdictLinesAndWordPrints) {
  EXPECT_EQ(printed([] { reportTest("RAM", 0, 2); }), "RAM test: Pass\n");
  EXPECT_EQ(failedVerdicts(), 0);
  EXPECT_EQ(printed([] { reportTest("RAM", 17, 2); }), "RAM test: Fail -- 0x11 (17) errors\n");
  printed([] { reportTest("SEQ", -1, 2); });  // a count gone negative is no pass
  printed([] { reportTest("CMD", 0, 3); });
  EXPECT_EQ(failedVerdicts(), 2);
  harnessReset();
  EXPECT_EQ(failedVerdicts(), 0);
  std::uint16_t words[26];
  for (int i = 0; i < 26; ++i) words[i] = static_cast<std::uint16_t>(i * 0x111);
  const std::string out = printed([&] { printWords("Register mask contents:", words, 26); });
  EXPECT_EQ(out.substr(0, 24), "Register mask contents:\n");
  EXPECT_EQ(out.size(), 24u + 16 * 5 + 1);
  EXPECT_TRUE(out.ends_with(" FFF \n"));
}

TEST_F(Harness, WriteReadCompareOnGoodMemory) {
  std::vector<std::int32_t> record(0x100, -1);
  const std::uint16_t mask[1] = {0xFFFF};
  EXPECT_EQ(writeReadCompare(seqRAM, record.data(), 0x100, 2, 1, mask), 0);
  EXPECT_EQ(harnessSeed, record[0xFF]);
  for (int k = 0; k < 0x100; ++k)
    ASSERT_EQ(seqRAM.read16(2u * static_cast<unsigned>(k)), record[static_cast<std::size_t>(k)]);
  // Loop 0 writes in order the generator's values from the seed.
  std::vector<std::int32_t> once(4, -1);
  harnessSeed = 0;
  writeReadCompare(seqRAM, once.data(), 4, 1, 1, mask);
  EXPECT_EQ(once, (std::vector<std::int32_t>{38, 7719, 21238, 2437}));
  EXPECT_EQ(harnessSeed, 2437);
}

TEST_F(Harness, WriteReadCompareZeroLoopsAndZeroMasks) {
  std::vector<std::int32_t> record(26, 0);
  const std::uint16_t masks[26] = {};
  harnessSeed = 77;
  const auto before = cycles();
  EXPECT_EQ(writeReadCompare(qemBase, record.data(), 26, 0, 26, masks), 0);
  EXPECT_EQ(cycles(), before);
  EXPECT_EQ(harnessSeed, 77);

  install("fault=stuck1:0x0:0xFFFF fault=stuck0:0x4:0xFFFF");
  EXPECT_EQ(writeReadCompare(qemBase, record.data(), 26, 3, 26, masks), 0);
  for (int k = 2; k < 26; ++k) EXPECT_EQ(qemBase.read16(2u * static_cast<unsigned>(k)), 0) << k;
}

TEST_F(Harness, WriteReadCompareFindsAStuckBit) {
  install("fault=stuck1:0x8002:0x8000");
  std::vector<std::int32_t> record(4, 0);
  const std::uint16_t mask[1] = {0xFFFF};
  const std::string out =
      printed([&] { EXPECT_EQ(writeReadCompare(seqRAM, record.data(), 4, 1, 1, mask), 2); });
  EXPECT_EQ(out,
            "wrote 1E27, read 9E27, byte 2 loop 0 mask ffff\n"
            "wrote 1E27, read 9E27, byte 2 loop 0\n");
}

TEST_F(Harness, TestSinkOfAnAllZeroPlay) {
  reg_status.set(0x0200);
  std::vector<std::int32_t> expected(101, 0);
  for (int k = 0; k < 101; ++k) seqRAM.write16(2u * static_cast<unsigned>(k), 0);
  seqRAM.write16(200, 0x0004);
  expected[100] = 0x0004;
  EXPECT_EQ(printed([&] { EXPECT_EQ(test_sink(expected.data(), 101, 100), 0); }), "");
  EXPECT_EQ(reg_seqLast.get(), 99);
  EXPECT_EQ(expected[100], 0x0004);  // beyond the play: left as written
}

TEST_F(Harness, TestSinkExpectsTheSourceByteRecorded) {
  // A memory board records nothing: the played byte does not come back.
  reg_status.set(0x0200);
  std::vector<std::int32_t> expected(3, 0);
  expected[1] = 0x7701;
  seqRAM.write16(2, 0x7701);
  seqRAM.write16(0, 0);
  seqRAM.write16(4, 0);
  const std::string out = printed([&] { EXPECT_EQ(test_sink(expected.data(), 3, 3), 2); });
  EXPECT_EQ(out,
            "test_sink: wrote 0101, read 7701, byte 2\n"
            "test_sink: reg_output 0000, output 0001, SeqWords 0003\n");
  EXPECT_EQ(expected[1], 0x0101);
}

}  // namespace
