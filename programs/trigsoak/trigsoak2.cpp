// trigsoak2: one pass of the trigger soak at the fixed base 0xFF0000.
#include "foundation/settings.h"
#include "foundation/vme_window.h"
#include "trig_soak.h"

VmeSettings vmeSettings{PromptStyle::SelfRead, SelectVariant::A24Default};
TrigSettings trigSettings{SoakLoops::Fixed, 1, true, true};

int main() {
  const VmePtr p = vmeOpenA24(0xFF0000);
  if (!p.isNull()) {
    trigSetRegisters(p);
    runSoak();
  }
  vmeClose();
  return p.isNull() ? 1 : 0;
}
