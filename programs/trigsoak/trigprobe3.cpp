// trigprobe3: as trigprobe2, with the short load sequence (the five loads
// only).
#include "foundation/program.h"
#include "trig_probe.h"

namespace {

constexpr Question kQuestions[] = {kAskProbeBase};

constexpr Profile kProfile{
    .usage = {
        .name = "trigprobe3",
        .text =
            "The start-up of trigprobe with device \"LOBBO\", then the short load\n"
            "sequence: 20 writes into the six-register block.\n",
        .statuses = kStatusDialogue,
        .deviceTable = true,
        .questionsTitle = "Question:",
        .questions = kQuestions,
    },
    .probe = {.device = "LOBBO", .load = BlockLoad::Short},
    .body = probeLoadBody,
};

}  // namespace

int main(int argc, char** argv) { return runProgram(argc, argv, kProfile); }
