// trigprobe2: maps the board directly, probes the bus-error reporting, then
// loads the full sequence into its register block.
#include "foundation/exit_status.h"
#include "foundation/settings.h"
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

int main() { return probeMain(load); }
