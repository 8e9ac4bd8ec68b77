// vmescope: byte offset, D16 or D32, window of 0x1000 or 0x10000 bytes in A24
// or A32 space, endless dialogue.
#include "foundation/run_end.h"
#include "foundation/settings.h"
#include "foundation/usage.h"
#include "programs/vmescope/scope.h"

VmeSettings vmeSettings{PromptStyle::SelfRead, SelectVariant::A24Default};

const ScopeVariant scopeVariant{
    .askWindowSize = true,
    .askD32 = true,
    .wordOffset = false,
    .writeBackLoop = false,
    .exchanges = 0,
    .fixedWindow = 0,
    .offsetQuestion = "Enter       byte address offset",
};

const ProgramUsage kUsage{
    .name = "vmescope",
    .operands = "",
    .text =
        "One register at a byte offset: read or write it once, or repeat the access\n"
        "for an oscilloscope until Control-C, after which the dialogue goes on.  D16\n"
        "or D32, a 0x1000 or 0x10000-byte window, A24 by default.  The dialogue goes on\n"
        "until the end of standard input.\n"
        "\n"
        "Questions, in order, with their defaults:\n"
        "  Select VME window size  MAX ? [MIN]   N: 0x1000 bytes (Y: 0x10000)\n"
        "  Select VME A32  address mode? [A24]   N: A24 (Y: A32)\n"
        "  Enter  VME base address               F00000 (A32: D000000)\n"
        "  Select  D32  mode?  [D16]             N: D16\n"
        "  Select scope mode option?             N: no loops\n"
        "then for each register:\n"
        "  Enter       byte address offset       the last offset (first 0)\n"
        "  Enter write data or CR for read       Return reads; a number is written\n"
        "  Begin  scope mode  loop?              N (scope mode option only)\n"
        "  Zero register each loop?              N (write loop)\n"
        "  Read register each loop?              N (write loop)\n"
        "  Error message each loop?              N (write loop that reads)\n",
    .statuses = kStatusDialogue,
    .asks = true,
};

int main(int argc, char** argv) {
  if (const int status = handleArguments(argc, argv, kUsage); status >= 0) return status;
  return finishRun(scopeMain());
}
