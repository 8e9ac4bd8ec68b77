// The kernel method's own rules, through the library calls and against the
// stand-in of the kernel interface: master devices, window configuration,
// short transfers and byte order.  Linux-only, as the kernel method is; the
// CAEN method's cases are in caen_method_test.cpp.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "buslib/access_method.h"
#include "buslib/caen.h"
#include "buslib/caen_vme_abi.h"
#include "buslib/nivxi.h"
#include "buslib/vme_user_abi.h"
#include "standins/vme_user_standin.h"
#include "crate/crate.h"

namespace {

using vmebus::ByteOrder;
using vmebus::StandinSys;
using vmebus::VmeMaster;
using vmesim::Space;
using vmesim::Width;

class KernelMethod : public testing::Test {
 protected:
  void SetUp() override { use("memory A24 0x200000 size=0x100 fault=no-d32\n"); }
  void TearDown() override {
    CloseVXIlibrary();
    vmebus::useMethod(vmebus::makeSimMethod());
    vmesim::installCrate(vmesim::Crate::makeDefault());
  }

  // The library, freshly initialised, on bus (a VME_BUS value) over crate.
  void useBus(const char* bus, const std::string& crate) {
    std::string error;
    auto c = vmesim::Crate::parse(crate, "test", error);
    ASSERT_TRUE(c) << error;
    vmesim::installCrate(std::move(c));
    auto m = vmebus::methodNamed(bus, ByteOrder::Big, error);
    ASSERT_TRUE(m) << error;
    vmebus::useMethod(std::move(m));
    CloseVXIlibrary();
    InitVXIlibrary();
    SetVXIwindowSize(0x1000);
  }

  void use(const std::string& crate, ByteOrder method = ByteOrder::Big) {
    std::string error;
    auto c = vmesim::Crate::parse(crate, "test", error);
    ASSERT_TRUE(c) << error;
    vmesim::installCrate(std::move(c));
    auto sys = std::make_unique<StandinSys>();
    standin = sys.get();
    vmebus::useMethod(vmebus::makeVmeUserMethod(*standin, StandinSys::kFolder, method,
                                                std::move(sys)));
    CloseVXIlibrary();
    InitVXIlibrary();
    SetVXIwindowSize(0x1000);
  }

  // Maps an A24 window; stderr is kept in said.
  VmePtr map(std::uint32_t base) {
    testing::internal::CaptureStderr();
    VmePtr p = MapVXIwindow(VXI_ACCESS_A24, base, 1000, &handle, &status);
    said = testing::internal::GetCapturedStderr();
    return p;
  }

  static std::uint32_t busErrors() {
    std::uint32_t n;
    std::memcpy(&n, static_cast<const char*>(GetVXIlibraryInfo()) + VXI_INFO_BUS_ERRORS, 4);
    return n;
  }

