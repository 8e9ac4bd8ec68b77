// vmescope: byte offset, D16 or D32, window of 0x1000 or 0x10000 bytes in A24
// or A32 space, endless dialogue.
#include "foundation/program.h"
#include "programs/vmescope/scope.h"

namespace {

constexpr ScopeVariant kVariant{
    .askWindowSize = true,
    .askD32 = true,
    .wordOffset = false,
    .writeBackLoop = false,
    .exchanges = 0,
    .fixedWindow = 0,
    .offsetQuestion = "Enter       byte address offset",
};
constexpr ScopeQuestions kQuestions = scopeQuestions(kVariant, SelectVariant::A24Default);

constexpr Profile kProfile{
    .usage = {
        .name = "vmescope",
        .text =
            "One register at a byte offset: read or write it once, or repeat the access\n"
            "for an oscilloscope until Control-C, after which the dialogue goes on.  D16\n"
            "or D32, a 0x1000 or 0x10000-byte window, A24 by default.  The dialogue goes on\n"
            "until the end of standard input.\n",
        .statuses = kStatusDialogue,
        .asks = true,
        .questions = kQuestions.span(),
    },
    .prompts = PromptStyle::SelfRead,
    .select = SelectVariant::A24Default,
    .scope = kVariant,
    .body = scopeMain,
};

}  // namespace

int main(int argc, char** argv) { return runProgram(argc, argv, kProfile); }
