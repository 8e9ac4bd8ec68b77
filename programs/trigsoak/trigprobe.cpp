// trigprobe: maps the trigger interface directly, probes the bus-error
// reporting of the bus library, then soaks the register pair 100000 times.
#include <cstdio>

#include "foundation/exit_status.h"
#include "foundation/results.h"
#include "foundation/settings.h"
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

int main() {
  if (!resultsOpen("trigprobe")) return RUN_UNTESTED;
  return resultsFinish(probeMain(soak));
}
