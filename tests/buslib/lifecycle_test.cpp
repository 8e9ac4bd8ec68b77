// The bus's life in one process: nothing before its start, the access method
// opened by the library's initialisation and closed by its close call, and a
// CAEN bridge ended exactly when the library lets it go.  The binary starts
// its bus itself, after its first case.  The kernel method's case is Linux's
// (lifecycle_kernel_test.cpp).
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "buslib/access_method.h"
#include "buslib/bus_config.h"
#include "buslib/caen.h"
#include "buslib/nivxi.h"
#include "crate/crate.h"
#include "standins/offer.h"

namespace {

using vmebus::ByteOrder;

void start() {
  vmebus::offerStandins();
  std::string error;
  ASSERT_TRUE(vmebus::startBusFromEnvironment(error)) << error;
}

// A call before the bus is configured is refused, says nothing and starts no
// bus; a start that fails leaves it unstarted.
TEST(BusLifecycle, NothingBeforeTheStart) {
  ASSERT_FALSE(vmebus::busStarted()) << "run this case first, in a process of its own";
  std::uint32_t window = 7, first = 0, last = 0;
  VXIstatus mapStatus = 0;
  std::int16_t la = 5, latch = 5;
  const std::pair<const char*, std::function<VXIstatus()>> calls[] = {
      {"InitVXIlibrary", [] { return InitVXIlibrary(); }},
      {"CloseVXIlibrary", [] { return CloseVXIlibrary(); }},
      {"SetVXIwindowSize", [] { return SetVXIwindowSize(0x1000); }},
      {"MapVXIwindow",
       [&] {
         const VmePtr p = MapVXIwindow(VXI_ACCESS_A24, 0x200000, 0, &window, &mapStatus);
         return p.isNull() ? mapStatus : VXI_SUCCESS;
       }},
      {"GetVXIwindowRange", [&] { return GetVXIwindowRange(1, &first, &last); }},
      {"UnmapVXIwindow", [] { return UnmapVXIwindow(1); }},
      {"FindVXIdevice", [&] { return FindVXIdevice("LOBBO", 0, 0, 0, 0, 0, 0, &la); }},
      {"GetVXIbusStatus", [&] { return GetVXIbusStatus(-1, 1, &latch); }},
      {"PrepareVXIprobe", [] { return PrepareVXIprobe(); }},
  };
  testing::internal::CaptureStderr();
  for (const auto& [name, call] : calls) EXPECT_EQ(call(), VXI_NOT_INITIALIZED) << name;
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "no start-up line, no trace";
  EXPECT_EQ(window, 7u);
  EXPECT_EQ(la, -1);
  EXPECT_EQ(latch, 0);
  EXPECT_EQ(vmesim::gCrate, nullptr) << "no crate loaded";

  vmebus::BusConfig config;
  config.crateFile = "no-such.crate";
  std::string error;
  EXPECT_FALSE(vmebus::startBus(config, error));
  EXPECT_EQ(error.rfind("vme-sim: ", 0), 0u) << error;
  EXPECT_NE(error.find("no-such.crate"), std::string::npos) << error;
  EXPECT_FALSE(vmebus::busStarted());
  EXPECT_EQ(InitVXIlibrary(), VXI_NOT_INITIALIZED);
}

// The stand-in of CAEN's library refuses a second open of a link that was
// never ended: a bridge on the same link opens exactly when the library has
// let the first one go.
TEST(BusLifecycle, ABridgeIsEndedWhenTheLibraryLetsItGo) {
  start();
  std::string error;
  const auto linkFree = [] {
    std::string e;
    auto other = vmebus::makeCaenMethod("v1718:3", VME_CAEN_STANDIN, e);
    return other != nullptr && other->open(e);  // and ended again as it goes
  };
  vmebus::useMethod(vmebus::makeCaenMethod("v1718:3", VME_CAEN_STANDIN, error));
  EXPECT_TRUE(linkFree()) << "not opened before the initialisation";
  ASSERT_GE(InitVXIlibrary(), 0);
  EXPECT_FALSE(linkFree()) << "held by the library";
  ASSERT_EQ(InitVXIlibrary(), VXI_ALREADY_INITIALIZED);
  EXPECT_FALSE(linkFree());
  ASSERT_EQ(CloseVXIlibrary(), VXI_SUCCESS);
  EXPECT_TRUE(linkFree()) << "ended by the close call";
  ASSERT_EQ(InitVXIlibrary(), VXI_SUCCESS);
  EXPECT_FALSE(linkFree()) << "opened again by the next initialisation";
  vmebus::useMethod(vmebus::makeSimMethod());
  EXPECT_TRUE(linkFree()) << "a replaced method's bridge is ended";

  auto m = vmebus::makeCaenMethod("v1718:3", VME_CAEN_STANDIN, error);
  ASSERT_TRUE(m->open(error)) << error;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(m->open(error)) << "opening an open bridge does nothing";
  m->close();
  m->close();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "no CAENVME_End of an ended bridge";
  EXPECT_TRUE(linkFree());
  ASSERT_TRUE(m->open(error)) << error;
  m.reset();
  EXPECT_TRUE(linkFree()) << "a method that goes ends its bridge";
  CloseVXIlibrary();
}

// A bridge that cannot be taken again after a close call: the initialisation
// fails with the bridge's one line, no window maps and the run is untrusted.
TEST(BusLifecycle, ABridgeNotTakenAgainLeavesTheRunUntrusted) {
  start();
  std::string error;
  vmebus::useMethod(vmebus::makeCaenMethod("v1718:4", VME_CAEN_STANDIN, error));
  ASSERT_GE(InitVXIlibrary(), 0);
  ASSERT_EQ(CloseVXIlibrary(), VXI_SUCCESS);
  auto holder = vmebus::makeCaenMethod("v1718:4", VME_CAEN_STANDIN, error);
  ASSERT_TRUE(holder->open(error)) << error;
  ASSERT_TRUE(vmebus::runTrusted());

  testing::internal::CaptureStderr();
  EXPECT_EQ(InitVXIlibrary(), VXI_FAILURE);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "vme-bus: CAEN bridge V1718 link 4: CAENVME_Init2 failed: Device already open (-6)\n");
  EXPECT_FALSE(vmebus::runTrusted());
  std::uint32_t window = 0;
  VXIstatus status = 0;
  MapVXIwindow(VXI_ACCESS_A24, 0x200000, 0, &window, &status);
  EXPECT_EQ(status, VXI_NOT_INITIALIZED);
}

}  // namespace
