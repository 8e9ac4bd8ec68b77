// The command line every program answers before it touches the bus: -h and
// --help print its usage on standard output, --version the suite's version,
// and any other option is refused with the usage on standard error.
#pragma once

struct ProgramUsage {
  const char* name;      // as the usage and --version show it
  const char* operands;  // after the options in the usage line, "" for none
  const char* text;      // what the program does, its questions and their defaults
  const char* statuses;  // one of the kStatus texts below
  bool asks = false;         // it asks questions at the console
  bool results = false;      // VME_RESULTS and VME_JUNIT apply
  bool deviceTable = false;  // VME_DEVICE_TABLE applies (the device lookup)
};

// Exit statuses, as the usage lists them.
extern const char kStatusVerdicts[];  // qemtest, qemttc, vmemtest
extern const char kStatusCounts[];    // the soak programs
extern const char kStatusDialogue[];  // the scope tools, the register-block loads
extern const char kStatusFiles[];     // vmescript
extern const char kStatusConsole[];   // qemseq: console and file player

// Call first in main(), before any output or bus call.  Returns -1 when the
// program goes on, and has then opened its run records and started the bus
// library from its settings; else the exit status to end with: a bad
// setting, record or bus gives one line, the records of a run that ended
// before its tests, and status 2.  A program that takes a
// file passes file: it gets the one operand (nullptr when none), which may
// follow "--" when it starts with '-'; a lone "-" is a file name.  Without
// file, an operand is refused like an unknown option.
int handleArguments(int argc, char** argv, const ProgramUsage& u, const char** file = nullptr);
