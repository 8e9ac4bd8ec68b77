// The CAEN method on its stand-in library, and the test binary's own bus:
// on every system.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "buslib/access_method.h"
#include "buslib/caen.h"
#include "buslib/caen_vme_abi.h"
#include "buslib/nivxi.h"
#include "crate/crate.h"
#include "platform/platform.h"
#include "program_runner.h"

namespace {

using vmesim::Space;
using vmesim::Width;

// Run by hand, whatever VME_BUS says, a test binary's bus is the simulated
// crate (the bus-run tests run this with VME_BUS=vme_user and caen:...).
TEST(SimulatedOnly, TheBusOfATestBinaryIsTheSimulatedCrate) {
  EXPECT_EQ(vmebus::busConfig().method, "sim");
  EXPECT_STREQ(vmebus::method().name(), "sim");
  EXPECT_EQ(InitVXIlibrary(), 0);
  std::uint32_t window = 0;
  VXIstatus status = 0;
  const VmePtr p = MapVXIwindow(VXI_ACCESS_A24, 0x200000, 1000, &window, &status);
  ASSERT_EQ(status, 0);
  p.write16(0x10, 0x1234);
  EXPECT_EQ(p.read16(0x10), 0x1234u);
  EXPECT_EQ(CloseVXIlibrary(), 0);
}

// Data in host order, the modifier choosing the space, bus errors, and the
// bridge closed and opened again (a bridge never ended would refuse the
// second open).
TEST(CaenMethod, CyclesSpacesAndTheBridgeOpenedAgain) {
  std::string error;
  auto m = vmebus::makeCaenMethod("v1718:0", VME_CAEN_STANDIN, error);
  ASSERT_TRUE(m) << error;
  ASSERT_TRUE(m->open(error)) << error;
  vmebus::Window a24, a32, empty;
  a24.vmeBase = 0x200000;
  a32.space = Space::A32;
  a32.vmeBase = 0xD000000;
  empty.space = Space::A32;
  empty.vmeBase = 0x200000;
  for (vmebus::Window* w : {&a24, &a32, &empty}) {
    w->size = 0x100;
    w->method = m.get();
    ASSERT_EQ(m->map(*w), 0);
  }
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
  EXPECT_FALSE(m->read(empty, 0, Width::D16, v));
  EXPECT_EQ(v, 0xFFFFu);
  EXPECT_FALSE(m->write(empty, 0, Width::D32, 1));

  m->close();
  EXPECT_FALSE(m->read(a24, 4, Width::D32, v)) << "no cycle on a closed bridge";
  ASSERT_TRUE(m->open(error)) << error;
  ASSERT_EQ(m->map(a24), 0);
  EXPECT_TRUE(m->read(a24, 4, Width::D32, v));
  EXPECT_EQ(v, 0xBE340020u);
}

TEST(CaenStandin, RefusesWhatTheLibraryRefuses) {
  void* dl = platform::loadLibrary(VME_CAEN_STANDIN);
  ASSERT_NE(dl, nullptr) << platform::libraryError();
  const auto init2 = reinterpret_cast<CaenInit2Fn>(platform::librarySymbol(dl, "CAENVME_Init2"));
  const auto read = reinterpret_cast<CaenReadCycleFn>(platform::librarySymbol(dl, "CAENVME_ReadCycle"));
  const auto end = reinterpret_cast<CaenEndFn>(platform::librarySymbol(dl, "CAENVME_End"));
  const auto decode = reinterpret_cast<CaenDecodeErrorFn>(platform::librarySymbol(dl, "CAENVME_DecodeError"));
  ASSERT_TRUE(init2 && read && end && decode);

  const std::uint32_t link = 3;
  std::int32_t h = -1, other = -1;
  ASSERT_EQ(init2(0, &link, 0, &h), caen::kSuccess);
  EXPECT_EQ(init2(0, &link, 0, &other), caen::kAlreadyOpen);
  EXPECT_EQ(init2(0, nullptr, 0, &other), caen::kInvalidParam);
  EXPECT_EQ(init2(28, &link, 0, &other), caen::kInvalidParam);
  EXPECT_EQ(init2(0, &link, -1, &other), caen::kInvalidParam);
  EXPECT_EQ(init2(0, &link, 1, nullptr), caen::kInvalidParam);
  EXPECT_EQ(init2(27, "", 0, &other), caen::kInvalidParam);
  EXPECT_EQ(init2(27, "a host", 0, &other), caen::kInvalidParam);

  std::uint16_t d = 0;
  struct Cycle {
    std::int32_t handle;
    std::uint32_t address;
    void* data;
    CVAddressModifier am;
    CVDataWidth dw;
    CVErrorCodes code;
  };
  const Cycle cycles[] = {
      {h, 0x200000, &d, caen::kA24UserData, caen::kD16, caen::kSuccess},
      {h, 0x200000, &d, caen::kA24SuperData, caen::kD16, caen::kSuccess},
      {h, 0x200000, &d, 0x3F, caen::kD16, caen::kInvalidParam},
      {h, 0x200000, &d, caen::kA24UserData, 0x03, caen::kInvalidParam},
      {h, 0x200000, nullptr, caen::kA24UserData, caen::kD16, caen::kInvalidParam},
      {h, 0x1200000, &d, caen::kA24UserData, caen::kD16, caen::kInvalidParam},
      {-1, 0x200000, &d, caen::kA24UserData, caen::kD16, caen::kInvalidParam},
      {h + 1, 0x200000, &d, caen::kA24UserData, caen::kD16, caen::kInvalidParam},
      {h, 0x2000, &d, caen::kA16User, caen::kD16, caen::kBusError},
      {h, 0x300000, &d, caen::kA24UserData, caen::kD16, caen::kBusError},
  };
  for (const Cycle& c : cycles)
    EXPECT_EQ(read(c.handle, c.address, c.data, c.am, c.dw), c.code)
        << std::hex << c.address << " am " << c.am << " dw " << c.dw;
  EXPECT_EQ(end(h), caen::kSuccess);
  EXPECT_EQ(end(h), caen::kInvalidParam);
  EXPECT_EQ(read(h, 0x200000, &d, caen::kA24UserData, caen::kD16), caen::kInvalidParam);
  EXPECT_STREQ(decode(caen::kCommError), "Communication error");

  // A setting it cannot read fails the open, its text on one line, until an
  // open whose settings read.
  const char* const refused[][3] = {
      {"CAEN_STANDIN_OPEN_FAILS", "-0", "=-0: expected a negative error code"},
      {"CAEN_STANDIN_OPEN_FAILS", "-2147483649", "=-2147483649: expected a negative error code"},
      {"CAEN_STANDIN_COMM_ERROR_AFTER", "0x10", "=0x10: expected a count of cycles"},
      {"CAEN_STANDIN_COMM_ERROR_CODE", "-2\n", "=-2\\x0A: expected a negative error code"},
  };
  for (const auto& [knob, value, text] : refused) {
    vmetest::setEnv(knob, value);
    EXPECT_EQ(init2(0, &link, 0, &h), caen::kGenericError) << knob;
    EXPECT_EQ(decode(caen::kGenericError), std::string(knob) + text);
    vmetest::unsetEnv(knob);
  }
  vmetest::setEnv("CAEN_STANDIN_OPEN_FAILS", "-2147483648");
  EXPECT_EQ(init2(0, &link, 0, &h), INT_MIN);
  vmetest::unsetEnv("CAEN_STANDIN_OPEN_FAILS");
  EXPECT_STREQ(decode(caen::kGenericError), "Unspecified error");
}

}  // namespace
