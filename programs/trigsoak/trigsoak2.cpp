// trigsoak2: one pass of the trigger soak at the fixed base 0xFF0000.
#include "foundation/run_end.h"
#include "foundation/exit_status.h"
#include "foundation/results.h"
#include "foundation/settings.h"
#include "foundation/usage.h"
#include "foundation/vme_window.h"
#include "trig_soak.h"

VmeSettings vmeSettings{PromptStyle::SelfRead, SelectVariant::A24Default};
TrigSettings trigSettings{SoakLoops::Fixed, 1, true, true, "trigsoak2"};

const ProgramUsage kUsage{
    .name = "trigsoak2",
    .operands = "",
    .text =
        "One pass of the trigger interface soak at the fixed A24 base FF0000: it\n"
        "asks nothing and writes to the board there at once, then prints the error\n"
        "counts by kind.\n",
    .statuses = kStatusCounts,
    .results = true,
};

int main(int argc, char** argv) {
  if (const int status = handleArguments(argc, argv, kUsage); status >= 0) return status;
  const VmePtr p = vmeOpenA24(0xFF0000);
  int status = RUN_UNTESTED;
  if (!p.isNull()) {
    trigSetRegisters(p);
    status = runSoak();
  }
  vmeClose();
  return finishRun(status);
}
