// trigsoak2: one pass of the trigger soak at the fixed base 0xFF0000.
#include "foundation/exit_status.h"
#include "foundation/program.h"
#include "foundation/vme_window.h"
#include "trig_soak.h"

namespace {

int soak(const char*, const char*) {
  const VmePtr p = vmeOpenA24(0xFF0000);
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
        .name = "trigsoak2",
        .text =
            "One pass of the trigger interface soak at the fixed A24 base FF0000: it\n"
            "asks nothing and writes to the board there at once, then prints the error\n"
            "counts by kind.\n",
        .statuses = kStatusCounts,
        .results = true,
    },
    .prompts = PromptStyle::SelfRead,
    .soak = {SoakLoops::Fixed, 1, true, true},
    .body = soak,
};

}  // namespace

int main(int argc, char** argv) { return runProgram(argc, argv, kProfile); }
