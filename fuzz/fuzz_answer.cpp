// The prompt answer conversion against a reference of its rules written
// here from the rules alone, then whole answers through both prompt styles
// read from the input as from the console.
#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/console.h"
#include "foundation/profile.h"

namespace {

struct Expected {
  std::uint32_t value;
  bool bell;
};

// The rules: a base letter (H 16, I 10, N 2, O 8) is skipped, else base 16;
// then the standard unsigned conversion of 32 bits (blanks, a sign, "0x" in
// base 16, digits up to the first non-digit); no digit gives 0.  All ones
// or overflow store the default; the bell rings for those, for no digit and
// for anything left behind the number but the newline.
Expected reference(const std::string& answer, std::uint32_t def) {
  int base = 16;
  std::size_t i = 0;
  if (!answer.empty()) {
    switch (std::toupper(static_cast<unsigned char>(answer[0]))) {
      case 'H': base = 16; i = 1; break;
      case 'I': base = 10; i = 1; break;
      case 'N': base = 2; i = 1; break;
      case 'O': base = 8; i = 1; break;
      default: break;
    }
  }
  std::string rest = answer.substr(i);
  std::size_t j = 0;
  while (j < rest.size() && std::isspace(static_cast<unsigned char>(rest[j]))) ++j;
  bool negative = false;
  if (j < rest.size() && (rest[j] == '+' || rest[j] == '-')) negative = rest[j++] == '-';
  auto isDigit = [&](char c) {
    if (std::isdigit(static_cast<unsigned char>(c))) return c - '0' < base;
    if (std::isalpha(static_cast<unsigned char>(c)))
      return std::toupper(static_cast<unsigned char>(c)) - 'A' + 10 < base;
    return false;
  };
  if (j >= rest.size() || !isDigit(rest[j])) return {0, true};
  // strtoull does the digits (and the "0x" of base 16) by the library's rules.
  const char* digits = rest.c_str() + j;
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(digits, &end, base);
  const bool overflow = errno == ERANGE || v > 0xFFFFFFFFull;
  std::uint32_t value = static_cast<std::uint32_t>(v);
  if (negative) value = 0u - value;
  Expected e{value, false};
  if (overflow || value == 0xFFFFFFFFu) e = {def, true};
  if (*end != '\0' && *end != '\n') e.bell = true;
  return e;
}

// The first answer line of the console input as the prompts see it: up to
// the newline (CR LF is one), at most 127 characters, cut at a NUL.
std::string firstAnswer(const std::string& input, bool& whole) {
  std::string line;
  std::size_t i = 0;
  for (; i < input.size() && line.size() < kLineSize - 1; ++i) {
    char c = input[i];
    if (c == '\r' && i + 1 < input.size() && input[i + 1] == '\n') c = input[++i];
    if (c == '\n') break;
    line += c;
  }
  whole = line.size() < kLineSize - 1 && line.find('\0') == std::string::npos;
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  std::uint32_t def = 0;
  std::memcpy(&def, data, 4);
  const std::string input(reinterpret_cast<const char*>(data) + 4, size - 4);

  // The conversion alone, on the text up to the first NUL.
  const std::string text = input.substr(0, input.find('\0'));
  std::uint32_t got = 0;
  const bool bell = convertTypedAnswer(text.c_str(), def, &got);
  const Expected want = reference(text, def);
  if (got != want.value || bell != want.bell) __builtin_trap();

  // A whole answer read from the console in each prompt style.
  bool whole = false;
  const std::string answer = firstAnswer(input, whole);
  for (PromptStyle style : {PromptStyle::ReadLine, PromptStyle::SelfRead}) {
    const Profile styled{.prompts = style};
    useProfile(styled);
    std::FILE* in = fmemopen(const_cast<char*>(input.data()), input.size(), "r");
    if (in == nullptr) return 0;
    char* printed = nullptr;
    std::size_t printedSize = 0;
    std::FILE* out = open_memstream(&printed, &printedSize);
    std::FILE* oldIn = stdin;
    std::FILE* oldOut = stdout;
    stdin = in;
    stdout = out;
    std::uint32_t value = 0;
    const int r = askHex("Q", def, &value);
    std::fflush(out);
    stdin = oldIn;
    stdout = oldOut;
    const std::string shown(printed, printedSize);
    std::fclose(out);
    std::free(printed);
    std::fclose(in);
    if (input.empty()) {
      if (r != -1 || value != def) __builtin_trap();
    } else if (answer.empty() && whole) {
      if (r != 1 || value != def) __builtin_trap();
    } else if (whole) {
      const Expected e = reference(answer, def);
      const bool rang = shown.find('\a') != std::string::npos;
      if (r != 0 || value != e.value || rang != e.bell) __builtin_trap();
    }
  }
  useProfile(Profile{});
  return 0;
}
