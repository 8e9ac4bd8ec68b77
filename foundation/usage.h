// The command line every program answers before it touches the bus: -h and
// --help print its usage on standard output, --version the suite's version,
// and any other option is refused with the usage on standard error.
#pragma once

#include <span>

// A question of the console dialogue: the prompt the program asks, and the
// usage's note on its default.  The asking code and the usage take both from
// one constant.
struct Question {
  const char* prompt;
  const char* note;           // further lines of it after '\n'
  const char* above = nullptr;  // a line of the list above this question
};

struct ProgramUsage {
  const char* name = "";      // as the usage and --version show it
  const char* operands = "";  // after the options in the usage line, "" for none
  const char* text = "";      // what the program does
  const char* statuses = "";  // one of the kStatus texts below
  bool asks = false;         // it asks questions at the console
  bool results = false;      // VME_RESULTS and VME_JUNIT apply
  bool deviceTable = false;  // VME_DEVICE_TABLE applies (the device lookup)
  bool waves = false;        // VME_WAVES applies (the sequencer's waveforms)
  // The questions in the order asked, listed after text under their title.
  const char* questionsTitle = "Questions, in order, with their defaults:";
  std::span<const Question> questions{};
};

// Exit statuses, as the usage lists them.
extern const char kStatusVerdicts[];  // qemtest, qemttc, vmemtest
extern const char kStatusCounts[];    // the soak programs
extern const char kStatusDialogue[];  // the scope tools, the register-block loads
extern const char kStatusFiles[];     // vmescript
extern const char kStatusConsole[];   // qemseq: console and file player

// The arguments, the records and the bus, before any output or bus call, as
// runProgram takes them.  Returns -1 when the program goes on, and has then
// opened its run records and started the bus library from its settings;
// else the exit status to end with: a bad setting, record or bus gives one
// line, the records of a run that ended before its tests, and status 2.  A
// program that takes a file passes file: it gets the one operand (nullptr
// when none), which may follow "--" when it starts with '-'; a lone "-" is a
// file name.  Without file, an operand is refused like an unknown option.
int handleArguments(int argc, char** argv, const ProgramUsage& u, const char** file = nullptr);

// The two halves of handleArguments.  readArguments answers -h, --help and
// --version and refuses what it does not know; startRun checks and opens the
// run records and starts the bus for the file played (nullptr when none).
// Each returns -1 when the program goes on, else the exit status.
int readArguments(int argc, char** argv, const ProgramUsage& u, const char** file = nullptr);
int startRun(const ProgramUsage& u, const char* file);
