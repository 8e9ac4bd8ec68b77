// trigsoak: soaks the trigger register pair at an operator's base address,
// as many times as asked (0 = until Control-C), and prints the error counts.
#include "foundation/console.h"
#include "foundation/exit_status.h"
#include "foundation/results.h"
#include "foundation/settings.h"
#include "foundation/vme_window.h"
#include "trig_soak.h"

VmeSettings vmeSettings{PromptStyle::SelfRead, SelectVariant::A24Default};
TrigSettings trigSettings{SoakLoops::Asked, 0, true, true, "trigsoak"};

int main() {
  std::uint32_t base = 0;
  if (!resultsOpen("trigsoak")) return RUN_UNTESTED;
  askHex("Enter VME base address", 0xFF0000, &base);
  vmeWindowSize = 0x1000;
  const VmePtr p = vmeOpen(base, VME_A24);
  int status = RUN_UNTESTED;
  if (!p.isNull()) {
    trigSetRegisters(p);
    status = runSoak();
  }
  vmeClose();
  return resultsFinish(status);
}
