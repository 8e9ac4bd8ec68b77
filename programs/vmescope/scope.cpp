#include "programs/vmescope/scope.h"

#include <cstdio>

#include "foundation/console.h"
#include "foundation/exit_status.h"
#include "foundation/vme_window.h"
#include "platform/platform.h"

volatile std::sig_atomic_t scopeLoopActive = 0;

extern "C" void onScopeInterrupt(int) {
  scopeLoopActive = 0;
  static const char kText[] = "\nExit loop\n";
  // write(2) is safe in a handler; printf is not.
  (void)platform::writeAll(platform::kStdout, kText, sizeof kText - 1);
}

namespace {

// The register the dialogue works on: a pointer at its byte address and the
// width of every access to it.
struct Reg {
  VmePtr p;
  bool d32;
};

inline std::uint32_t regRead(const Reg& r) { return r.d32 ? r.p.read32() : r.p.read16(); }

inline void regWrite(const Reg& r, std::uint32_t v) {
  if (r.d32) r.p.write32(0, v);
  else r.p.write16(0, static_cast<std::uint16_t>(v));
}

void printRead(const char* label, const Reg& r, std::uint32_t v) {
  if (r.d32) std::printf("%s%08x\n", label, v);
  else std::printf("%s%04x\n", label, v);
}

bool yes(const char* question, bool& eof) {
  int a = askYesNo(question, 'N');
  if (a < 0) eof = true;
  return a == ANSWER_YES;
}

// The SIGINT handler in force before the loop (the bus library's, which
// writes out the trace, or the default).
void (*outsideLoop)(int) = SIG_DFL;

// Loop entry: the handler is in force and stdout flushed before the first
// pass, so whoever sees the line can already stop the loop.
void enterLoop() {
  std::printf("Exit loop by  Control-C\n");
  outsideLoop = std::signal(SIGINT, onScopeInterrupt);
  if (outsideLoop == SIG_ERR) {
    outsideLoop = SIG_DFL;
    std::printf("signal error\n");
  }
  scopeLoopActive = 1;
  std::fflush(stdout);
}

void leaveLoop() {
  if (std::signal(SIGINT, outsideLoop) == SIG_ERR) std::printf("signal error\n");
  std::fflush(stdout);
}

// The loops: each pass holds exactly the listed cycles and nothing else.

void readLoop(const Reg& r) {
  enterLoop();
  while (scopeLoopActive == 1) (void)regRead(r);
  leaveLoop();
}

void writeLoop(const Reg& r, std::uint32_t data, bool zero, bool readBack, bool message) {
  enterLoop();
  if (message) {  // readBack is set too
    while (scopeLoopActive == 1) {
      if (zero) regWrite(r, 0);
      regWrite(r, data);
      std::uint32_t v = regRead(r);
      if (v != data) {
        if (r.d32) std::printf("read  %08x wrote %08x\n", v, data);
        else std::printf("read  %04x wrote %04x\n", v, data);
        // Whole lines only, so the handler's line never lands inside one.
        std::fflush(stdout);
      }
    }
  } else if (zero && readBack) {
    while (scopeLoopActive == 1) {
      regWrite(r, 0);
      regWrite(r, data);
      (void)regRead(r);
    }
  } else if (zero) {
    while (scopeLoopActive == 1) {
      regWrite(r, 0);
      regWrite(r, data);
    }
  } else if (readBack) {
    while (scopeLoopActive == 1) {
      regWrite(r, data);
      (void)regRead(r);
    }
  } else {
    while (scopeLoopActive == 1) regWrite(r, data);
  }
  leaveLoop();
}

// The write loop that writes back what it read.
void writeBackLoop(const Reg& r, std::uint32_t data, bool readBack, bool zero) {
  enterLoop();
  while (scopeLoopActive == 1) {
    regWrite(r, data);
    if (readBack) data = regRead(r);
    if (zero) regWrite(r, 0);
  }
  leaveLoop();
}

// Asks the loop options of a write and runs the loop.  False at end of input.
bool writeScope(const Reg& r, std::uint32_t data) {
  bool eof = false;
  if (profile().scope.writeBackLoop) {
    bool readBack = yes(kScopeAskRead.prompt, eof);
    bool zero = !eof && yes(kScopeAskZero.prompt, eof);
    if (eof) return false;
    if (readBack) printRead("read  ", r, regRead(r));
    if (zero) regWrite(r, 0);
    writeBackLoop(r, data, readBack, zero);
    return true;
  }
  bool zero = yes(kScopeAskZero.prompt, eof);
  bool readBack = !eof && yes(kScopeAskRead.prompt, eof);
  bool message = false;
  if (readBack && !eof) {
    message = yes(kScopeAskMessage.prompt, eof);
    if (!eof) printRead("read  ", r, regRead(r));
  }
  if (eof) return false;
  writeLoop(r, data, zero, readBack, message);
  return true;
}

// The size asked for, or less when the library mapped a smaller window (a
// failed size call leaves the library's previous size in force).  When the
// range query fails too, the window is taken to be the smallest it may be:
// the size asked for or the library's default, whichever is less.
std::uint32_t windowSize(std::uint32_t asked) {
  const ScopeVariant& v = profile().scope;
  std::uint32_t size = v.fixedWindow != 0 ? v.fixedWindow : asked;
  std::uint32_t first = 0, last = 0;
  if (GetVXIwindowRange(vmeWindow, &first, &last) != 0 || last < first)
    return size < VXI_DEFAULT_WINDOW_SIZE ? size : VXI_DEFAULT_WINDOW_SIZE;
  if (last - first < size) size = last - first + 1;
  return size;
}

}  // namespace

