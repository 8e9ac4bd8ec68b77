// The bus's life through the kernel method (Linux-only, as the method is).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "buslib/access_method.h"
#include "buslib/bus_config.h"
#include "buslib/nivxi.h"
#include "standins/offer.h"
#include "standins/vme_user_standin.h"

namespace {

using vmebus::ByteOrder;
using vmebus::StandinSys;

void start() {
  vmebus::offerStandins();
  std::string error;
  ASSERT_TRUE(vmebus::startBusFromEnvironment(error)) << error;
}

// The kernel method gives its master devices back at the close call, and
// the next initialisation takes the bus again.
TEST(BusLifecycle, CloseGivesTheBusBackAndInitTakesItAgain) {
  start();
  auto owned = std::make_unique<StandinSys>();
  StandinSys* sys = owned.get();
  vmebus::useMethod(
      vmebus::makeVmeUserMethod(*sys, StandinSys::kFolder, ByteOrder::Big, std::move(owned)));
  ASSERT_GE(InitVXIlibrary(), 0);
  ASSERT_EQ(SetVXIwindowSize(0x1000), VXI_SUCCESS);
  std::uint32_t window = 0;
  VXIstatus status = -1;
  const VmePtr p = MapVXIwindow(VXI_ACCESS_A24, 0x200000, 0, &window, &status);
  ASSERT_EQ(status, VXI_SUCCESS);
  EXPECT_EQ(sys->openCount(), 1);

  ASSERT_EQ(CloseVXIlibrary(), VXI_SUCCESS);
  EXPECT_EQ(sys->openCount(), 0) << "every master device closed";
  testing::internal::CaptureStderr();
  EXPECT_EQ(p.read16(), 0xFFFF) << "a pointer into a closed window reaches no bus";
  EXPECT_NE(testing::internal::GetCapturedStderr(), "");
  MapVXIwindow(VXI_ACCESS_A24, 0x200000, 0, &window, &status);
  EXPECT_EQ(status, VXI_NOT_INITIALIZED);

  ASSERT_EQ(InitVXIlibrary(), VXI_SUCCESS);
  MapVXIwindow(VXI_ACCESS_A24, 0x200000, 0, &window, &status);
  EXPECT_EQ(status, VXI_SUCCESS);
  EXPECT_EQ(sys->openCount(), 1);
  ASSERT_EQ(CloseVXIlibrary(), VXI_SUCCESS);

  std::string error;
  const auto named = vmebus::methodNamed("vme_user:standin", ByteOrder::Big, error);
  ASSERT_TRUE(named) << error;
  EXPECT_NE(named->describe().find("stand-in"), std::string::npos) << "offered by its library";
  const auto folder = vmebus::methodNamed("vme_user:standins", ByteOrder::Big, error);
  ASSERT_TRUE(folder) << error;
  EXPECT_EQ(folder->describe(), "the kernel VME interface in standins") << "a folder of devices";
}

}  // namespace
