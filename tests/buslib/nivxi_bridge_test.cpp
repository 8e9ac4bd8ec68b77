// The nivxi method on its stand-in library (32-bit Windows): cycles in both
// spaces, windows that are the library's own, the library closed once per
// open, and the stand-in refusing what the library refuses.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "buslib/access_method.h"
#include "buslib/nivxi_bridge.h"
#include "buslib/nivxi_bridge_abi.h"
#include "platform/platform.h"
#include "standins/nivxi/nivxi_standin.h"

namespace {

using vmebus::Space;
using vmebus::Width;
using namespace nivxi::standin;

// The stand-in's own calls, from the copy the method loads (one per process).
struct Calls {
  void* dl = platform::loadLibrary(VME_NIVXI_STANDIN);
  template <typename Fn>
  Fn get(const char* name) const {
    return reinterpret_cast<Fn>(platform::librarySymbol(dl, name));
  }
  NivxiInitFn init = get<NivxiInitFn>("InitVXIlibrary");
  NivxiCloseFn close = get<NivxiCloseFn>("CloseVXIlibrary");
  NivxiMapFn map = get<NivxiMapFn>("MapVXIAddress");
  NivxiMapSizeFn mapSize = get<NivxiMapSizeFn>("MapVXIAddressSize");
  NivxiUnmapFn unmap = get<NivxiUnmapFn>("UnMapVXIAddress");
  NivxiRangeFn range = get<NivxiRangeFn>("GetWindowRange");
  NivxiPeekFn peek = get<NivxiPeekFn>("VXIpeek");
  NivxiFindFn find = get<NivxiFindFn>("FindDevLA");
  NivxiBusStatusFn busStatus = get<NivxiBusStatusFn>("GetVXIbusStatusInd");
  NivxiInFn in = get<NivxiInFn>("VXIin");
  NivxiOutFn out = get<NivxiOutFn>("VXIout");
  void* const* info = get<void* const*>("global_vars");
  std::uint32_t busErrors() const {
    return *reinterpret_cast<const std::uint32_t*>(static_cast<const char*>(*info) +
                                                   nivxi::kBusErrorRecvOffset);
  }
};

std::unique_ptr<vmebus::AccessMethod> method() {
  vmebus::BusConfig c;
  c.method = "nivxi";
  c.nivxiLibrary = VME_NIVXI_STANDIN;
  std::string error;
  auto m = vmebus::makeNivxiMethod(c, error);
  EXPECT_TRUE(m) << error;
  return m;
}

vmebus::Window window(vmebus::AccessMethod& m, Space space, std::uint32_t base,
                      std::uint32_t size = 0x100) {
  vmebus::Window w;
  w.space = space;
  w.vmeBase = base;
  w.size = size;
  w.method = &m;
  return w;
}

// Data in host order, the space chosen by the access parameters, a bus
// error counted by the library and read as all ones, the device table.
TEST(NivxiMethod, CyclesSpacesBusErrorsAndNames) {
  const Calls dll;
  auto m = method();
  std::string error;
  ASSERT_TRUE(m->open(error)) << error;
  EXPECT_EQ(m->describe(), std::string("the NI-VXI library ") + VME_NIVXI_STANDIN);
  vmebus::Window a24 = window(*m, Space::A24, 0x200000), a32 = window(*m, Space::A32, 0xD000000),
                 empty = window(*m, Space::A32, 0x200000);
  for (vmebus::Window* w : {&a24, &a32, &empty}) ASSERT_EQ(m->map(*w), 0);
  std::uint32_t v = 0;
  for (vmebus::Window* w : {&a24, &a32}) {
    const std::uint32_t mark = w->vmeBase >> 16;
    EXPECT_TRUE(m->write(*w, 4, Width::D32, 0x12340000 | mark));
    EXPECT_TRUE(m->read(*w, 4, Width::D16, v));
    EXPECT_EQ(v, 0x1234u);
    EXPECT_TRUE(m->read(*w, 7, Width::D8, v));
    EXPECT_EQ(v, mark & 0xFF);
    EXPECT_TRUE(m->write(*w, 4, Width::D8, 0xBE));
    EXPECT_TRUE(m->read(*w, 4, Width::D32, v));
    EXPECT_EQ(v, 0xBE340000 | mark);
  }
  const std::uint32_t before = dll.busErrors();
  EXPECT_FALSE(m->read(empty, 0, Width::D16, v));
  EXPECT_EQ(v, 0xFFFFu);
  EXPECT_FALSE(m->write(empty, 0, Width::D32, 1));
  EXPECT_EQ(dll.busErrors(), before + 2);

  ASSERT_NE(m->deviceLookup(), nullptr);
  EXPECT_EQ(m->deviceLookup()->lookup("LOBBO"), 4);
  EXPECT_EQ(m->deviceLookup()->lookup("NOBODY"), -1);
  for (vmebus::Window* w : {&a24, &a32, &empty}) m->unmap(*w);
  m->close();
}

// Each window is the library's: its range holds the suite's window, and an
// unmapped one is gone.  The close call is made once per open, and a closed
// method makes no cycle and maps no window.
TEST(NivxiMethod, WindowsAreTheLibrarysAndOneCloseEachOpen) {
  const Calls dll;
  auto m = method();
  std::string error;
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(m->open(error)) << error;
    ASSERT_TRUE(m->open(error)) << "opening an open method does nothing";
    vmebus::Window w = window(*m, Space::A24, 0xF00000, 0x800);
    ASSERT_EQ(m->map(w), 0);
    NivxiUint32 first = 0, last = 0;
    ASSERT_EQ(dll.range(w.token, &first, &last), kSuccess);
    EXPECT_EQ(first, 0xF00000u);
    EXPECT_EQ(last, 0xF007FFu);
    m->unmap(w);
    EXPECT_EQ(dll.range(w.token, &first, &last), kBadWindow);
    m->close();
    m->close();
    EXPECT_EQ(dll.close(), kNotInitialised) << "the library was closed exactly once";
  }
  std::uint32_t v = 0;
  vmebus::Window w = window(*m, Space::A24, 0xF00000);
  EXPECT_FALSE(m->read(w, 0, Width::D16, v));
  EXPECT_EQ(v, 0xFFFFu);
  EXPECT_LT(m->map(w), 0);
}

