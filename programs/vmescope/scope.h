// The register scope tools: one register at an offset from a mapped window,
// read or written once, or accessed without end for an oscilloscope until
// Control-C.  The three programs share this code and differ only in the
// ScopeVariant each one defines.
#pragma once

#include <csignal>
#include <cstdint>

#include "buslib/vme_ptr.h"

struct ScopeVariant {
  bool askWindowSize;          // "Select VME window size  MAX ? [MIN]"
  bool askD32;                 // D16 or D32 chosen by the operator; else D16 only
  bool wordOffset;             // the typed offset is a D16 word index, not bytes
  bool writeBackLoop;          // write loop stores what it reads and writes it back
  int exchanges;               // 0: endless dialogue
  std::uint32_t fixedWindow;   // window size of the open; 0: vmeWindowSize
  const char* offsetQuestion;
};

// Each program defines its own.
extern const ScopeVariant scopeVariant;

inline constexpr std::uint32_t kScopeDataDefault = 0xDEFA;
inline constexpr std::uint32_t kScopeWindowMin = 0x1000;
inline constexpr std::uint32_t kScopeWindowMax = 0x10000;

// 1 while a scope loop may go on; cleared by the Control-C handler.
extern volatile std::sig_atomic_t scopeLoopActive;

// SIGINT handler, in force only while a loop runs.
extern "C" void onScopeInterrupt(int sig);

// The exchange dialogue on the window at base.  Returns after the last
// exchange of a fixed-length variant, or at end of standard input.
void runScope(VmePtr base);

// The whole program: window questions, open, dialogue, close.
int scopeMain();