  StandinSys* standin = nullptr;
  std::uint32_t handle = 0;
  VXIstatus status = 0;
  std::string said;
};

TEST_F(KernelMethod, FourMasterWindowsAndTheFifthRefused) {
  std::uint32_t second = 0;
  for (int i = 0; i < 4; ++i) {
    EXPECT_FALSE(map(0x200000).isNull());
    EXPECT_EQ(status, 0);
    if (i == 1) second = handle;
  }
  EXPECT_EQ(standin->openCount(), 4);
  EXPECT_TRUE(map(0x200000).isNull());
  EXPECT_EQ(status, VXI_NO_WINDOW);
  EXPECT_EQ(said, "vme-bus: standin: no free master window (m0 to m3 in use)\n");
  // Unmapping releases its master; closing the library releases them all.
  EXPECT_EQ(UnmapVXIwindow(second), 0);
  EXPECT_FALSE(map(0x200000).isNull());
  EXPECT_EQ(said, "");
  CloseVXIlibrary();
  EXPECT_EQ(standin->openCount(), 0);
}

TEST_F(KernelMethod, ShortTransferIsABusError) {
  const VmePtr p = map(0x200000);
  ASSERT_FALSE(p.isNull());
  const std::uint32_t before = busErrors();
  p.write16(2, 0x1234);
  EXPECT_EQ(p.read16(2), 0x1234u);
  EXPECT_EQ(busErrors(), before);

  std::uint32_t v = 0;
  EXPECT_LT(VXIpeek(p, 4, &v), 0) << "no-d32: the D32 transfer comes back short";
  EXPECT_EQ(v, 0xFFFFFFFFu);
  EXPECT_EQ(p.read16(0x100), 0xFFFFu) << "past the board's end";
  p.write16(0x100, 0);
  EXPECT_EQ(busErrors(), before + 3);
  std::int16_t latch = 0;
  GetVXIbusStatus(-1, 1, &latch);
  EXPECT_EQ(latch, 1);
}

TEST_F(KernelMethod, ByteOrderBothWays) {
  struct Row {
    ByteOrder bridge, method;
    bool swapped;
  };
  for (const Row& row : {Row{ByteOrder::Big, ByteOrder::Big, false},
                         Row{ByteOrder::Little, ByteOrder::Little, false},
                         Row{ByteOrder::Big, ByteOrder::Little, true},
                         Row{ByteOrder::Little, ByteOrder::Big, true}}) {
    SCOPED_TRACE(testing::Message() << "bridge " << (row.bridge == ByteOrder::Big ? "big" : "little")
                                    << ", method " << (row.method == ByteOrder::Big ? "big" : "little"));
    use("memory A24 0x200000 size=0x100\n", row.method);
    standin->order = row.bridge;
    vmesim::crate().write(Space::A24, 0x200000, Width::D32, 0x12345678);
    const VmePtr p = map(0x200000);
    ASSERT_FALSE(p.isNull());
    EXPECT_EQ(p.read32(0), row.swapped ? 0x78563412u : 0x12345678u);
    EXPECT_EQ(p.read16(2), row.swapped ? 0x7856u : 0x5678u);
    EXPECT_EQ(p.read8(1), 0x34u) << "one byte has no order";
    p.write16(4, 0xABCD);
    std::uint32_t v = 0;
    vmesim::crate().read(Space::A24, 0x200004, Width::D16, v);
    EXPECT_EQ(v, row.swapped ? 0xCDABu : 0xABCDu);
  }
}

// A failed ioctl, or a window the bridge will not take: no window, one line
// naming the device, the master free again and no cycle made.
TEST_F(KernelMethod, RefusedConfigurationMapsNoWindow) {
  struct Row {
    int failIoctl;
    std::uint64_t alignment;
    std::uint32_t base;
    const char* said;
  };
  for (const Row& row : {
           Row{EIO, 0x10000, 0x200000, "A24 0x200000 size 0x10000: Input/output error"},
           Row{0, 0x100000, 0x180000, "A24 0x180000 size 0x10000: Invalid argument"},
       }) {
    standin->failIoctl = row.failIoctl;
    standin->alignment = row.alignment;
    const std::uint64_t cycles = vmesim::crate().cycles();
    EXPECT_TRUE(map(row.base).isNull());
    EXPECT_LT(status, 0);
    EXPECT_EQ(said, std::string("vme-bus: standin/m0: VME_SET_MASTER ") + row.said + "\n");
    EXPECT_EQ(standin->openCount(), 0);
    EXPECT_EQ(vmesim::crate().cycles(), cycles);
  }
  standin->alignment = 0x10000;
  EXPECT_FALSE(map(0x200000).isNull()) << "m0 is free again";
}

TEST_F(KernelMethod, WindowInsideALargerBridgeWindowKeepsItsBounds) {
  use("memory A24 0xBA0000 size=0x10000\n");
  vmesim::crate().write(Space::A24, 0xBAD010, Width::D16, 0x4321);
  SetVXIwindowSize(0x800);
  const VmePtr p = map(0xBAD000);
  ASSERT_FALSE(p.isNull());
  EXPECT_EQ(p.read16(0x10), 0x4321u);
  std::uint32_t first = 0, last = 0;
  EXPECT_EQ(GetVXIwindowRange(handle, &first, &last), 0);
  EXPECT_EQ(last, 0xBAD7FFu);
  const std::uint64_t cycles = vmesim::crate().cycles();
  testing::internal::CaptureStderr();
  EXPECT_EQ(p.read16(0x800), 0xFFFFu);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("outside window"), std::string::npos);
  EXPECT_EQ(vmesim::crate().cycles(), cycles) << "the bridge window is larger, the window is not";
}

// Handles of unmapped windows are free again, the lowest first, so a long
// run never runs out of them; a pointer of a reused handle is the new window.
TEST_F(KernelMethod, FreedHandlesAreReusedOnEveryMethod) {
  for (const char* bus : {"sim", "vme_user:standin"}) {
    SCOPED_TRACE(bus);
    useBus(bus, "memory A24 0x200000 size=0x10000\nmemory A24 0x400000 size=0x1000\n");
    for (int i = 0; i < 100; ++i) {
      ASSERT_FALSE(map(0x200000).isNull()) << "window " << i + 1 << ": " << said;
      ASSERT_EQ(handle, 1u);
      ASSERT_EQ(UnmapVXIwindow(handle), 0);
    }
    std::uint32_t first[3];
    for (std::uint32_t& h : first) {
      ASSERT_FALSE(map(0x200000).isNull());
      h = handle;
    }
    EXPECT_EQ(first[0], 1u);
    EXPECT_EQ(first[2], 3u);
    const VmePtr old = VmePtr(map(0x200000).window(), 0);
    const std::uint32_t oldHandle = handle;
    EXPECT_EQ(UnmapVXIwindow(2), 0);
    EXPECT_EQ(UnmapVXIwindow(oldHandle), 0);
    EXPECT_EQ(UnmapVXIwindow(2), VXI_FAILURE) << "unmapped already";
    const VmePtr again = map(0x400000);
    EXPECT_EQ(handle, 2u);
    again.write16(0, 0x5A5A);
    std::uint32_t v = 0;
    vmesim::crate().read(Space::A24, 0x400000, Width::D16, v);
    EXPECT_EQ(v, 0x5A5Au);
    std::uint32_t lo = 0, hi = 0;
    EXPECT_EQ(GetVXIwindowRange(2, &lo, &hi), 0);
    EXPECT_EQ(lo, 0x400000u);
    testing::internal::CaptureStderr();
    EXPECT_EQ(old.read16(0), 0xFFFFu) << "an unmapped window stays unmapped";
    EXPECT_NE(testing::internal::GetCapturedStderr().find("outside window"), std::string::npos);
  }
}

