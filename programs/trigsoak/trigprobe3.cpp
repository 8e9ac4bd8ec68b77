// trigprobe3: as trigprobe2, with the short load sequence (the five loads
// only).
#include "foundation/settings.h"
#include "trig_probe.h"

VmeSettings vmeSettings{PromptStyle::ReadLine, SelectVariant::A24Default};
ProbeSettings probeSettings{"LOBBO"};

namespace {

void load(VmePtr base) { loadRegisterBlock(base, true); }

}  // namespace

int main() { return probeMain(load); }
