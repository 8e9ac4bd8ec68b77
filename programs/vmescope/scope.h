// The register scope tools: one register at an offset from a mapped window,
// read or written once, or accessed without end for an oscilloscope until
// Control-C.  The three programs share this code and differ only in the
// ScopeVariant of their profiles.
#pragma once

#include <array>
#include <csignal>
#include <cstddef>
#include <cstdint>

#include "buslib/vme_ptr.h"
#include "foundation/vme_window.h"

// The dialogue's questions other than the address ones and the offset.
inline constexpr Question kScopeAskWindow{"Select VME window size  MAX ? [MIN]",
                                          "N: 0x1000 bytes (Y: 0x10000)"};
inline constexpr Question kScopeAskD32{"Select  D32  mode?  [D16]", "N: D16"};
inline constexpr Question kScopeAskOption{"Select scope mode option?", "N: no loops"};
inline constexpr Question kScopeAskData{"Enter write data or CR for read",
                                        "Return reads; a number is written"};
inline constexpr Question kScopeAskLoop{"Begin  scope mode  loop?", "N (scope mode option only)"};
inline constexpr Question kScopeAskZero{"Zero register each loop?", "N (write loop)"};
inline constexpr Question kScopeAskRead{"Read register each loop?", "N (write loop)"};
inline constexpr Question kScopeAskMessage{"Error message each loop?",
                                           "N (write loop that reads)"};

// The questions of a variant in the order the dialogue asks them.
struct ScopeQuestions {
  std::array<Question, 12> list{};
  std::size_t count = 0;
  constexpr void add(Question q) { list[count++] = q; }
  constexpr std::span<const Question> span() const { return {list.data(), count}; }
};

constexpr ScopeQuestions scopeQuestions(const ScopeVariant& v, SelectVariant select) {
  ScopeQuestions q;
  if (v.askWindowSize) q.add(kScopeAskWindow);
  q.add(askModeQuestion(select));
  q.add(askBaseQuestion(select));
  if (v.askD32) q.add(kScopeAskD32);
  q.add(kScopeAskOption);
  q.add({v.offsetQuestion, "the last offset (first 0)", "then for each register:"});
  q.add(kScopeAskData);
  q.add(kScopeAskLoop);
  if (v.writeBackLoop) {
    q.add(kScopeAskRead);
    q.add(kScopeAskZero);
  } else {
    q.add(kScopeAskZero);
    q.add(kScopeAskRead);
    q.add(kScopeAskMessage);
  }
  return q;
}

inline constexpr std::uint32_t kScopeDataDefault = 0xDEFA;
inline constexpr std::uint32_t kScopeWindowMin = 0x1000;
inline constexpr std::uint32_t kScopeWindowMax = 0x10000;

// 1 while a scope loop may go on; cleared by the Control-C handler.
extern volatile std::sig_atomic_t scopeLoopActive;

// SIGINT handler, in force only while a loop runs.
extern "C" void onScopeInterrupt(int sig);

// The exchange dialogue on the window at base, of size bytes asked.  Returns
// after the last exchange of a fixed-length variant, or at end of standard
// input.
void runScope(VmePtr base, std::uint32_t size);

// The whole program (a profile's body): window questions, open, dialogue,
// close.
int scopeMain(const char* program, const char* file);
