// The bridge methods (CAEN, VISA) on their stand-in libraries, and the test
// binary's own bus: on every system.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "buslib/access_method.h"
#include "buslib/caen.h"
#include "buslib/caen_vme_abi.h"
#include "buslib/nivxi.h"
#include "buslib/visa.h"
#include "buslib/visa_abi.h"
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
void cyclesAndReopen(vmebus::AccessMethod& method) {
  vmebus::AccessMethod* m = &method;
  std::string error;
  ASSERT_TRUE(m->open(error)) << error;
  vmebus::Window a24, a32, empty;
  a24.vmeBase = 0x200000;
  a32.space = Space::A32;
  a32.vmeBase = 0xD000000;
  empty.space = Space::A32;
  empty.vmeBase = 0x200000;
  for (vmebus::Window* w : {&a24, &a32, &empty}) {
    w->size = 0x100;
    w->method = m;
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

TEST(BridgeMethods, CyclesSpacesAndTheBridgeOpenedAgain) {
  std::string error;
  std::unique_ptr<vmebus::AccessMethod> methods[] = {
      vmebus::makeCaenMethod("v1718:0", VME_CAEN_STANDIN, error),
      vmebus::makeVisaMethod("", VME_VISA_STANDIN)};
  for (auto& m : methods) {
    ASSERT_TRUE(m) << error;
    SCOPED_TRACE(m->name());
    cyclesAndReopen(*m);
  }
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

// The VISA stand-in's checks: sessions, names, spaces and offsets, and its
// knobs, each refused value named in the error's text.
TEST(VisaStandin, RefusesWhatTheLibraryRefuses) {
  void* dl = platform::loadLibrary(VME_VISA_STANDIN);
  ASSERT_NE(dl, nullptr) << platform::libraryError();
  const auto rmOpen = reinterpret_cast<ViOpenDefaultRMFn>(platform::librarySymbol(dl, "viOpenDefaultRM"));
  const auto open = reinterpret_cast<ViOpenFn>(platform::librarySymbol(dl, "viOpen"));
  const auto close = reinterpret_cast<ViCloseFn>(platform::librarySymbol(dl, "viClose"));
  const auto in16 = reinterpret_cast<ViIn16Fn>(platform::librarySymbol(dl, "viIn16"));
  const auto out32 = reinterpret_cast<ViOut32Fn>(platform::librarySymbol(dl, "viOut32"));
  const auto desc = reinterpret_cast<ViStatusDescFn>(platform::librarySymbol(dl, "viStatusDesc"));
  ASSERT_TRUE(rmOpen && open && close && in16 && out32 && desc);
  const auto text = [&](ViStatus s) {
    char d[visa::kDescSize] = {};
    EXPECT_EQ(desc(0, s, d), visa::kSuccess);
    return std::string(d);
  };

  ViSession rm = 0, vi = 0, other = 0;
  ASSERT_EQ(rmOpen(&rm), visa::kSuccess);
  EXPECT_EQ(open(rm + 1, "VXI0::MEMACC", 0, 0, &vi), visa::kInvalidObject);
  EXPECT_EQ(open(rm, nullptr, 0, 0, &vi), visa::kSystemError);
  EXPECT_EQ(open(rm, "VXI0", 0, 0, &vi), visa::kInvalidResourceName);
  EXPECT_EQ(open(rm, "VXI0::MEMACC extra", 0, 0, &vi), visa::kInvalidResourceName);
  EXPECT_EQ(open(rm, "VXI1::MEMACC", 0, 0, &vi), visa::kResourceNotFound);
  ASSERT_EQ(open(rm, "vxi0::memacc", 0, 0, &vi), visa::kSuccess);
  ASSERT_EQ(open(rm, "VXI0::MEMACC", 0, 0, &other), visa::kSuccess);
  EXPECT_NE(vi, other);

  std::uint16_t d = 0;
  struct Cycle {
    ViSession vi;
    std::uint16_t space;
    ViBusAddress offset;
    ViStatus status;
  };
  const Cycle cycles[] = {
      {vi, visa::kA24Space, 0x200000, visa::kSuccess},
      {vi, 0, 0x200000, visa::kInvalidSpace},
      {vi, 4, 0x200000, visa::kInvalidSpace},
      {vi, visa::kA24Space, 0x1000000, visa::kInvalidOffset},
      {vi, visa::kA24Space, 0xFFFFFF, visa::kInvalidOffset},  // a D16 past the top
      {vi, visa::kA16Space, 0x2000, visa::kBusError},
      {vi, visa::kA24Space, 0x300000, visa::kBusError},
      {rm, visa::kA24Space, 0x200000, visa::kInvalidObject},
      {vi + 100, visa::kA24Space, 0x200000, visa::kInvalidObject},
  };
  for (const Cycle& c : cycles)
    EXPECT_EQ(in16(c.vi, c.space, c.offset, &d), c.status) << std::hex << c.space << " " << c.offset;
  EXPECT_EQ(d, 0xFFFFu) << "a bus error reads all ones";
  EXPECT_EQ(in16(vi, visa::kA24Space, 0x200000, nullptr), visa::kSystemError);
  EXPECT_EQ(out32(vi, visa::kA32Space, 0xFFFFFFFE, 1), visa::kInvalidOffset);
  EXPECT_EQ(close(vi), visa::kSuccess);
  EXPECT_EQ(close(vi), visa::kInvalidObject);
  EXPECT_EQ(in16(vi, visa::kA24Space, 0x200000, &d), visa::kInvalidObject);
  EXPECT_EQ(close(other), visa::kSuccess);
  EXPECT_EQ(text(visa::kBusError), "Bus error occurred during transfer");

  // The knobs: a cycle made to fail, then the cycles after it work; a value
  // it cannot read fails the open.
  vmetest::setEnv("VISA_STANDIN_ERROR_AFTER", "1");
  vmetest::setEnv("VISA_STANDIN_ERROR_CODE", "0xbfff0038");
  ASSERT_EQ(open(rm, "VXI0::MEMACC", 0, 0, &vi), visa::kSuccess);
  EXPECT_EQ(in16(vi, visa::kA24Space, 0x200000, &d), visa::kSuccess);
  EXPECT_EQ(in16(vi, visa::kA24Space, 0x200000, &d), visa::kBusError);
  EXPECT_EQ(in16(vi, visa::kA24Space, 0x200000, &d), visa::kSuccess);
  EXPECT_EQ(close(vi), visa::kSuccess);
  vmetest::unsetEnv("VISA_STANDIN_ERROR_AFTER");
  vmetest::unsetEnv("VISA_STANDIN_ERROR_CODE");
  const char* const refused[][3] = {
      {"VISA_STANDIN_OPEN_FAILS", "-2", "=-2: expected 0x and the eight hex digits of an error"},
      {"VISA_STANDIN_OPEN_FAILS", "0x3FFF0011", "=0x3FFF0011: expected 0x and the eight hex"},
      {"VISA_STANDIN_ERROR_CODE", "0xBFFF00150", "=0xBFFF00150: expected 0x"},
      {"VISA_STANDIN_ERROR_AFTER", "1\t", "=1\\x09: expected a count of cycles"},
  };
  for (const auto& [knob, value, start] : refused) {
    vmetest::setEnv(knob, value);
    EXPECT_EQ(open(rm, "VXI0::MEMACC", 0, 0, &vi), visa::kSystemError) << knob;
    EXPECT_EQ(text(visa::kSystemError).rfind(std::string(knob) + start, 0), 0u) << text(visa::kSystemError);
    vmetest::unsetEnv(knob);
  }
  vmetest::setEnv("VISA_STANDIN_OPEN_FAILS", "0xBFFF0015");
  EXPECT_EQ(open(rm, "VXI0::MEMACC", 0, 0, &vi), visa::kTimeout);
  vmetest::unsetEnv("VISA_STANDIN_OPEN_FAILS");
  EXPECT_EQ(close(rm), visa::kSuccess);
  EXPECT_EQ(close(rm), visa::kInvalidObject);
}

}  // namespace
