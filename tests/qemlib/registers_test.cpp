// Register-level operations against a memory board at the module's address.
#include "foundation/pattern_rand.h"
#include "profile_in_force.h"
#include "qem_fixture.h"

using namespace qemtest_support;

namespace {

using Registers = ModuleOnMemory;

TEST_F(Registers, MapIsTheModulesLayout) {
  EXPECT_EQ(reg_enables.offset(), 0x00u);
  EXPECT_EQ(reg_status.offset(), 0x0Cu);
  EXPECT_EQ(reg_L1lo.offset(), 0x10u);
  EXPECT_EQ(reg_seqControl.offset(), 0x1Au);
  EXPECT_EQ(reg_ttcdat.offset(), 0x26u);
  EXPECT_EQ(reg_TTCcmd.offset(), 0x2Eu);
  EXPECT_EQ(reg_serial.offset(), 0x32u);
  EXPECT_EQ(seqRAM.offset(), 0x8000u);
}

TEST_F(Registers, L1IDLayoutFollowsTheFirmware) {
  setFirmware(8);
  EXPECT_EQ(qemL1ID(0x0ABC, 0x0123), 0x123ABC);
  EXPECT_EQ(qemL1ID(0xFABC, 0), 0x000ABC);
  setFirmware(9);
  EXPECT_EQ(qemL1ID(0x0ABC, 0x0123), 0x230ABC);
  EXPECT_EQ(qemL1ID(0xFABC, 0), 0x00FABC);
  setFirmware(0);  // not read yet: the old layout
  EXPECT_EQ(qemL1ID(0x0ABC, 0x0123), 0x123ABC);

  reg_L1lo.set(0xFFFD);
  reg_L1hi.set(0x0FFF);
  EXPECT_EQ(qemReadL1ID(), 0xFFFFFD);
  setFirmware(9);
  EXPECT_EQ(qemReadL1ID(), 0xFFFFFD);
}

TEST_F(Registers, SerialRegisterSetsVersionAndFlag) {
  reg_serial.set(0x0905);
  EXPECT_EQ(printed([] { EXPECT_EQ(qemReadSerial(), 0x0905); }),
            "\nQEM Serial No.  5  Version  9\n\n");
  EXPECT_EQ(qemVersion, 9);
  EXPECT_EQ(qemOldFirmware, 0);
  reg_serial.set(0x0817);
  EXPECT_EQ(printed([] { qemReadSerial(); }), "\nQEM Serial No. 17  Version  8\n\n");
  EXPECT_EQ(qemOldFirmware, 1);
}

TEST_F(Registers, SequencerWaitIsBounded) {
  reg_status.set(0x0040);  // stays busy
  auto before = cycles();
  EXPECT_EQ(printed(qemWait_seqBusys), "qemWait_seqBusys: status 0040 i 999\n");
  EXPECT_EQ(cycles() - before, 1000u);

  reg_status.set(0x2A80);  // idle
  before = cycles();
  EXPECT_EQ(printed(qemWait_seqBusys), "");
  EXPECT_EQ(cycles() - before, 1u);
}

TEST_F(Registers, BoundedWait) {
  reg_TTCcmd.set(0x4000);
  auto before = cycles();
  EXPECT_EQ(wait_stateBounded(reg_TTCcmd, 0x4000, 0x4000), 0);
  EXPECT_EQ(cycles() - before, 1u);
  before = cycles();
  EXPECT_EQ(wait_stateBounded(reg_TTCcmd, 0x4000, 0), 1);
  EXPECT_EQ(cycles() - before, 0x10000u);
  EXPECT_EQ(printed([] { wait_state(reg_TTCcmd, 0x4000, 0x4000, "reg_TTCcmd"); }),
            "wait_state: wait loops 0\n");
}

TEST_F(Registers, ResetWritesTheResetCommand) {
  reg_TTCcmd.set(0x4000);
  reg_status.set(0x0100);
  EXPECT_EQ(printed([] { VReset(3); }), "\n--- QEM VReset ---\n");
  EXPECT_EQ(reg_command.get(), 0xFFFF);
  EXPECT_EQ(printed([] { VReset(2); }), "VReset\n");
  EXPECT_EQ(printed([] { VReset(1); }), "");
}

TEST_F(Registers, TTCEnableAndDisable) {
  // The standard form leaves reg_I2C alone.
  EXPECT_EQ(traced(qemEnableTTC),
            (std::vector<std::string>{"W A24 D16 00F00002 1000", "W A24 D16 00F00018 07FF"}));
  EXPECT_EQ(traced(qemDisableTTC),
            (std::vector<std::string>{"W A24 D16 00F00002 0000", "W A24 D16 00F00018 0000"}));
}

TEST_F(Registers, ClockAndTTCChecks) {
  reg_status.set(0x0200);
  EXPECT_EQ(qemCheckStandaloneClock(), 0);
  reg_status.set(0x2880);
  reg_delays.set(0x3F00);
  EXPECT_EQ(printed([] { EXPECT_EQ(qemCheckStandaloneClock(), 1); }),
            "CLOCK FAILURE: Stand-alone clock OFF, status 2880, delays 3F00\n");

  reg_TTCcmd.set(0x4000);
  reg_status.set(0x0000);
  EXPECT_EQ(printed([] { EXPECT_EQ(qemCheckTTC(), 0); }), "TTCrx Ready.\n");
  reg_status.set(0x0100);
  reg_enTTC.set(0x07FF);
  EXPECT_EQ(printed([] { qemCheckTTC(); }), "TTCrx Ready, TTC Clock Detected, and Enabled.\n");
  reg_enTTC.set(0);
  EXPECT_EQ(printed([] { qemCheckTTC(); }), "TTCrx Ready, TTC Clock Detected, but not Enabled.\n");
  reg_TTCcmd.set(0);
  reg_enTTC.set(1);
  EXPECT_EQ(printed([] { EXPECT_EQ(qemCheckTTC(), 1); }),
            "Warning: TTCrx Not Ready. status 0100, enTTC 0001, TTCcmd 0000.\n"
            "CLOCK FAILURE: TTC Clock Enabled, but OFF!\n");
}

TEST_F(Registers, SequencerStartWritesInOrder) {
  EXPECT_EQ(traced([] { qemSeqStart(0x2000); }),
            (std::vector<std::string>{"W A24 D16 00F00000 0000", "W A24 D16 00F00030 0000",
                                      "W A24 D16 00F00002 0000", "W A24 D16 00F00018 0000",
                                      "W A24 D16 00F0001C 1FFF", "W A24 D16 00F0001A 2200",
                                      "W A24 D16 00F0001A 0000", "W A24 D16 00F0001A 40FF"}));
}

TEST_F(Registers, ScanRAMNeverReadsPastTheRAM) {
  reg_status.set(0);
  for (int k = 0; k < SEQ_WORDS; ++k) seqRAM.write16(2u * static_cast<unsigned>(k), 0);
  const auto before = cycles();
  testing::internal::CaptureStderr();
  ScanParams p = scanDefaults();
  p.count = 0x5000;
  const std::string out = printed([&] { scanRAM(p); });
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(out, "scanRAM: count 5000 is beyond the RAM, clamped to 4000\n");
  EXPECT_EQ(cycles() - before, 1u + SEQ_WORDS);
}

TEST_F(Registers, RegisterDumpScansTheSink) {
  reg_status.set(0x2A80);
  reg_L1lo.set(0x0005);
  reg_L1hi.set(0);
  reg_BCid.set(0x5123);
  reg_TTid.set(0x3FF);
  reg_BCin.set(0x12);
  reg_output.set(0x31);
  std::vector<std::int32_t> buf(200, 0);
  buf[10] = SEQ_CAL << 8;
  putL1A(buf.data(), 10 + 0x10 + 29, 1, 0, 0x3FF, 1);
  for (int k = 0; k < 200; ++k)
    seqRAM.write16(2u * static_cast<unsigned>(k), static_cast<std::uint16_t>(buf[k]));
  reg_delays.set(0x0010);  // CAL-to-L1A delay 0x10 + 29

  const std::string out = printed([] { qemRegisterDump(200, 1); });
  EXPECT_TRUE(out.starts_with(
      "\nQEM register dump:\n"
      "L1id 000005  TTid 3FF  BCid 5123  BCin 012  status 2A80  output 0031\n"
      "\nScan report:\nbyte 1 size 800 incr 4 orbit 3565\n"))
      << out;
  EXPECT_TRUE(out.ends_with("scan indexL1A = 55\nscan countL1A = 1\n")) << out;
  EXPECT_EQ(errorLines(out), std::vector<std::string>{"ERROR: pipeline: index next 37 6D"});

  vmetest::ProfileInForce fromDelays;
  fromDelays.profile.qem.dumpPipelineFromDelays = true;
  EXPECT_TRUE(errorLines(printed([] { qemRegisterDump(200, 1); })).empty());
}

TEST(PatternGenerator, FirstValuesOfSeedsZeroAndOne) {
  vmeSrand(0);
  EXPECT_EQ(vmeRand(), 38);
  EXPECT_EQ(vmeRand(), 7719);
  EXPECT_EQ(vmeRand(), 21238);
  vmeSrand(1);
  EXPECT_EQ(vmeRand(), 41);
  EXPECT_EQ(vmeRand(), 18467);
  EXPECT_EQ(vmeRand(), 6334);
}

}  // namespace
