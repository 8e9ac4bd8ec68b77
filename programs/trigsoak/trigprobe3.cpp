// trigprobe3: as trigprobe2, with the short load sequence (the five loads
// only).
#include "foundation/exit_status.h"
#include "foundation/settings.h"
#include "trig_probe.h"

VmeSettings vmeSettings{PromptStyle::ReadLine, SelectVariant::A24Default};
ProbeSettings probeSettings{"LOBBO"};

namespace {

// The load has no verdict: it ran to its end.
int load(VmePtr base) {
  loadRegisterBlock(base, true);
  return RUN_PASSED;
}

}  // namespace

int main() { return probeMain(load); }
