// vmescript: plays a text file of D16 register reads and writes against one
// board in A24 space, echoing the file and pausing where it asks.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/console.h"
#include "foundation/file_player.h"
#include "foundation/program.h"
#include "foundation/vme_window.h"
#include "programs/vmescript/script_line.h"

namespace {

constexpr std::uint32_t kWindowSize = 0x1000;

const char kHelp[] =
    "VME base address is first line in file,  then each line is:\n"
    "[addr[ data]][text]\n"
    " addr = D16 offset in hex           (blank means text only)\n"
    " data = D16 data   in hex for write (blank means  VME read)\n"
    " text : any ? character or wait string means prompt\n"
    "        any \" character or blank line  means comment (line not printed)\n"
    "\n";

// The word at a D16 offset must lie inside the window.
bool insideWindow(unsigned offset) {
  return 2ull * offset + 2 <= kWindowSize;
}

// Plays the file; 0 at its end, 1 when it cannot be used or its window
// cannot be mapped.
int play(const char* program, const char* fileName) {
  std::FILE* file = playerOpen(program, fileName);
  if (file == nullptr) return 1;
  std::printf("%s", kHelp);

  bool firstLine = true;
  VmePtr window;
  char line[kLineSize];
  long lineNo = 0;
  bool nul = false;
  while (playerNextLine(file, line, nul)) {
    ++lineNo;
    if (nul) {
      playerRefuseNul(file, program, fileName, lineNo);
      return 1;
    }
    const ScriptLine scanned = parseScriptLine(line);
    const int n = scanned.fields;
    const ScriptNumber& first = scanned.number[0];
    const ScriptNumber& second = scanned.number[1];
    const unsigned offset = first.value, data = second.value;
    playerEcho(line, n);

    if (firstLine && n > 0) {
      firstLine = false;
      if (first.wide) {
        // No address to map: the file ends as with a window that cannot be
        // mapped, and no later line becomes the base.
        std::printf(" vme: line %ld: base address %.*s is wider than 32 bits, no window mapped\n",
                    lineNo, first.length, first.text);
        return 1;
      }
      window = vmeOpen(offset, VME_A24);
      if (!window) {
        std::printf("error mapping window\n");
        return 1;
      }
    } else if (n >= 1 && (first.wide || (n == 2 && second.wide))) {
      const ScriptNumber& w = first.wide ? first : second;
      std::printf(" vme: line %ld: %s %.*s is wider than 32 bits, not accessed\n", lineNo,
                  first.wide ? "offset" : "data", w.length, w.text);
    } else if ((n == 1 || n == 2) && !insideWindow(offset)) {
      std::printf(" vme: line %ld: offset %x is outside the window (0 to %x), not accessed\n",
                  lineNo, offset, kWindowSize / 2 - 1);
    } else if (n == 2 && data > 0xFFFF) {
      // A D16 write carries 16 bits: writing the low ones would not be the
      // value echoed.
      std::printf(" vme: line %ld: data %.*s is wider than 16 bits, not written\n", lineNo,
                  second.length, second.text);
    } else if (n == 1) {
      const std::uint16_t v = window.read16(2 * offset);
      std::printf(" vme: addr %4x read: %04x\n", offset, v);
    } else if (n == 2) {
      std::printf(" vme: addr %4x wrote %04x\n", offset, data);
      window.write16(2 * offset, static_cast<std::uint16_t>(data));
    }

    pauseIfAsked(line);
  }
  if (!playerFinish(file, program, fileName)) return 1;
  vmeClose();
  return 0;
}

int run(const char* program, const char* file) {
  return play(program, file != nullptr ? file : "winky.dat");
}

constexpr Profile kProfile{
    .usage = {
        .name = "vmescript",
        .operands = "[--] [FILE]",
        .text =
            "Plays a script of D16 register reads and writes against one board in A24\n"
            "space, echoing its lines.  FILE is winky.dat unless given; one that starts\n"
            "with '-' goes after --, and - alone is a file named -.\n"
            "\n"
            "The first number of the script is the board's base address; then OFFSET\n"
            "reads a D16 word and OFFSET DATA writes one (hex, offsets in D16 words).\n"
            "A line holding \" is not echoed; one holding ? or wait pauses at\n"
            "\"Press Return to continue :\".\n",
        .statuses = kStatusFiles,
    },
    .windowSize = kWindowSize,
    .body = run,
};

}  // namespace

int main(int argc, char** argv) { return runProgram(argc, argv, kProfile); }
