// qemtest's command steps on a stand-in module (a memory board at the
// module's address): what they do when the module does not answer as a QEM
// module should.
#include <gtest/gtest.h>

#include <string>

#include "crate/crate.h"
#include "output_capture.h"
#include "profile_in_force.h"
#include "qemtest.h"

namespace {

// qemtest's forms, for the whole binary.
const vmetest::ProfileInForce kQemtestProfile{
    {.prompts = PromptStyle::ReadLineFlush,
     .qem = {.bcidRecordAlways = false, .dumpPipelineFromDelays = true}}};

constexpr std::uint32_t kModule = 0xF00000;

using vmetest::printed;

class QemtestSteps : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    auto c = vmesim::Crate::parse("memory A24 0xF00000 size=0x10000\n", "test", error);
    ASSERT_TRUE(c) << error;
    vmesim::installCrate(std::move(c));
    window_ = vmebus::Window{vmesim::Space::A24, kModule, QEMTEST_WINDOW, 0x10000000, 1, true, vmebus::currentMethod()};
    const VmePtr base(&window_, 0);
    qemMapRegisters(base);
    seqRAM = base + QEM_RAM_OFFSET;
    harnessReset();
    resetRegisterTables();
    debugLevel = 0;
    sinkNext = NO_VALUE;
  }

  void setFirmware(int version) {
    qemVersion = version;
    qemOldFirmware = version < 9 ? 1 : 0;
  }

  vmebus::Window window_;
};

// Memory powers up as all ones: the command bit of the status never clears.
TEST_F(QemtestSteps, CommandThatNeverCompletesIsOneErrorAndNoChecks) {
  setFirmware(9);
  int errors = 0;
  std::string out = printed([&] { errors = test_cmdbit(0x02, 0x31); });
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(out, "CMD: wsTIMEOUT: reg_output 00, mask 31.\n");
  EXPECT_EQ(idCurrent, ID_UNREAD);  // no identifier check was made
  // In a sink check the recording is then not decoded either.
  out = printed([&] { errors = sinkCheck(0x10, 0x39); });
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(out, "CMD: wsTIMEOUT: reg_output 00, mask 39.\n");
}

// The next recording after L1ID 0xFFFFFF must carry 0, as the counter and
// the scan both wrap at 2^24.
TEST_F(QemtestSteps, SinkNextFollowsTheCounterAcrossTheWrap) {
  for (int version : {9, 8}) {
    SCOPED_TRACE(version);
    SetUp();
    setFirmware(version);
    reg_status.set(0);  // commands complete at once
    reg_L1lo.set(0xFFFF);
    reg_L1hi.set(0x0FFF);
    printed([] { sinkCheck(0x02, 0x31); });
    EXPECT_EQ(sinkNext, 0);
    reg_L1lo.set(0x0FFE);
    reg_L1hi.set(0x0000);
    printed([] { sinkCheck(0x02, 0x31); });
    EXPECT_EQ(sinkNext, 0x000FFF);
  }
}

// The burst preset is 0xFFFF and 0x00FF in either counter layout: the
// eight-bit high port of firmware 8 copies bit 7 into bits 8-11, so the
// module reads 0xFFFFFF and a burst of seven ends at L1ID 6 (the model's
// rule is tested with the model; here the words written are seen).
TEST_F(QemtestSteps, BurstPresetIsTheSameWordsInBothLayouts) {
  for (int version : {9, 8}) {
    SCOPED_TRACE(version);
    SetUp();
    setFirmware(version);
    reg_seqControl.set(0);
    int errors = 0;
    const std::string out = printed([&] { errors = burstRun(7, 2, 0, 0); });
    // A memory board never ends the burst; the counters are checked anyway.
    EXPECT_NE(out.find("BRST: cmd 0000 TIMEOUT: reg_status ffff, mask 0010 delay ffff.\n"),
              std::string::npos)
        << out;
    EXPECT_GE(errors, 1);
    EXPECT_EQ(reg_L1lo.get(), 0xFFFF);
    EXPECT_EQ(reg_L1hi.get(), 0x00FF);
    EXPECT_EQ(reg_burst.get(), 7);
  }
}

}  // namespace
