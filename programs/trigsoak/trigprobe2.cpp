// trigprobe2: maps the board directly, probes the bus-error reporting, then
// loads the full sequence into its register block.
#include "foundation/run_end.h"
#include "foundation/exit_status.h"
#include "foundation/settings.h"
#include "foundation/usage.h"
#include "trig_probe.h"

VmeSettings vmeSettings{PromptStyle::ReadLine, SelectVariant::A24Default};
ProbeSettings probeSettings{"LOBBO"};

namespace {

// The load has no verdict: it ran to its end.
int load(VmePtr base) {
  loadRegisterBlock(base, false);
  return RUN_PASSED;
}

}  // namespace

const ProgramUsage kUsage{
    .name = "trigprobe2",
    .operands = "",
    .text =
        "The start-up of trigprobe with device \"LOBBO\", then a fixed load sequence\n"
        "of 38 writes into the six-register block.\n"
        "\n"
        "Question:\n"
        "  Enter VME base address: 0x            hex digits, in A24; blank lines are\n"
        "                                        skipped, and an answer without digits\n"
        "                                        or the end of input keeps 180000\n",
    .statuses = kStatusDialogue,
    .deviceTable = true,
};

int main(int argc, char** argv) {
  if (const int status = handleArguments(argc, argv, kUsage); status >= 0) return status;
  return finishRun(probeMain(load));
}
