#include <gtest/gtest.h>

#include <string>

#include "console_capture.h"
#include "program_runner.h"
#include "crate/crate.h"
#include "foundation/vme_window.h"
#include "profile_in_force.h"

namespace {

using vmetest::withConsole;

const char kMemoryCrate[] =
    "memory A24 0x200000 size=0x10000\n"
    "memory A32 0xD000000 size=0x20000\n";

class Window : public ::testing::Test {
 protected:
  vmetest::ProfileInForce inForce;
  void SetUp() override { use(kMemoryCrate); }
  void TearDown() override { use(""); }

  // A fresh crate and a closed library with the window state at its start.
  void use(const std::string& crateText) {
    std::string error;
    auto plain = vmesim::Crate::parse("", "plain", error);
    vmesim::installCrate(std::move(plain));
    CloseVXIlibrary();
    auto c = vmesim::Crate::parse(crateText, "test", error);
    ASSERT_TRUE(c) << error;
    vmesim::installCrate(std::move(c));
    vmeLibraryFirst = 1;
    vmeWindow = 0;
    vmeStatus = 0;
    inForce.profile.windowSize = 0x1000;
  }

  std::string open(std::uint32_t address, int mode = VME_A24) {
    return withConsole("", [&] { ptr = vmeOpen(address, mode); });
  }

