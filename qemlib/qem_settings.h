// The module library's forms.
//
// Two kinds of difference between the module programs:
//  - qemseq uses older forms of several operations, with other record
//    layouts.  Those are chosen when the library is compiled: the target
//    qemlib_seq defines QEM_SEQ_FORMS, the target qemlib does not.  A program
//    links exactly one of them, and its profile's qem.seqForms names the
//    one it links (checked by the program's main).
//  - small behaviour switches that do not change any layout live in the
//    profile's qem switches (foundation/profile.h).
#pragma once

#include "foundation/profile.h"

#if defined(QEM_SEQ_FORMS)
inline constexpr bool kQemSeqForms = true;
#else
inline constexpr bool kQemSeqForms = false;
#endif
