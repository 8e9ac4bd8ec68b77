// trigsoak: soaks the trigger register pair at an operator's base address,
// as many times as asked (0 = until Control-C), and prints the error counts.
#include "foundation/run_end.h"
#include "foundation/console.h"
#include "foundation/exit_status.h"
#include "foundation/results.h"
#include "foundation/settings.h"
#include "foundation/usage.h"
#include "foundation/vme_window.h"
#include "trig_soak.h"

VmeSettings vmeSettings{PromptStyle::SelfRead, SelectVariant::A24Default};
TrigSettings trigSettings{SoakLoops::Asked, 0, true, true, "trigsoak"};

const ProgramUsage kUsage{
    .name = "trigsoak",
    .operands = "",
    .text =
        "Soak of the two-register trigger interface: its fixed command script as\n"
        "many times as asked (0: until Control-C), then the error counts by kind.\n"
        "Input that ends before the loop count tests nothing.\n"
        "\n"
        "Questions, in order, with their defaults:\n"
        "  Enter VME base address                FF0000, in A24\n"
        "  Enter number of loops                 0: until Control-C\n",
    .statuses = kStatusCounts,
    .asks = true,
    .results = true,
};

int main(int argc, char** argv) {
  if (const int status = handleArguments(argc, argv, kUsage); status >= 0) return status;
  std::uint32_t base = 0;
  askHex("Enter VME base address", 0xFF0000, &base);
  vmeWindowSize = 0x1000;
  const VmePtr p = vmeOpen(base, VME_A24);
  int status = RUN_UNTESTED;
  if (!p.isNull()) {
    trigSetRegisters(p);
    status = runSoak();
  }
  vmeClose();
  return finishRun(status);
}
