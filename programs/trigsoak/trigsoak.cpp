// trigsoak: soaks the trigger register pair at an operator's base address,
// as many times as asked (0 = until Control-C), and prints the error counts.
#include "foundation/console.h"
#include "foundation/exit_status.h"
#include "foundation/program.h"
#include "foundation/vme_window.h"
#include "trig_soak.h"

namespace {

constexpr Question kAskBase{"Enter VME base address", "FF0000, in A24"};
constexpr Question kQuestions[] = {kAskBase, kAskSoakLoops};

int soak(const char*, const char*) {
  std::uint32_t base = 0;
  askHex(kAskBase.prompt, 0xFF0000, &base);
  const VmePtr p = vmeOpen(base, VME_A24);
  int status = RUN_UNTESTED;
  if (!p.isNull()) {
    trigSetRegisters(p);
    status = runSoak();
  }
  vmeClose();
  return status;
}

constexpr Profile kProfile{
    .usage = {
        .name = "trigsoak",
        .text =
            "Soak of the two-register trigger interface: its fixed command script as\n"
            "many times as asked (0: until Control-C), then the error counts by kind.\n"
            "Input that ends before the loop count tests nothing.\n",
        .statuses = kStatusCounts,
        .asks = true,
        .results = true,
        .questions = kQuestions,
    },
    .prompts = PromptStyle::SelfRead,
    .windowSize = 0x1000,
    .soak = {SoakLoops::Asked, 0, true, true},
    .body = soak,
};

}  // namespace

int main(int argc, char** argv) { return runProgram(argc, argv, kProfile); }
