// qemttc: the TTC path test of the QEM module.  Maps the TTCvi, the module's
// registers and the sequencer RAM, then runs the REG, TTC, SER and I2C tests.
#include <cstdint>

#include "foundation/console.h"
#include "foundation/exit_status.h"
#include "foundation/program.h"
#include "foundation/verdicts.h"
#include "foundation/vme_window.h"
#include "qemlib/qem_harness.h"
#include "qemlib/qem_settings.h"
#include "ttc_tests.h"

namespace {

constexpr Question kAskTtcvi{kAskBasePrompt, "BAD000: the TTCvi, in A24"};
constexpr Question kQuestions[] = {
    kAskTtcvi,
    {kAskModePrompt[0], "N: A24 (Y: A32), the module"},
    {kAskBasePrompt, "F00000 (A32: D000000), the module"},
    kAskTtcDebugLevel,
    kAskTtcLoops,
};

int run(const char*, const char*) {
  std::uint32_t address = TTCVI_DEFAULT_BASE;
  askHex(kAskTtcvi.prompt, TTCVI_DEFAULT_BASE, &address);
  const VmePtr ttcviWindow = vmeOpen(TTCVI_WINDOW, address, VME_A24);
  const VmePtr module = vmeSelect(QEM_TTC_WINDOW);
  const VmePtr ram = vmeOpen(QEM_TTC_RAM_WINDOW, QEM_TTC_RAM_BASE, VME_A24);
  // A run whose windows could not all be mapped tested nothing.
  (void)qemttcRun(ttcviWindow, module, ram);
  const int status = endVerdictRun("qemttc");
  vmeClose();
  return status;
}

constexpr Profile kProfile{
    .usage = {
        .name = "qemttc",
        .text =
            "The QEM module's TTC-path test through the TTCvi board: maps the TTCvi, the\n"
            "module's registers and its sequencer RAM (A24 F08000, fixed), then runs the\n"
            "REG, TTC, SER and I2C tests, one verdict line each.  With standard input at\n"
            "its end every question keeps its default.\n",
        .statuses = kStatusVerdicts,
        .asks = true,
        .results = true,
        .waves = true,
        .questions = kQuestions,
    },
    .prompts = PromptStyle::ReadLineFlush,
    .select = SelectVariant::A24Default,
    .qem = {.bcidRecordAlways = true, .dumpPipelineFromDelays = false},
    .body = run,
};
static_assert(kProfile.qem.seqForms == kQemSeqForms, "qemttc links qemlib");

}  // namespace

int main(int argc, char** argv) { return runProgram(argc, argv, kProfile); }
