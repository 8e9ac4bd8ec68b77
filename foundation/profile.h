// What makes one program of the suite differ from the others: its usage and
// questions, the forms of the shared code it runs, and its body.  Each
// program hands its own constant profile to runProgram; the shared code
// reads the one in force through profile().
#pragma once

#include <cstdint>

#include "foundation/usage.h"

enum class PromptStyle {
  ReadLine,       // prompts read through readLine
  ReadLineFlush,  // readLine, flushing all output streams first
  SelfRead,       // every prompt reads its own line
};

enum class SelectVariant {
  A24Default,  // "Select VME A32  address mode? [A24]"
  A32Default,  // "Select VME A24  address mode? [A32]", fixed 0x20000 window, FFFF check
};

// The module library's switches.
struct QemForms {
  // checkBCID records the BCID after every call, flags 0 included (qemttc);
  // otherwise only after calls with nonzero flags (qemtest).
  bool bcidRecordAlways = false;
  // qemRegisterDump sets the scan's pipeline to (reg_delays & 0xFF) + 29
  // before scanning (qemtest).
  bool dumpPipelineFromDelays = false;
  // The older operations and record layouts of qemseq.  They are compiled
  // in (qemlib_seq); the program's main checks this against its build.
  bool seqForms = false;
};

// How many times the trigger soak runs its script.
enum class SoakLoops {
  Fixed,  // soak.iterations
  Asked,  // "Enter number of loops ", 0 = without end
};

struct SoakForm {
  SoakLoops loops = SoakLoops::Fixed;
  std::uint32_t iterations = 1;
  bool longThird = false;      // the third number of calt/cali/trig printed as a long
  bool lowByteWrites = false;  // commands written as their low byte only
};

// The load sequence of the probe's register block.
enum class BlockLoad {
  Full,   // 38 writes
  Short,  // the five loads only: 20 writes
};

struct ProbeForm {
  const char* device = "LOBBO";  // name looked up in the device table
  BlockLoad load = BlockLoad::Full;
};

struct ScopeVariant {
  bool askWindowSize = false;      // "Select VME window size  MAX ? [MIN]"
  bool askD32 = false;             // D16 or D32 chosen by the operator; else D16 only
  bool wordOffset = false;         // the typed offset is a D16 word index, not bytes
  bool writeBackLoop = false;      // write loop stores what it reads and writes it back
  int exchanges = 0;               // 0: endless dialogue
  std::uint32_t fixedWindow = 0;   // window size of the open; 0: the size asked
  const char* offsetQuestion = "";
};

struct Profile {
  ProgramUsage usage{};
  PromptStyle prompts = PromptStyle::ReadLine;
  SelectVariant select = SelectVariant::A24Default;
  // The window of vmeOpen(address, mode) and vmeSelect().
  std::uint32_t windowSize = 0x1000;
  QemForms qem{};
  SoakForm soak{};
  ProbeForm probe{};
  ScopeVariant scope{};
  // The program after its arguments, settings and records: program is
  // argv[0], file the operand (nullptr when none).  Returns the status its
  // verdicts give.
  int (*body)(const char* program, const char* file) = nullptr;
};

// The profile in force: the running program's, else the defaults above.
const Profile& profile();
// Puts p in force; p must outlive its use.  The run frame calls it, and a
// test that wants other forms than the defaults.
void useProfile(const Profile& p);
