// Per-program settings of the module library.
//
// Two kinds of difference between the module programs:
//  - qemseq uses older forms of several operations, with other record
//    layouts.  Those are chosen when the library is compiled: the target
//    qemlib_seq defines QEM_SEQ_FORMS, the target qemlib does not.  A program
//    links exactly one of them.
//  - small behaviour switches that do not change any layout live in
//    qemSettings, defined once by every program at namespace scope.
#pragma once

#if defined(QEM_SEQ_FORMS)
inline constexpr bool kQemSeqForms = true;
#else
inline constexpr bool kQemSeqForms = false;
#endif

struct QemSettings {
  // checkBCID records the BCID after every call, flags 0 included (qemttc);
  // otherwise only after calls with nonzero flags (qemtest).
  bool bcidRecordAlways = false;
  // qemRegisterDump sets the scan's pipeline to (reg_delays & 0xFF) + 29
  // before scanning (qemtest).
  bool dumpPipelineFromDelays = false;
};

extern QemSettings qemSettings;
