// qemttc: the TTC path test of the QEM module.  Maps the TTCvi, the module's
// registers and the sequencer RAM, then runs the REG, TTC, SER and I2C tests.
#include <cstdint>

#include "foundation/console.h"
#include "foundation/exit_status.h"
#include "foundation/results.h"
#include "foundation/settings.h"
#include "foundation/verdicts.h"
#include "foundation/vme_window.h"
#include "qemlib/qem_harness.h"
#include "qemlib/qem_settings.h"
#include "ttc_tests.h"

VmeSettings vmeSettings{PromptStyle::ReadLineFlush, SelectVariant::A24Default};
QemSettings qemSettings{.bcidRecordAlways = true, .dumpPipelineFromDelays = false};

int main() {
  std::uint32_t address = TTCVI_DEFAULT_BASE;
  if (!resultsOpen("qemttc")) return RUN_UNTESTED;
  askHex("Enter  VME base address", TTCVI_DEFAULT_BASE, &address);
  const VmePtr ttcviWindow = vmeOpen(TTCVI_WINDOW, address, VME_A24);
  const VmePtr module = vmeSelect(QEM_TTC_WINDOW);
  const VmePtr ram = vmeOpen(QEM_TTC_RAM_WINDOW, QEM_TTC_RAM_BASE, VME_A24);
  // A run whose windows could not all be mapped tested nothing.
  (void)qemttcRun(ttcviWindow, module, ram);
  const int status = printVerdictSummary("qemttc");
  vmeClose();
  return resultsFinish(status);
}
