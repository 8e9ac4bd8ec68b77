// trigprobe2: maps the board directly, probes the bus-error reporting, then
// loads the full sequence into its register block.
#include "foundation/settings.h"
#include "trig_probe.h"

VmeSettings vmeSettings{PromptStyle::ReadLine, SelectVariant::A24Default};
ProbeSettings probeSettings{"LOBBO"};

namespace {

void load(VmePtr base) { loadRegisterBlock(base, false); }

}  // namespace

int main() { return probeMain(load); }
