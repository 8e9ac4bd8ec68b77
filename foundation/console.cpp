#include "foundation/console.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "buslib/bus_trace.h"
#include "foundation/profile.h"
#include "platform/platform.h"

namespace {

// The question being asked, for the answer hook.
const char* asking = "";

void noteAnswer(const char* line, std::size_t n) {
  if (answerHook != nullptr) answerHook(asking, n > 0 ? line : nullptr, n);
  asking = "";
}

// Throws away what the operator typed ahead.  Only a terminal has pending
// input in that sense; scripted input on a pipe is the answers themselves.
bool discardTypeAhead() {
  if (!platform::stdinIsTerminal()) return true;
  return platform::discardTerminalInput();
}

// Whoever watches the trace while the program waits at the console sees
// every cycle made so far.
void beforeConsoleWait() { (void)vmebus::flushTrace(); }

// Throws away the rest of an over-long line.
void discardRestOfLine() {
  int c;
  do c = std::getchar();
  while (c != '\n' && c != EOF);
}

// After a full buffer: one more character decides whether the line ended
// there.  Anything but the line end means input thrown away.
void checkOverLong() {
  const int c = getLineChar(stdin);
  if (c != '\n' && c != EOF) {
    discardRestOfLine();
    ringBell();
  }
}

// A NUL byte ends the answer as a string: what follows it is thrown away.
void bellIfNul(const char* line, std::size_t n) {
  if (std::memchr(line, '\0', n) != nullptr) ringBell();
}

void copyText(char* out, const char* text) {
  std::size_t n = std::strlen(text);
  if (n > kLineSize - 1) n = kLineSize - 1;
  std::memmove(out, text, n);
  out[n] = '\0';
}

// The self-reading prompts discard type-ahead before the question is shown.
void discardBeforeQuestion() {
  if (!discardTypeAhead()) ringBell();
}

// Reads a line for the self-reading prompts: the newline stays in the line,
// the rest of an over-long line is thrown away.  False at end of input.
// The question is flushed first, so that it shows also when the output goes
// to a pipe (a log through tee, a scripted session).
bool fetchSelfRead(char* line) {
  std::fflush(stdout);
  beforeConsoleWait();
  const std::size_t n = readTextLine(stdin, line);
  noteAnswer(line, n);
  if (n == 0) {
    ringBell();
    return false;
  }
  if (n == kLineSize - 1 && line[n - 1] != '\n') checkOverLong();
  bellIfNul(line, n);
  return true;
}

bool selfRead() { return profile().prompts == PromptStyle::SelfRead; }

int digitValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

void storeNumber(const char* line, std::uint32_t def, std::uint32_t* out) {
  if (convertTypedAnswer(line, def, out)) ringBell();
}

}  // namespace

void ringBell() { std::putchar('\a'); }

int getLineChar(std::FILE* in) {
  int c = std::getc(in);
  if (c == '\r') {
    const int next = std::getc(in);
    if (next == '\n') return '\n';
    if (next != EOF) std::ungetc(next, in);
  }
  return c;
}

std::size_t readTextLine(std::FILE* in, char* line) {
  std::size_t n = 0;
  while (n < kLineSize - 1) {
    const int c = getLineChar(in);
    if (c == EOF) break;
    line[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  line[n] = '\0';
  return n;
}

bool convertTypedAnswer(const char* line, std::uint32_t def, std::uint32_t* out) {
  const char* end = nullptr;
  const std::uint32_t v = convertAnswer(line, &end);
  bool bell = false;
  if (v == 0xFFFFFFFFu) {
    *out = def;
    bell = true;
  } else {
    *out = v;
  }
  // No digit leaves end at the start of the answer.
  if (end == line || (*end != '\0' && *end != '\n')) bell = true;
  return bell;
}

std::uint32_t convertAnswer(const char* text, const char** end) {
  const char* const start = text;
  unsigned base = 16;
  switch (*text) {
    case 'H': case 'h': base = 16; ++text; break;
    case 'I': case 'i': base = 10; ++text; break;
    case 'N': case 'n': base = 2; ++text; break;
    case 'O': case 'o': base = 8; ++text; break;
    default: break;
  }
  const char* p = text;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  if (base == 16 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
      digitValue(static_cast<unsigned char>(p[2])) < 16)
    p += 2;
  std::uint64_t value = 0;
  bool overflow = false, digits = false;
  while (digitValue(static_cast<unsigned char>(*p)) < static_cast<int>(base)) {
    value = value * base + static_cast<unsigned>(digitValue(static_cast<unsigned char>(*p)));
    if (value > 0xFFFFFFFFull) {
      overflow = true;
      value = 0xFFFFFFFFull;
    }
    digits = true;
    ++p;
  }
  if (!digits) {
    *end = start;
    return 0;
  }
  *end = p;
  if (overflow) return 0xFFFFFFFFu;
  auto v = static_cast<std::uint32_t>(value);
  return negative ? static_cast<std::uint32_t>(0u - v) : v;
}

int readLine(const char* def, char* out) {
  if (profile().prompts == PromptStyle::ReadLineFlush) std::fflush(nullptr);
  if (!discardTypeAhead()) ringBell();
  beforeConsoleWait();
  char line[kLineSize];
  const std::size_t n = readTextLine(stdin, line);
  noteAnswer(line, n);
  if (n == 0) {
    ringBell();
    copyText(out, def);
    return -1;
  }
  if (line[0] == '\n') {
    copyText(out, def);
    return 1;
  }
  const bool nul = std::memchr(line, '\0', n) != nullptr;
  if (line[n - 1] == '\n') {
    line[n - 1] = '\0';
  } else if (n == kLineSize - 1) {
    std::printf("no end\n");
    checkOverLong();
  }
  if (nul) ringBell();
  copyText(out, line);
  return 0;
}

int askYesNo(const char* question, char defaultChar) {
  asking = question;
  char line[kLineSize];
  if (selfRead()) {
    discardBeforeQuestion();
    std::printf("%s [%c] : ", question, defaultChar);
    if (!fetchSelfRead(line)) return -1;
  } else {
    std::printf("%s [%c] : ", question, defaultChar);
    int r = readLine("", line);
    if (r != 0) return r;
  }
  switch (line[0]) {
    case 'Y': case 'y': return ANSWER_YES;
    case 'N': case 'n': return ANSWER_NO;
    default: return ANSWER_OTHER;
  }
}

int askHex(const char* question, std::uint32_t def, std::uint32_t* out) {
  asking = question;
  char line[kLineSize];
  if (selfRead()) {
    discardBeforeQuestion();
    std::printf("%s [4x%4X] : ", question, def);
    if (!fetchSelfRead(line)) {
      *out = def;
      return -1;
    }
    if (line[0] == '\n') {
      *out = def;
      return 1;
    }
  } else {
    std::printf("%s [4x%4X] : ", question, def);
    int r = readLine("", line);
    if (r != 0) {
      *out = def;
      return r;
    }
  }
  storeNumber(line, def, out);
  return 0;
}

void pauseIfAsked(const char* line) {
  if (std::strstr(line, "wait") == nullptr && std::strchr(line, '?') == nullptr) return;
  std::printf("Press Return to continue :");
  std::fflush(stdout);
  beforeConsoleWait();
  getLineChar(stdin);
  std::printf("\n");
}

int askString(const char* question, const char* def, char* out) {
  std::printf("%s [%s] : ", question, def);
  asking = question;
  return readLine(def, out);
}

int askUpper(const char* question, const char* def, char* out) {
  int r = askString(question, def, out);
  for (char* p = out; *p != '\0'; ++p)
    *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  return r;
}
