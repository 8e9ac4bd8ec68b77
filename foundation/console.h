// Console prompts: one question at a time, the default in brackets, an empty
// answer keeps the default.  Numbers are hexadecimal unless a prefix letter
// chooses another base (H hex, I decimal, N binary, O octal).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

inline constexpr int ANSWER_OTHER = 1;
inline constexpr int ANSWER_YES = 2;
inline constexpr int ANSWER_NO = 3;

// Answer lines hold at most 127 characters and their terminating zero.
inline constexpr int kLineSize = 128;

// Called with every answer line read at a prompt (the question, the bytes
// read, the newline included) and with text null at end of input.
using AnswerHook = void (*)(const char* question, const char* text, std::size_t n);
extern AnswerHook answerHook;

// The bell: unusable input, end of input, discarded input.
void ringBell();

// Reads one answer line into out (kLineSize characters).  Returns 0 for an
// answer, 1 for an empty line and -1 at end of input; out always holds a
// string (the default for 1 and -1).  def and out may be the same buffer.
int readLine(const char* def, char* out);

// "%s [%c] : "; ANSWER_YES, ANSWER_NO, ANSWER_OTHER or -1 at end of input.
int askYesNo(const char* question, char defaultChar);
// "%s [4x%4X] : "; 0, 1 or -1; out is always written.
int askHex(const char* question, std::uint32_t def, std::uint32_t* out);
// "%s [%s] : "; what readLine returns.
int askString(const char* question, const char* def, char* out);
// askString, then the answer is turned to upper case in place.
int askUpper(const char* question, const char* def, char* out);

// The file players' pause: after a line holding '?' or "wait" (lower case,
// also inside a word), "Press Return to continue :" and one character read.
void pauseIfAsked(const char* line);

// One character of text input, where a CR right before a newline is part of
// the line end: "\r\n" comes back as '\n'.  A lone CR stays a CR.
int getLineChar(std::FILE* in);

// Reads a line as fgets does (at most kLineSize - 1 bytes, the newline kept,
// a longer line comes in pieces) with CR LF read as one '\n', and returns the
// count of bytes stored, NUL bytes included; 0 at end of input or on a read
// error before any byte.
std::size_t readTextLine(std::FILE* in, char* line);

// The number conversion of askHex: base letter, then the standard unsigned
// conversion of 32 bits.  end points where the conversion stopped, or at
// the start of the text when there was no digit.
std::uint32_t convertAnswer(const char* text, const char** end);

// What askHex makes of a typed answer: out gets the value, or def for all
// ones and overflow.  True when the bell is due: no digit, a value refused,
// or characters left behind the number.
bool convertTypedAnswer(const char* line, std::uint32_t def, std::uint32_t* out);
