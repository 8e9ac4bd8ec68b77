// vmescope16: D16 word offset, D16 only, 0x20000 window with A32 by default;
// the write loop can write back what it reads.  Ends after 9999 exchanges.
#include "foundation/settings.h"
#include "programs/vmescope/scope.h"

VmeSettings vmeSettings{PromptStyle::SelfRead, SelectVariant::A32Default};

const ScopeVariant scopeVariant{
    .askWindowSize = false,
    .askD32 = false,
    .wordOffset = true,
    .writeBackLoop = true,
    .exchanges = 9999,
    .fixedWindow = 0x20000,
    .offsetQuestion = "Enter  D16  word address offset",
};

int main() { return scopeMain(); }
