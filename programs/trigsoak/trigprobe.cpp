// trigprobe: maps the trigger interface directly, probes the bus-error
// reporting of the bus library, then soaks the register pair 100000 times.
#include <cstdio>

#include "foundation/run_end.h"
#include "foundation/exit_status.h"
#include "foundation/results.h"
#include "foundation/settings.h"
#include "foundation/usage.h"
#include "trig_probe.h"
#include "trig_soak.h"

VmeSettings vmeSettings{PromptStyle::ReadLine, SelectVariant::A24Default};
TrigSettings trigSettings{SoakLoops::Fixed, 100000, false, false, "trigprobe"};
ProbeSettings probeSettings{"Lobbo"};

namespace {

int soak(VmePtr base) {
  // The widths of the types the soak's D32, D16 and D8 accesses use.
  std::printf("long %d int %d short %d char %d bytes\n", static_cast<int>(sizeof(std::int32_t)),
              static_cast<int>(sizeof(int)), static_cast<int>(sizeof(std::int16_t)),
              static_cast<int>(sizeof(std::int8_t)));
  trigSetRegisters(base);
  return runSoak();
}

}  // namespace

const ProgramUsage kUsage{
    .name = "trigprobe",
    .operands = "",
    .text =
        "Maps the trigger interface through the bus library directly, looks up\n"
        "device \"Lobbo\", shows the bus status and the bus-error counter around a\n"
        "plain read and a guarded peek, then soaks the register pair 100000 times\n"
        "and prints the error counts by kind.\n"
        "\n"
        "Question:\n"
        "  Enter VME base address: 0x            hex digits, in A24; blank lines are\n"
        "                                        skipped, and an answer without digits\n"
        "                                        or the end of input keeps 180000\n",
    .statuses = kStatusCounts,
    .results = true,
    .deviceTable = true,
};

int main(int argc, char** argv) {
  if (const int status = handleArguments(argc, argv, kUsage); status >= 0) return status;
  return finishRun(probeMain(soak));
}
