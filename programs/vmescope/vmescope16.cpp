// vmescope16: D16 word offset, D16 only, 0x20000 window with A32 by default;
// the write loop can write back what it reads.  Ends after 9999 exchanges.
#include "foundation/run_end.h"
#include "foundation/settings.h"
#include "foundation/usage.h"
#include "programs/vmescope/scope.h"

VmeSettings vmeSettings{PromptStyle::SelfRead, SelectVariant::A32Default};

const ScopeVariant scopeVariant{
    .askWindowSize = false,
    .askD32 = false,
    .wordOffset = true,
    .writeBackLoop = true,
    .exchanges = 9999,
    .fixedWindow = 0x20000,
    .offsetQuestion = "Enter  D16  word address offset",
};

const ProgramUsage kUsage{
    .name = "vmescope16",
    .operands = "",
    .text =
        "One register at a D16 word offset in a 0x20000-byte window, A32 by default:\n"
        "read or write it once, or repeat the access for an oscilloscope until\n"
        "Control-C.  The write loop writes back what it read.  Ends after 9999\n"
        "exchanges (offset and data questions, not loop cycles) or at the end of\n"
        "standard input.\n"
        "\n"
        "Questions, in order, with their defaults:\n"
        "  Select VME A24  address mode? [A32]   N: A32 (Y: A24)\n"
        "  Enter  VME base address               D000000 (A24: F00000)\n"
        "  Select scope mode option?             N: no loops\n"
        "then for each register:\n"
        "  Enter  D16  word address offset       the last offset (first 0)\n"
        "  Enter write data or CR for read       Return reads; a number is written\n"
        "  Begin  scope mode  loop?              N (scope mode option only)\n"
        "  Read register each loop?              N (write loop)\n"
        "  Zero register each loop?              N (write loop)\n",
    .statuses = kStatusDialogue,
    .asks = true,
};

int main(int argc, char** argv) {
  if (const int status = handleArguments(argc, argv, kUsage); status >= 0) return status;
  return finishRun(scopeMain());
}
