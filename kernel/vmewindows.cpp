// vmewindows: maps one 0x1000-byte A24 window at each base given, all at
// once, writes a word into each that was mapped and reads it back, then
// closes the library.  A bridge with four master windows refuses the fifth.
//
//   vmewindows BASE...        bases in hex
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "buslib/bus_config.h"
#include "buslib/nivxi.h"
#include "standins/offer.h"

int main(int argc, char** argv) {
  // The reference runs are on the stand-in of the kernel interface.
  vmebus::offerStandins();
  std::string error;
  if (!vmebus::startBusFromEnvironment(error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  if (InitVXIlibrary() < 0) {
    std::printf("InitVXIlibrary failed\n");
    return 2;
  }
  SetVXIwindowSize(0x1000);
  std::vector<VmePtr> mapped;
  int refused = 0;
  for (int i = 1; i < argc; ++i) {
    const auto base = static_cast<std::uint32_t>(std::strtoul(argv[i], nullptr, 16));
    std::uint32_t window = 0;
    VXIstatus status = 0;
    const VmePtr p = MapVXIwindow(VXI_ACCESS_A24, base, 1000, &window, &status);
    std::printf("window %d at %06X: status %d\n", i, static_cast<unsigned>(base), status);
    if (status < 0) ++refused;
    else mapped.push_back(p);
  }
  for (std::size_t i = 0; i < mapped.size(); ++i) {
    mapped[i].write16(0, static_cast<std::uint16_t>(0xA500 + i));
    std::printf("window %zu reads %04X\n", i + 1, static_cast<unsigned>(mapped[i].read16(0)));
  }
  std::printf("closed %d, %d refused\n", CloseVXIlibrary(), refused);
  return 0;
}