  VmePtr ptr;
};

TEST_F(Window, StandardOpenPrintsCheckRangeAndPointer) {
  std::string out = open(0x200000);
  ASSERT_FALSE(ptr.isNull());
  EXPECT_EQ(out,
            "Checking VME access  (by causing bus error)\n"
            "Base VME address = 200000, End VME address = 200fff\n"
            "  mapped address = 10100000\n");
}

TEST_F(Window, AccessCheckLooksAtTheTopByteOnly) {
  // Powered-up memory reads all ones: passes.  0xFF00_0000 passes, 0xFE.. fails.
  vmesim::crate().write(vmesim::Space::A24, 0x200000, vmesim::Width::D32, 0xFF000000);
  EXPECT_EQ(open(0x200000).find("ERROR"), std::string::npos);
  vmesim::crate().write(vmesim::Space::A24, 0x200000, vmesim::Width::D32, 0xFEFFFFFF);
  std::string out = open(0x200000);
  EXPECT_NE(out.find("\nERROR: address " + std::string(ptr.text().data()) +
                     " value feffffff  D32 read expected data FFxxxxxx\nTry running Resman\n\n"),
            std::string::npos)
      << out;
  EXPECT_FALSE(ptr.isNull()) << "the check only informs";
}

TEST_F(Window, SixteenBitChecksLookAtTheLowWordOnly) {
  inForce.profile.select = SelectVariant::A32Default;
  vmesim::crate().write(vmesim::Space::A32, 0xD000000, vmesim::Width::D32, 0x1234FFFF);
  std::string out = withConsole("\n\n", [&] { ptr = vmeSelect(); });
  EXPECT_EQ(out.find("ERROR"), std::string::npos) << out;
  EXPECT_NE(out.find("End VME address = d01ffff"), std::string::npos) << out;

  vmesim::crate().write(vmesim::Space::A32, 0xD000000, vmesim::Width::D32, 0xFFFFFFFE);
  out = withConsole("\n\n", [&] { ptr = vmeSelect(); });
  EXPECT_NE(out.find("\nERROR: address " + std::string(ptr.text().data()) +
                     " value fffe  D32 read expected data FFFF\nTry running Resman\n\n"),
            std::string::npos)
      << out;

  vmesim::crate().write(vmesim::Space::A24, 0x200002, vmesim::Width::D16, 0x0001);
  out = withConsole("", [&] { ptr = vmeOpenA24(0x200000); });
  EXPECT_NE(out.find("ERROR: address " + std::string(ptr.text().data()) +
                     " value 1  D32 read expected data FFFF\nTry running Resman\nVME base"),
            std::string::npos)
      << out;
}

TEST_F(Window, SelectQuestionsAndDefaults) {
  std::string out = withConsole("y\n\n", [&] { ptr = vmeSelect(); });
  EXPECT_EQ(out.rfind("Select VME A32  address mode? [A24] [N] : "
                      "Enter  VME base address [4xD000000] : ",
                      0),
            0u)
      << out;
  EXPECT_NE(out.find("Base VME address = d000000"), std::string::npos);

  for (const char* answer : {"\n", "x\n", "n\n"}) {
    out = withConsole(std::string(answer) + "200000\n", [&] { ptr = vmeSelect(); });
    EXPECT_NE(out.find("Enter  VME base address [4xF00000] : "), std::string::npos) << answer;
    EXPECT_NE(out.find("Base VME address = 200000"), std::string::npos) << out;
  }

  inForce.profile.select = SelectVariant::A32Default;
  out = withConsole("y\n200000\n", [&] { ptr = vmeSelect(); });
  EXPECT_EQ(out.rfind("Select VME A24  address mode? [A32] [N] : "
                      "Enter  VME base address [4xF00000] : ",
                      0),
            0u)
      << out;
  EXPECT_NE(out.find("End VME address = 21ffff"), std::string::npos) << "fixed 0x20000 window";
}

TEST_F(Window, LibraryIsInitialisedOnceAcrossOpens) {
  use(std::string(kMemoryCrate) + "library init=1\n");
  std::string out = withConsole("", [&] {
    vmeOpen(0x800, 0x200000, VME_A24);
    vmeOpen(0x800, 0x200800, VME_A24);
    vmeOpen(0x8000, 0x208000, VME_A24);
  });
  EXPECT_EQ(vmetest::countOf(out, "InitVXIlibrary already initialized 1\n"), 1u);
  EXPECT_EQ(vmetest::countOf(out, "Checking VME access"), 3u);
  EXPECT_EQ(vmetest::countOf(out, "  mapped address = "), 3u);
  EXPECT_NE(out.find("End VME address = 20ffff"), std::string::npos) << out;
}

TEST_F(Window, ForcedStatusesGiveEachMessage) {
  use(std::string(kMemoryCrate) + "library init=-1 size=-2 map=-7\n");
  std::string out = open(0x200000);
  EXPECT_TRUE(ptr.isNull());
  EXPECT_EQ(out,
            "InitVXIlibrary error -1\n"
            "VME window size error -2\n"
            "VME window create error -7\n"
            "  mapped address = 00000000\n");

  use(std::string(kMemoryCrate) + "library map=3 range=-4\n");
  out = open(0x200000);
  EXPECT_FALSE(ptr.isNull()) << "a positive map status is a warning";
  EXPECT_EQ(out.find("Base VME address"), std::string::npos);
  EXPECT_EQ(out.rfind("VME window create error 3\nChecking VME access", 0), 0u) << out;
}

TEST_F(Window, SimpleOpenInitialisesEveryTimeAndKeepsGoingOnMapFailure) {
  std::string out = withConsole("", [&] {
    vmeOpenA24(0x200000);
    vmeOpenA24(0x200000);
  });
  EXPECT_EQ(vmetest::countOf(out, "InitVXIlibrary already initialized 1\n"), 1u) << out;
  EXPECT_EQ(vmetest::countOf(out, "VME base address = 200000\n"), 2u);

  use(std::string(kMemoryCrate) + "library map=-9\n");
  out = withConsole("", [&] { ptr = vmeOpenA24(0x200000); });
  EXPECT_TRUE(ptr.isNull());
  EXPECT_EQ(out,
            "VME window create error -9\n"
            "VME base address = 200000\n"
            "  mapped address = 00000000\n");
}

TEST_F(Window, CloseSaysDoneWhateverHappened) {
  use(std::string(kMemoryCrate) + "library unmap=-5 close=-6\n");
  std::string out = withConsole("", [] { vmeClose(); });
  EXPECT_EQ(out, "VXI address unmap error -5\nVXI library close error -6\nVXI done.\n");

  use(kMemoryCrate);
  out = withConsole("", [&] {
    ptr = vmeOpen(0x200000, VME_A24);
    vmeClose();
  });
  EXPECT_NE(out.find("  mapped address"), std::string::npos);
  EXPECT_EQ(out.substr(out.size() - 10), "VXI done.\n") << "clean close prints no error";
  EXPECT_EQ(out.find(" error -"), std::string::npos) << out;
}

TEST_F(Window, AccessesNeverLeaveTheWindow) {
  open(0x200000);
  const std::uint32_t before = vmeBusErrorRecv();
  testing::internal::CaptureStderr();
  EXPECT_EQ(ptr.read16(0x1000), 0xFFFF);
  ptr.write16(0xFFF, 0x1234);  // straddles the end
  EXPECT_EQ(ptr.read32(0xFFE), 0xFFFFFFFFu);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(vmetest::countOf(err, "outside window"), 3u) << err;
  EXPECT_EQ(vmeBusErrorRecv(), before + 3);
  // Nothing reached the memory behind the window's end.
  std::uint32_t v = 0;
  vmesim::crate().read(vmesim::Space::A24, 0x200FFE, vmesim::Width::D32, v);
  EXPECT_EQ(v, 0xFFFFFFFFu);
  // An unmapped window is refused the same way.
  withConsole("", [] { vmeClose(); });
  testing::internal::CaptureStderr();
  EXPECT_EQ(ptr.read16(0), 0xFFFF);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("outside window"), std::string::npos);
}

}  // namespace
