// vmescopeb: byte offset, D16 only, 0x20000 window with A32 by default, and
// the error-message option of the write loop.  Ends after 9999 exchanges.
#include "foundation/settings.h"
#include "programs/vmescope/scope.h"

VmeSettings vmeSettings{PromptStyle::SelfRead, SelectVariant::A32Default};

const ScopeVariant scopeVariant{
    .askWindowSize = false,
    .askD32 = false,
    .wordOffset = false,
    .writeBackLoop = false,
    .exchanges = 9999,
    .fixedWindow = 0x20000,
    .offsetQuestion = "Enter       byte address offset",
};

int main() { return scopeMain(); }
