#include "trig_probe.h"

#include <cctype>
#include <cstdio>
#include <string>

#include "buslib/nivxi.h"
#include "foundation/exit_status.h"
#include "foundation/results.h"
#include "foundation/vme_window.h"
#include "regmap/trigger.h"

std::uint32_t probeWindow = 0;

namespace {

constexpr std::uint32_t kTimeout = 1000;
constexpr std::int16_t kAny = -1;
// The device line always shows this spelling, whatever name is looked up.
constexpr const char* kShownName = "Lobbo";

// The register block: the command register takes the enable, the status
// register's address the strobe latch.
namespace tr = regmap::trigger;
constexpr std::uint32_t REG_ENABLE = tr::kCommand.offset;
constexpr std::uint32_t REG_STROBE = tr::kStatus.offset;
constexpr std::uint32_t REG_DATA = tr::kData.offset;
constexpr std::uint32_t REG_CLEAR_A = tr::kClearA.offset;
constexpr std::uint32_t REG_CLEAR_B = tr::kClearB.offset;
constexpr std::uint32_t REG_CLEAR_C = tr::kClearC.offset;

struct Load {
  std::uint16_t value;
  std::uint16_t strobe;
};

constexpr Load kLoads[] = {
    {0x0003, 0x0100}, {0x0015, 0x0200}, {0x0025, 0x0400}, {0x1875, 0x0800}, {0x00C0, 0x1000},
};

constexpr std::uint16_t kPatterns[] = {0xE675, 0xAAAA, 0x5555, 0xEAAA};

// The "%x" conversion of the base address answer (blanks and blank lines
// skipped, a sign, "0x", hex digits), reading the number in full: wide is
// set when it has more than 32 bits, and text keeps its start for the
// refusal.  False when no number was typed.
bool readHexAnswer(std::uint32_t& value, bool& wide, std::string& text) {
  int c;
  do c = std::getchar();
  while (c != EOF && std::isspace(c));
  bool negative = false, digits = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    text += static_cast<char>(c);
    c = std::getchar();
  }
  if (c == '0') {
    digits = true;
    text += '0';
    c = std::getchar();
    if (c == 'x' || c == 'X') {
      text += static_cast<char>(c);
      c = std::getchar();
    }
  }
  std::uint64_t magnitude = 0;
  wide = false;
  for (; c != EOF && std::isxdigit(c); c = std::getchar()) {
    digits = true;
    if (text.size() < 40) text += static_cast<char>(c);
    const unsigned d = std::isdigit(c) ? static_cast<unsigned>(c - '0')
                                       : static_cast<unsigned>(std::tolower(c) - 'a' + 10);
    magnitude = magnitude * 16 + d;
    if (magnitude > 0xFFFFFFFFull) {
      wide = true;
      magnitude = 0xFFFFFFFFull;
    }
  }
  if (c != EOF) std::ungetc(c, stdin);
  const auto v = static_cast<std::uint32_t>(magnitude);
  value = negative ? 0u - v : v;
  return digits;
}

unsigned long busErrorWord() { return static_cast<unsigned long>(vmeBusErrorRecv()); }

}  // namespace

void printBusStatus() {
  std::int16_t value = 0;
  const VXIstatus s = GetVXIbusStatus(kAny, 1, &value);
  std::printf("VMEbus error status %d ret %d\n", value, s);
  std::printf("BusErrorRecv %lx\n", busErrorWord());
}

