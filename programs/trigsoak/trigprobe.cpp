// trigprobe: maps the trigger interface directly, probes the bus-error
// reporting of the bus library, then soaks the register pair 100000 times.
#include <cstdio>

#include "foundation/program.h"
#include "trig_probe.h"
#include "trig_soak.h"

namespace {

int soak(VmePtr base) {
  // The widths of the types the soak's D32, D16 and D8 accesses use.
  std::printf("long %d int %d short %d char %d bytes\n", static_cast<int>(sizeof(std::int32_t)),
              static_cast<int>(sizeof(int)), static_cast<int>(sizeof(std::int16_t)),
              static_cast<int>(sizeof(std::int8_t)));
  trigSetRegisters(base);
  return runSoak();
}

int probe(const char*, const char*) { return probeMain(soak); }

constexpr Question kQuestions[] = {kAskProbeBase};

constexpr Profile kProfile{
    .usage = {
        .name = "trigprobe",
        .text =
            "Maps the trigger interface through the bus library directly, looks up\n"
            "device \"Lobbo\", shows the bus status and the bus-error counter around a\n"
            "plain read and a guarded peek, then soaks the register pair 100000 times\n"
            "and prints the error counts by kind.\n",
        .statuses = kStatusCounts,
        .results = true,
        .deviceTable = true,
        .questionsTitle = "Question:",
        .questions = kQuestions,
    },
    .soak = {SoakLoops::Fixed, 100000, false, false},
    .probe = {.device = "Lobbo"},
    .body = probe,
};

}  // namespace

int main(int argc, char** argv) { return runProgram(argc, argv, kProfile); }
