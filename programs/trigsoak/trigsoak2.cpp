// trigsoak2: one pass of the trigger soak at the fixed base 0xFF0000.
#include "foundation/exit_status.h"
#include "foundation/results.h"
#include "foundation/settings.h"
#include "foundation/vme_window.h"
#include "trig_soak.h"

VmeSettings vmeSettings{PromptStyle::SelfRead, SelectVariant::A24Default};
TrigSettings trigSettings{SoakLoops::Fixed, 1, true, true, "trigsoak2"};

int main() {
  if (!resultsOpen("trigsoak2")) return RUN_UNTESTED;
  const VmePtr p = vmeOpenA24(0xFF0000);
  int status = RUN_UNTESTED;
  if (!p.isNull()) {
    trigSetRegisters(p);
    status = runSoak();
  }
  vmeClose();
  return resultsFinish(status);
}