VmePtr mapProbe(std::uint32_t base) {
  VXIstatus s = vmeInitLibrary();
  if (s > 0) {
    std::printf("InitVXIlibrary already initialized");
  } else if (s < 0) {
    std::printf("InitVXIlibrary failed, stop\n");
    return VmePtr();
  }

  VXIstatus mapStatus = 0;
  const VmePtr p = MapVXIwindow(VXI_ACCESS_A24, base, kTimeout, &probeWindow, &mapStatus);
  if (mapStatus < 0) {
    std::printf("Failed to get memory map %d\n", mapStatus);
    return VmePtr();
  }
  resultsNoteWindow(base, false, VXI_DEFAULT_WINDOW_SIZE);
  std::printf("Address = %lx, base Addr = %s \n", static_cast<unsigned long>(base),
              p.text().data());

  std::uint32_t first = 0, last = 0;
  s = GetVXIwindowRange(probeWindow, &first, &last);
  if (s < 0) {
    std::printf("Failed to get window info %d\n", s);
    return VmePtr();
  }
  std::printf("Base VME address = %lx, End VME address = %lx\n",
              static_cast<unsigned long>(first), static_cast<unsigned long>(last));

  std::int16_t logical = -1;
  s = FindVXIdevice(profile().probe.device, kAny, kAny, kAny, kAny, kAny, kAny, &logical);
  std::printf("Device %s logical address %d return %d\n", kShownName, logical, s);

  if (p.isNull()) {
    std::printf("No address map for kelpo\n");
    return VmePtr();
  }

  (void)PrepareVXIprobe();
  std::printf("BusErrorRecv %lx\n", busErrorWord());

  // A plain read: a bus error here shows only in the status lines below.
  const unsigned plain = p.get();
  std::printf("   peek address %s value %x\n", p.text().data(), plain);
  printBusStatus();

  std::uint32_t guarded = 0;
  (void)VXIpeek(p, 2, &guarded);
  std::printf("VXIpeek address %s value %x\n", p.text().data(), guarded & 0xFFFFu);
  printBusStatus();
  return p;
}

void closeProbe() {
  printBusStatus();
  (void)UnmapVXIwindow(probeWindow);
  const VXIstatus s = CloseVXIlibrary();
  std::printf("\nVXI_VME library closed %d\n", s);
}

void loadRegisterBlock(VmePtr base) {
  const bool shortForm = profile().probe.load == BlockLoad::Short;
  if (!shortForm) {
    base.write16(REG_STROBE, tr::strobe::kNone);
    base.write16(REG_STROBE, tr::strobe::kStart);
    base.write16(REG_STROBE, tr::strobe::kNone);
  }
  base.write16(REG_ENABLE, tr::strobe::kEnable);
  base.write16(REG_CLEAR_A, 0x0000);
  base.write16(REG_CLEAR_B, 0x0000);
  base.write16(REG_CLEAR_C, 0x0000);
  for (const Load& l : kLoads) {
    base.write16(REG_STROBE, tr::strobe::kNone);
    base.write16(REG_DATA, l.value);
    base.write16(REG_STROBE, l.strobe);
  }
  if (shortForm) {
    base.write16(REG_STROBE, tr::strobe::kNone);
    return;
  }
  base.write16(REG_STROBE, tr::strobe::kNone);
  base.write16(REG_STROBE, tr::strobe::kPatterns);
  base.write16(REG_STROBE, tr::strobe::kNone);
  for (std::uint16_t w : kPatterns) {
    base.write16(REG_DATA, w);
    base.write16(REG_STROBE, tr::strobe::kPattern);
    base.write16(REG_STROBE, tr::strobe::kNone);
  }
  base.write16(REG_DATA, 0x0000);
}

int probeMain(int (*payload)(VmePtr)) {
  std::uint32_t base = PROBE_DEFAULT_BASE;
  std::printf("%s", kAskProbeBase.prompt);
  std::fflush(stdout);
  std::uint32_t typed = 0;
  bool wide = false;
  std::string text;
  const bool typedNumber = readHexAnswer(typed, wide, text);
  resultsNoteAnswer(kAskProbeBase.prompt, typedNumber ? text.c_str() : nullptr,
                    text.size());
  if (typedNumber) {
    if (wide) {
      std::printf("base address %s is wider than 32 bits, nothing mapped\n", text.c_str());
      return RUN_UNTESTED;
    }
    base = typed;
  }

  const VmePtr p = mapProbe(base);
  std::printf("mapped address = %s \n", p.text().data());
  if (p.isNull()) return RUN_UNTESTED;

  const int status = payload(p);
  closeProbe();
  return status;
}

namespace {

// The load has no verdict: it ran to its end.
int load(VmePtr base) {
  loadRegisterBlock(base);
  return RUN_PASSED;
}

}  // namespace

int probeLoadBody(const char*, const char*) { return probeMain(load); }
