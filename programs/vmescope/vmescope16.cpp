// vmescope16: D16 word offset, D16 only, 0x20000 window with A32 by default;
// the write loop can write back what it reads.  Ends after 9999 exchanges.
#include "foundation/program.h"
#include "programs/vmescope/scope.h"

namespace {

constexpr ScopeVariant kVariant{
    .askWindowSize = false,
    .askD32 = false,
    .wordOffset = true,
    .writeBackLoop = true,
    .exchanges = 9999,
    .fixedWindow = 0x20000,
    .offsetQuestion = "Enter  D16  word address offset",
};
constexpr ScopeQuestions kQuestions = scopeQuestions(kVariant, SelectVariant::A32Default);

constexpr Profile kProfile{
    .usage = {
        .name = "vmescope16",
        .text =
            "One register at a D16 word offset in a 0x20000-byte window, A32 by default:\n"
            "read or write it once, or repeat the access for an oscilloscope until\n"
            "Control-C.  The write loop writes back what it read.  Ends after 9999\n"
            "exchanges (offset and data questions, not loop cycles) or at the end of\n"
            "standard input.\n",
        .statuses = kStatusDialogue,
        .asks = true,
        .questions = kQuestions.span(),
    },
    .prompts = PromptStyle::SelfRead,
    .select = SelectVariant::A32Default,
    .scope = kVariant,
    .body = scopeMain,
};

}  // namespace

int main(int argc, char** argv) { return runProgram(argc, argv, kProfile); }
