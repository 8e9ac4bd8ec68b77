// trigprobe2: maps the board directly, probes the bus-error reporting, then
// loads the full sequence into its register block.
#include "foundation/program.h"
#include "trig_probe.h"

namespace {

constexpr Question kQuestions[] = {kAskProbeBase};

constexpr Profile kProfile{
    .usage = {
        .name = "trigprobe2",
        .text =
            "The start-up of trigprobe with device \"LOBBO\", then a fixed load sequence\n"
            "of 38 writes into the six-register block.\n",
        .statuses = kStatusDialogue,
        .deviceTable = true,
        .questionsTitle = "Question:",
        .questions = kQuestions,
    },
    .probe = {.device = "LOBBO", .load = BlockLoad::Full},
    .body = probeLoadBody,
};

}  // namespace

int main(int argc, char** argv) { return runProgram(argc, argv, kProfile); }
