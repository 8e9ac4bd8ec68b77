#include "foundation/vme_window.h"

#include <cstdio>
#include <cstring>

#include "foundation/console.h"
#include "foundation/results.h"
#include "foundation/profile.h"

std::uint32_t vmeWindow = 0;
std::int16_t vmeStatus = 0;
int vmeLibraryFirst = 1;

namespace {

constexpr std::uint16_t kAccessCode[2] = {VXI_ACCESS_A32, VXI_ACCESS_A24};
constexpr std::uint32_t kTimeout = 1000;
constexpr std::uint32_t kA32DefaultWindow = 0x20000;

const void* libraryInfo = nullptr;

enum class Check { TopByte, LowWord };

void reportInit(VXIstatus s) {
  if (s > 0) std::printf("InitVXIlibrary already initialized %d\n", s);
  else if (s < 0) std::printf("InitVXIlibrary error %d\n", s);
}

VmePtr open(std::uint32_t size, std::uint32_t address, int mode, Check check) {
  VmePtr result;
  if (vmeLibraryFirst) {
    vmeLibraryFirst = 0;
    vmeStatus = vmeInitLibrary();
    reportInit(vmeStatus);
  }
  vmeStatus = SetVXIwindowSize(size);
  if (vmeStatus != 0) std::printf("VME window size error %d\n", vmeStatus);

  VmePtr p = MapVXIwindow(kAccessCode[mode == VME_A32 ? 0 : 1], address, kTimeout, &vmeWindow,
                          &vmeStatus);
  if (vmeStatus != 0) std::printf("VME window create error %d\n", vmeStatus);
  if (vmeStatus >= 0) {
    result = p;
    resultsNoteWindow(address, mode == VME_A32, size);
    std::printf("Checking VME access  (by causing bus error)\n");
    std::uint32_t value = 0;
    VXIpeek(result, 4, &value);
    if (check == Check::TopByte) {
      if ((value & 0xFF000000u) != 0xFF000000u) {
        std::printf("\nERROR: address %s value %x  D32 read expected data FFxxxxxx\n",
                    result.text().data(), value);
        std::printf("Try running Resman\n\n");
      }
    } else if ((value & 0xFFFFu) != 0xFFFFu) {
      std::printf("\nERROR: address %s value %x  D32 read expected data FFFF\n",
                  result.text().data(), value & 0xFFFFu);
      std::printf("Try running Resman\n\n");
    }
    std::uint32_t first = 0, last = 0;
    vmeStatus = GetVXIwindowRange(vmeWindow, &first, &last);
    if (vmeStatus == 0)
      std::printf("Base VME address = %lx, End VME address = %lx\n",
                  static_cast<unsigned long>(first), static_cast<unsigned long>(last));
  }
  std::printf("  mapped address = %s\n", result.text().data());
  return result;
}

VmePtr select(std::uint32_t size) {
  std::uint32_t address = 0;
  int mode;
  std::uint32_t def;
  const SelectVariant variant = profile().select;
  const bool other = askYesNo(kAskModePrompt[static_cast<int>(variant)], 'N') == ANSWER_YES;
  if (variant == SelectVariant::A32Default) mode = other ? VME_A24 : VME_A32;
  else mode = other ? VME_A32 : VME_A24;
  def = mode == VME_A32 ? 0xD000000u : 0xF00000u;
  askHex(kAskBasePrompt, def, &address);
  if (variant == SelectVariant::A32Default)
    return open(kA32DefaultWindow, address, mode, Check::LowWord);
  return open(size, address, mode, Check::TopByte);
}

}  // namespace

VXIstatus vmeInitLibrary() {
  VXIstatus s = InitVXIlibrary();
  libraryInfo = GetVXIlibraryInfo();
  return s;
}

std::uint32_t vmeBusErrorRecv() {
  if (libraryInfo == nullptr) return 0;
  std::uint32_t v;
  std::memcpy(&v, static_cast<const std::uint8_t*>(libraryInfo) + VXI_INFO_BUS_ERRORS, sizeof v);
  return v;
}

VmePtr vmeOpen(std::uint32_t address, int mode) {
  return open(profile().windowSize, address, mode, Check::TopByte);
}

VmePtr vmeOpen(std::uint32_t size, std::uint32_t address, int mode) {
  return open(size, address, mode, Check::TopByte);
}

VmePtr vmeSelect() { return select(profile().windowSize); }

VmePtr vmeSelect(std::uint32_t size) { return select(size); }

VmePtr vmeOpenA24(std::uint32_t address) {
  vmeStatus = vmeInitLibrary();
  reportInit(vmeStatus);
  VmePtr p = MapVXIwindow(VXI_ACCESS_A24, address, kTimeout, &vmeWindow, &vmeStatus);
  if (vmeStatus != 0) std::printf("VME window create error %d\n", vmeStatus);
  if (vmeStatus >= 0) {
    resultsNoteWindow(address, false, VXI_DEFAULT_WINDOW_SIZE);
    std::printf("Checking VME access  (by causing bus error)\n");
    std::uint32_t value = 0;
    VXIpeek(p, 4, &value);
    if ((value & 0xFFFFu) != 0xFFFFu) {
      std::printf("ERROR: address %s value %x  D32 read expected data FFFF\n", p.text().data(),
                  value & 0xFFFFu);
      std::printf("Try running Resman\n");
    }
  }
  std::printf("VME base address = %lx\n", static_cast<unsigned long>(address));
  std::printf("  mapped address = %s\n", p.text().data());
  return p;
}

void vmeClose() {
  vmeStatus = UnmapVXIwindow(vmeWindow);
  if (vmeStatus != 0) std::printf("VXI address unmap error %d\n", vmeStatus);
  vmeStatus = CloseVXIlibrary();
  if (vmeStatus != 0) std::printf("VXI library close error %d\n", vmeStatus);
  std::printf("VXI done.\n");
}