// What the library refuses, the stand-in refuses: calls before the
// initialisation, bad access parameters, widths and addresses, windows not
// mapped and null pointers.  VXIpeek has no status: a pointer outside every
// window makes no cycle, one in a window on an empty address counts a bus error.
TEST(NivxiStandin, RefusesWhatTheLibraryRefuses) {
  const Calls dll;
  std::uint32_t v = 0x5A5A5A5A;
  NivxiInt16 la = 0, ret = 0;
  NivxiUint32 win = 0, first = 0, last = 0;
  EXPECT_EQ(dll.in(nivxi::kA24, 0xF00000, 2, &v), kNotInitialised);
  EXPECT_EQ(dll.mapSize(0x1000), kNotInitialised);
  EXPECT_EQ(dll.map(nivxi::kA24, 0xF00000, 1000, &win, &ret), nullptr);
  EXPECT_EQ(ret, kNotInitialised);

  ASSERT_EQ(dll.init(), kSuccess);
  EXPECT_EQ(dll.init(), kAlreadyInitialised);
  EXPECT_EQ(dll.close(), kSuccess);
  for (const NivxiUint16 access : {0, 4, 0x12, 0x8002})
    EXPECT_EQ(dll.in(access, 0xF00000, 2, &v), kBadAccess) << access;
  for (const NivxiUint16 width : {0, 3, 8}) {
    EXPECT_EQ(dll.in(nivxi::kA24, 0xF00000, width, &v), kBadWidth) << width;
    EXPECT_EQ(dll.out(nivxi::kA24, 0xF00000, width, 0), kBadWidth) << width;
  }
  EXPECT_EQ(dll.in(nivxi::kA24, 0xF00000, 2, nullptr), kBadParameter);
  EXPECT_EQ(dll.in(nivxi::kA24, 0xFFFFFF, 2, &v), kBadAddress);
  EXPECT_EQ(dll.in(nivxi::kA16, 0x10000, 1, &v), kBadAddress);
  EXPECT_EQ(dll.out(nivxi::kA24, 0xF00000, 1, 0x100), kBadParameter) << "wider than D8";
  EXPECT_EQ(v, 0x5A5A5A5Au) << "a refused read writes nothing";
  EXPECT_EQ(dll.in(nivxi::kA24, 0xF00032, 2, &v), kSuccess);
  EXPECT_EQ(v & 0xFFFF0000u, 0x5A5A0000u) << "a D16 read writes 16 bits";

  EXPECT_EQ(dll.mapSize(0), kBadParameter);
  EXPECT_EQ(dll.mapSize(0x802), kBadParameter);
  EXPECT_EQ(dll.map(nivxi::kA24, 0xF00000, 1000, nullptr, &ret), nullptr);
  EXPECT_EQ(ret, kBadParameter);
  EXPECT_EQ(dll.map(7, 0xF00000, 1000, &win, &ret), nullptr);
  EXPECT_EQ(ret, kBadAccess);
  EXPECT_EQ(dll.mapSize(0x10000), kSuccess);
  EXPECT_EQ(dll.map(nivxi::kA24, 0xFF8000, 1000, &win, &ret), nullptr);
  EXPECT_EQ(ret, kBadAddress) << "the window would pass the end of A24";
  EXPECT_EQ(dll.map(nivxi::kA24, 0xF00000, 1000, &win, nullptr), nullptr);
  for (const NivxiUint32 w : {0u, 1u, 99u}) {
    EXPECT_EQ(dll.range(w, &first, &last), kBadWindow) << w;
    EXPECT_EQ(dll.unmap(w), kBadWindow) << w;
  }

  void* host = dll.map(nivxi::kA24, 0x200000, 1000, &win, &ret);
  ASSERT_EQ(ret, kSuccess);
  EXPECT_EQ(dll.range(win, nullptr, &last), kBadParameter);
  const std::uint32_t errors = dll.busErrors();
  v = 0;
  dll.peek(static_cast<char*>(host) + 4, 2, &v);
  EXPECT_EQ(dll.busErrors(), errors);
  dll.peek(static_cast<char*>(host) + 0x10000, 4, &v);
  dll.peek(host, 3, &v);
  dll.peek(host, 4, nullptr);
  EXPECT_EQ(dll.busErrors(), errors) << "no cycle, no count";
  NivxiInt16 latch = -1;
  EXPECT_EQ(dll.busStatus(-1, 1, &latch), kSuccess);
  EXPECT_EQ(dll.in(nivxi::kA32, 0x200000, 4, &v), kBusError);
  EXPECT_EQ(v, 0xFFFFFFFFu);
  EXPECT_EQ(dll.busErrors(), errors + 1);
  EXPECT_EQ(dll.busStatus(-1, 1, &latch), kSuccess);
  EXPECT_EQ(latch, 1);
  EXPECT_EQ(dll.busStatus(-1, 1, &latch), kSuccess);
  EXPECT_EQ(latch, 0) << "the query clears what it showed";
  EXPECT_EQ(dll.busStatus(-1, 1, nullptr), kBadParameter);
  EXPECT_EQ(dll.unmap(win), kSuccess);
  EXPECT_EQ(dll.unmap(win), kBadWindow);

  char lobbo[] = "LOBBO";
  EXPECT_EQ(dll.find(reinterpret_cast<NivxiInt8*>(lobbo), -1, -1, -1, -1, -1, -1, &la), kSuccess);
  EXPECT_EQ(la, 4);
  EXPECT_EQ(dll.find(nullptr, -1, -1, -1, -1, -1, -1, &la), kBadParameter);
  EXPECT_EQ(dll.find(reinterpret_cast<NivxiInt8*>(lobbo), -1, -1, -1, -1, -1, -1, nullptr),
            kBadParameter);
  EXPECT_EQ(dll.close(), kSuccess);
  EXPECT_EQ(dll.close(), kNotInitialised);
}

}  // namespace
