// vmescopeb: byte offset, D16 only, 0x20000 window with A32 by default, and
// the error-message option of the write loop.  Ends after 9999 exchanges.
#include "foundation/program.h"
#include "programs/vmescope/scope.h"

namespace {

constexpr ScopeVariant kVariant{
    .askWindowSize = false,
    .askD32 = false,
    .wordOffset = false,
    .writeBackLoop = false,
    .exchanges = 9999,
    .fixedWindow = 0x20000,
    .offsetQuestion = "Enter       byte address offset",
};
constexpr ScopeQuestions kQuestions = scopeQuestions(kVariant, SelectVariant::A32Default);

constexpr Profile kProfile{
    .usage = {
        .name = "vmescopeb",
        .text =
            "One register at a byte offset in a 0x20000-byte window, D16 only, A32 by\n"
            "default: read or write it once, or repeat the access for an oscilloscope\n"
            "until Control-C.  Ends after 9999 exchanges (offset and data questions,\n"
            "not loop cycles) or at the end of standard input.\n",
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