// A D16 cycle at an odd address or a D32 one off a longword cannot be one
// cycle of that width: refused before the bus on every method, as a bus
// error reading all ones.  A D8 cycle has no alignment.
TEST_F(KernelMethod, MisalignedCyclesAreBusErrorsOnEveryMethod) {
  struct Row {
    std::uint32_t offset;
    Width width;
    bool refused;
  };
  const Row rows[] = {{1, Width::D16, true}, {2, Width::D32, true}, {3, Width::D32, true},
                      {6, Width::D16, false}, {4, Width::D32, false}, {5, Width::D8, false}};
  for (const char* bus : {"sim", "vme_user:standin"}) {
    useBus(bus, "memory A24 0x200000 size=0x100\n");
    const VmePtr p = map(0x200000);
    ASSERT_FALSE(p.isNull()) << said;
    for (const Row& row : rows) {
      SCOPED_TRACE(testing::Message() << bus << " offset " << row.offset << " D"
                                      << 8 * static_cast<int>(row.width));
      const std::uint64_t cycles = vmesim::crate().cycles();
      const std::uint32_t errors = busErrors();
      std::uint32_t v = 0;
      switch (row.width) {
        case Width::D8: p.write8(row.offset, 0), v = p.read8(row.offset); break;
        case Width::D16: p.write16(row.offset, 0), v = p.read16(row.offset); break;
        case Width::D32: p.write32(row.offset, 0), v = p.read32(row.offset); break;
      }
      EXPECT_EQ(busErrors() - errors, row.refused ? 2u : 0u);
      EXPECT_EQ(vmesim::crate().cycles() - cycles, row.refused ? 0u : 2u);
      EXPECT_EQ(v == vmesim::allOnes(row.width), row.refused);
    }
  }
}

// The stand-in itself: the kernel's configuration rules and the bridge's
// cycles.
TEST(Standin, MasterConfigurationRules) {
  vmesim::installCrate(vmesim::Crate::makeDefault());
  const VmeMaster good{1, 0x200000, 0x10000, vmebus::kVmeA24, 0xA001, vmebus::kVmeD32};
  struct Row {
    const char* device;
    unsigned long request;
    VmeMaster m;
    int error;  // 0: accepted
  };
  auto with = [&](auto change) {
    VmeMaster m = good;
    change(m);
    return m;
  };
  const Row rows[] = {
      {"standin/m3", vmebus::kVmeSetMaster, good, 0},
      {"standin/ctl", vmebus::kVmeSetMaster, good, EINVAL},
      {"standin/s0", vmebus::kVmeSetMaster, good, EINVAL},
      {"standin/m0", 0x12345678, good, EINVAL},
      {"standin/m0", vmebus::kVmeSetMaster, with([](VmeMaster& m) { m.aspace = 0x6; }), EINVAL},
      {"standin/m0", vmebus::kVmeSetMaster, with([](VmeMaster& m) { m.vme_addr = 0xFF0000; m.size = 0x20000; }), EFAULT},
      {"standin/m0", vmebus::kVmeSetMaster, with([](VmeMaster& m) { m.vme_addr = 0x208000; }), EINVAL},
      {"standin/m0", vmebus::kVmeSetMaster, with([](VmeMaster& m) { m.size = 0; }), EINVAL},
      {"standin/m0", vmebus::kVmeSetMaster, with([](VmeMaster& m) { m.dwidth = 0x8; }), EINVAL},
      {"standin/m0", vmebus::kVmeSetMaster, with([](VmeMaster& m) { m.cycle = 0xA000; }), EINVAL},
  };
  for (const Row& row : rows) {
    StandinSys sys;
    const int fd = sys.open(row.device, O_RDWR);
    ASSERT_GE(fd, 0) << row.device;
    VmeMaster m = row.m;
    errno = 0;
    EXPECT_EQ(sys.ioctl(fd, row.request, &m), row.error == 0 ? 0 : -1) << row.device;
    EXPECT_EQ(errno, row.error) << row.device << " " << std::hex << row.m.vme_addr;
  }
  StandinSys sys;
  EXPECT_EQ(sys.open("standin/m4", O_RDWR), -1);
  EXPECT_EQ(errno, ENOENT);
}

}  // namespace