void runScope(VmePtr base, std::uint32_t size) {
  const ScopeVariant& v = profile().scope;
  bool d32 = false;
  bool eof = false;
  if (v.askD32) {
    d32 = yes(kScopeAskD32.prompt, eof);
    if (d32) {
      if (sizeof(std::uint32_t) != 4)
        std::printf("ERROR: D32 is %d bytes\n", static_cast<int>(sizeof(std::uint32_t)));
    } else if (sizeof(std::uint16_t) != 2) {
      std::printf("ERROR: D16 is %d bytes\n", static_cast<int>(sizeof(std::uint16_t)));
    }
  }
  const std::uint32_t unit = d32 ? 4 : 2;
  const bool scopeOption = !eof && yes(kScopeAskOption.prompt, eof);
  if (eof) return;

  const std::uint32_t window = windowSize(size);
  const std::uint32_t lastOffset = v.wordOffset ? window / 2 - 1 : window - 1;
  std::uint32_t previous = 0;
  for (int exchange = 0; v.exchanges == 0 || exchange < v.exchanges;) {
    std::uint32_t offset = 0;
    std::fflush(stdout);  // the operator sees the results before the question
    if (askHex(v.offsetQuestion, previous, &offset) < 0) return;
    const std::uint64_t index = v.wordOffset ? offset : offset / unit;
    if ((index + 1) * unit > window) {
      std::printf("offset 0x%x is outside the window (offsets 0 to 0x%x), not accessed\n", offset,
                  lastOffset);
      continue;
    }
    ++exchange;
    std::uint32_t data = 0;
    const int how = askHex(kScopeAskData.prompt, kScopeDataDefault, &data);
    if (how < 0) return;  // never write what nobody typed
    std::printf("offset 0x%x data 0x%x\n", offset, data);
    previous = offset;
    const Reg r{base + static_cast<std::uint32_t>(index * unit), d32};

    if (how == 1) {
      std::printf("reading...\n");
      printRead("read ", r, regRead(r));
      if (scopeOption) {
        if (yes(kScopeAskLoop.prompt, eof)) readLoop(r);
        if (eof) return;
      }
    } else {
      if (d32) std::printf("write %08x writing...\n", data);
      else std::printf("write %04x writing...\n", data);
      regWrite(r, data);
      if (scopeOption) {
        if (yes(kScopeAskLoop.prompt, eof) && !writeScope(r, data)) return;
        if (eof) return;
      }
    }
  }
}

int scopeMain(const char*, const char*) {
  std::uint32_t size = profile().windowSize;
  if (profile().scope.askWindowSize) {
    size = kScopeWindowMin;
    if (askYesNo(kScopeAskWindow.prompt, 'N') == ANSWER_YES) size = kScopeWindowMax;
  }
  VmePtr base = vmeSelect(size);
  if (base.isNull()) std::printf("Error opening VME window\n");
  else runScope(base, size);
  vmeClose();
  // The dialogue has no verdicts: it ran to its end, or nothing was reached.
  return base.isNull() ? RUN_UNTESTED : RUN_PASSED;
}
