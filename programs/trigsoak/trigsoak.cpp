// trigsoak: soaks the trigger register pair at an operator's base address,
// as many times as asked (0 = until Control-C), and prints the error counts.
#include "foundation/console.h"
#include "foundation/settings.h"
#include "foundation/vme_window.h"
#include "trig_soak.h"

VmeSettings vmeSettings{PromptStyle::SelfRead, SelectVariant::A24Default};
TrigSettings trigSettings{SoakLoops::Asked, 0, true, true};

int main() {
  std::uint32_t base = 0;
  askHex("Enter VME base address", 0xFF0000, &base);
  vmeWindowSize = 0x1000;
  const VmePtr p = vmeOpen(base, VME_A24);
  if (!p.isNull()) {
    trigSetRegisters(p);
    runSoak();
  }
  vmeClose();
  return p.isNull() ? 1 : 0;
}
