// vmescope: byte offset, D16 or D32, window of 0x1000 or 0x10000 bytes in A24
// or A32 space, endless dialogue.
#include "foundation/settings.h"
#include "programs/vmescope/scope.h"

VmeSettings vmeSettings{PromptStyle::SelfRead, SelectVariant::A24Default};

const ScopeVariant scopeVariant{
    .askWindowSize = true,
    .askD32 = true,
    .wordOffset = false,
    .writeBackLoop = false,
    .exchanges = 0,
    .fixedWindow = 0,
    .offsetQuestion = "Enter       byte address offset",
};

int main() { return scopeMain(); }
