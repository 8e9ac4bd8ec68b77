#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "console_capture.h"
#include "foundation/console.h"
#include "foundation/record_text.h"
#include "foundation/usage.h"
#include "profile_in_force.h"

// A style as gtest lists it.
void PrintTo(PromptStyle style, std::ostream* os) {
  *os << (style == PromptStyle::ReadLine   ? "ReadLine"
          : style == PromptStyle::SelfRead ? "SelfRead"
                                           : "ReadLineFlush");
}

namespace {

using vmetest::withConsole;

struct HexAnswer {
  std::uint32_t value = 0;
  int result = 0;
  std::string out;
};

HexAnswer hex(const std::string& input, std::uint32_t def = 0x8000) {
  HexAnswer a;
  a.out = withConsole(input, [&] { a.result = askHex("Q", def, &a.value); });
  return a;
}

class Prompts : public ::testing::TestWithParam<PromptStyle> {
 protected:
  vmetest::ProfileInForce style_{{.prompts = GetParam()}};
};

TEST_P(Prompts, YesNoDecidesByFirstCharacterOnly) {
  struct Case {
    const char* input;
    int expected;
  } cases[] = {{"n\n", ANSWER_NO},    {"Y\n", ANSWER_YES},   {"yes\n", ANSWER_YES},
               {"Yo\n", ANSWER_YES},  {" y\n", ANSWER_OTHER}, {"maybe\n", ANSWER_OTHER},
               {"\n", ANSWER_OTHER},  {"", -1}};
  for (const Case& c : cases) {
    int r = 0;
    std::string out = withConsole(c.input, [&] { r = askYesNo("Go on?", 'N'); });
    EXPECT_EQ(r, c.expected) << "answer '" << c.input << "'";
    EXPECT_EQ(out.rfind("Go on? [N] : ", 0), 0u) << out;
  }
}

TEST_P(Prompts, NumberNotationsAndBells) {
  struct Case {
    const char* input;
    std::uint32_t value;
    bool bell;
  } cases[] = {
      {"10\n", 0x10, false},        {"I10\n", 10, false},         {"N101\n", 5, false},
      {"O17\n", 15, false},         {"h1F\n", 0x1F, false},       {"0x1F\n", 0x1F, false},
      {"-2\n", 0xFFFFFFFE, false},  {"FFFFFFFF\n", 0x8000, true}, {"-1\n", 0x8000, true},
      {"12z\n", 0x12, true},        {"zz\n", 0, true},            {"123456789\n", 0x8000, true},
      {"  i42\n", 0, true},      {"  42\n", 0x42, false},      {"i-3\n", 0xFFFFFFFD, false},
      // No digit at all: 0, and the bell, also after a lone base letter.
      {"h\n", 0, true},            {"I\n", 0, true},             {"n\n", 0, true},
      {"O \n", 0, true},           {"-\n", 0, true},             {"0x\n", 0, true},
      {"1F\r\n", 0x1F, false},     {"I10\r\n", 10, false},
  };
  for (const Case& c : cases) {
    HexAnswer a = hex(c.input);
    EXPECT_EQ(a.result, 0) << c.input;
    EXPECT_EQ(a.value, c.value) << "answer '" << c.input << "'";
    EXPECT_EQ(a.out.find('\a') != std::string::npos, c.bell) << "answer '" << c.input << "'";
  }
}

TEST_P(Prompts, EmptyLineAndEndOfInputKeepTheDefault) {
  HexAnswer empty = hex("\n", 0);
  EXPECT_EQ(empty.result, 1);
  EXPECT_EQ(empty.value, 0u);
  EXPECT_EQ(empty.out, "Q [4x   0] : ");

  HexAnswer eof = hex("", 0x8000);
  EXPECT_EQ(eof.result, -1);
  EXPECT_EQ(eof.value, 0x8000u);
  EXPECT_EQ(eof.out, "Q [4x8000] : \a");

  HexAnswer wide = hex("\n", 0xD000000);
  EXPECT_EQ(wide.out, "Q [4xD000000] : ");
}

// The record hears every answer with its question, bytes as typed, and
// end of input as no answer.
TEST_P(Prompts, AnswerHookHearsEveryAnswer) {
  static std::string heard;
  heard.clear();
  answerHook = [](const char* q, const char* text, std::size_t n) {
    heard += std::string(q) + "=" + (text ? std::string(text, n) : "EOF") + ";";
  };
  withConsole(std::string("1\0x\n\ny\n", 7), [] {
    std::uint32_t v;
    askHex("A", 0, &v);
    askHex("B", 0, &v);
    askYesNo("C", 'N');
    askYesNo("D", 'N');
  });
  answerHook = nullptr;
  EXPECT_EQ(heard, std::string("A=1\0x\n;B=\n;C=y\n;D=EOF;", 22));
}

TEST_P(Prompts, OverLongLineKeepsItsStartAndDropsTheRest) {
  // 200 characters, then a second answer that must still be read as such.
  HexAnswer first, second;
  std::string out = withConsole(std::string(200, '1') + "\n7\n", [&] {
    askHex("Q", 0, &first.value);
    askHex("Q", 0, &second.value);
  });
  EXPECT_EQ(second.value, 7u);
  EXPECT_NE(out.find('\a'), std::string::npos);
  EXPECT_EQ(out.find("no end") != std::string::npos, GetParam() != PromptStyle::SelfRead);

  // A NUL early in an over-long answer must not hide its length: the rest
  // is still thrown away, not taken as the next answers.
  std::string nul = "12" + std::string(1, '\0') + std::string(197, '3') + "\n7\n";
  out = withConsole(nul, [&] {
    askHex("Q", 0, &first.value);
    askHex("Q", 0, &second.value);
  });
  EXPECT_EQ(first.value, 0x12u);
  EXPECT_EQ(second.value, 7u);
  EXPECT_NE(out.find('\a'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(AllStyles, Prompts,
                         ::testing::Values(PromptStyle::ReadLine, PromptStyle::SelfRead),
                         [](const auto& param) {
                           return param.param == PromptStyle::ReadLine ? "ReadLine" : "SelfRead";
                         });

TEST(ReadLine, LineLengthsAroundTheBuffer) {
  char line[kLineSize];
  int r = 0;
  std::string out = withConsole(std::string(126, 'a') + "\n", [&] { r = readLine("d", line); });
  EXPECT_EQ(r, 0);
  EXPECT_EQ(std::strlen(line), 126u);
  EXPECT_EQ(out, "");

  out = withConsole(std::string(127, 'b') + "\nnext\n", [&] {
    r = readLine("d", line);
  });
  EXPECT_EQ(r, 0);
  EXPECT_EQ(std::string(line), std::string(127, 'b'));
  EXPECT_EQ(out, "no end\n");  // taken whole: no bell

  std::string rest;
  out = withConsole(std::string(127, 'c') + std::string(73, 'x') + "\nnext\n", [&] {
    readLine("d", line);
    char again[kLineSize];
    readLine("d", again);
    rest = again;
  });
  EXPECT_EQ(std::string(line), std::string(127, 'c'));
  EXPECT_EQ(out, "no end\n\a");
  EXPECT_EQ(rest, "next");

  // CR LF: the CR of a 126-character line is the 127th byte read; it ends
  // the line with its LF and leaves no empty line behind.
  out = withConsole(std::string(126, 'd') + "\r\nnext\r\n", [&] {
    readLine("x", line);
    char again[kLineSize];
    r = readLine("x", again);
    rest = again;
  });
  EXPECT_EQ(std::string(line), std::string(126, 'd'));
  EXPECT_EQ(r, 0);
  EXPECT_EQ(rest, "next");
  EXPECT_EQ(out, "");
}

TEST(ReadLine, DefaultsEndOfInputAndSharedBuffer) {
  char buf[kLineSize] = "DUMP 1";
  int r = 0;
  withConsole("\n", [&] { r = readLine(buf, buf); });
  EXPECT_EQ(r, 1);
  EXPECT_STREQ(buf, "DUMP 1");

  std::string out = withConsole("", [&] { r = readLine(buf, buf); });
  EXPECT_EQ(r, -1);
  EXPECT_STREQ(buf, "DUMP 1");
  EXPECT_EQ(out, "\a");

  // A last line without its newline is still a whole answer.
  out = withConsole("L1A 5", [&] { r = readLine(buf, buf); });
  EXPECT_EQ(r, 0);
  EXPECT_STREQ(buf, "L1A 5");
  EXPECT_EQ(out, "");
}

// Found by fuzzing: a bare line end has no digit and must ring the bell,
// like any other answer without one.
TEST(ConvertTypedAnswer, NoDigitAlwaysRings) {
  for (const char* text : {"\n", "", " \n", "h", "0x"}) {
    std::uint32_t v = 1;
    EXPECT_TRUE(convertTypedAnswer(text, 5, &v)) << "'" << text << "'";
    EXPECT_EQ(v, 0u) << "'" << text << "'";
  }
}

// The records' text: markup and white space as references, a backslash
// doubled, what XML cannot hold as \xNN; JSON text keeps stray bytes as
// Latin-1.
TEST(RecordText, EscapesForXmlAndJson) {
  const struct {
    std::string in, xml, json;
  } cases[] = {
      {"a<b>&\"'", "a&lt;b&gt;&amp;&quot;&apos;", "a<b>&\"'"},
      {"\t\n\r\\", "&#9;&#10;&#13;\\\\", "\t\n\r\\"},
      {std::string("\0\x1f\x7f", 3), "\\x00\\x1F\\x7F", std::string("\0\x1f\x7f", 3)},
      {"caf\xc3\xa9 \xe2\x82\xac", "caf\xc3\xa9 \xe2\x82\xac", "caf\xc3\xa9 \xe2\x82\xac"},
      // A cut sequence, an overlong '/', a surrogate, U+FFFE.
      {"\xc3", "\\xC3", "\xc3\x83"},
      {"\xc0\xaf", "\\xC0\\xAF", "\xc3\x80\xc2\xaf"},
      {"\xed\xa0\x80", "\\xED\\xA0\\x80", "\xc3\xad\xc2\xa0\xc2\x80"},
      {"\xef\xbf\xbe", "\\xEF\\xBF\\xBE", "\xef\xbf\xbe"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(xmlEscape(c.in), c.xml) << c.in;
    EXPECT_EQ(utf8Kept(c.in), c.json) << c.in;
  }
}

TEST(AskString, UpperCaseAndDefaultShown) {
  char buf[kLineSize] = "DUMP 1";
  int r = 0;
  std::string out = withConsole("dump 0x1f\n", [&] { r = askUpper("Enter keyword", buf, buf); });
  EXPECT_EQ(r, 0);
  EXPECT_STREQ(buf, "DUMP 0X1F");
  EXPECT_EQ(out, "Enter keyword [DUMP 1] : ");
}

// The command line: the first option decides, "--" ends the options, and a
// program takes at most the one file it reads.
TEST(HandleArguments, OptionsOperandsAndTheirOrder) {
  // The questions in their columns: the prompt padded, the note's further
  // lines under its first, a line of the list above a question.
  const Question questions[] = {{"Enter a", "1\nor 2"}, {"Ask b?", "N", "then:"}};
  const ProgramUsage u{.name = "t", .operands = "[FILE]", .text = "Text.\n",
                       .statuses = kStatusCounts, .results = true, .questions = questions};
  const std::string listed = "Usage: t [-h | --help | --version] [FILE]\n\nText.\n\n"
                           "Questions, in order, with their defaults:\n  Enter a" +
                           std::string(31, ' ') + "1\n" + std::string(40, ' ') +
                           "or 2\nthen:\n  Ask b?" + std::string(32, ' ') + "N\n\nEnvironment:\n";
  struct Case {
    std::vector<const char*> args;
    bool takesFile;
    int status;
    const char* file;  // the operand taken, when the program goes on
    const char* out;   // the start of standard output
    const char* err;   // the start of standard error
  };
  const std::string version = std::string("t (VME bench suite) ") + VME_SUITE_VERSION + "\n";
  const Case cases[] = {
      {{}, true, -1, nullptr, "", ""},
      {{"a.dat"}, true, -1, "a.dat", "", ""},
      {{"--", "-a.dat"}, true, -1, "-a.dat", "", ""},
      {{"--", "--help"}, true, -1, "--help", "", ""},
      {{"-"}, true, -1, "-", "", ""},
      {{"a.dat", "--help"}, true, 0, nullptr, listed.c_str(), ""},
      {{"-h", "-x"}, false, 0, nullptr, "Usage: t ", ""},
      {{"--version", "-h"}, false, 0, nullptr, version.c_str(), ""},
      {{"-x", "--help"}, true, 2, nullptr, "", "t: unknown option -x\nUsage: t "},
      {{"-hx"}, false, 2, nullptr, "", "t: unknown option -hx\n"},
      {{"a", "b"}, true, 2, nullptr, "", "t: unexpected argument b\nUsage: t "},
      {{"a"}, false, 2, nullptr, "", "t: unexpected argument a\n"},
      {{"-"}, false, 2, nullptr, "", "t: unexpected argument -\n"},
      {{"--", "-x"}, false, 2, nullptr, "", "t: unexpected argument -x\n"},
  };
  for (const Case& c : cases) {
    std::vector<char*> argv{const_cast<char*>("t")};
    for (const char* a : c.args) argv.push_back(const_cast<char*>(a));
    const char* file = "unset";
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = handleArguments(static_cast<int>(argv.size()), argv.data(), u,
                                       c.takesFile ? &file : nullptr);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string shown = c.args.empty() ? "(none)" : std::string(c.args[0]) + " ...";
    EXPECT_EQ(status, c.status) << shown;
    if (c.takesFile && status < 0) {
      EXPECT_STREQ(file, c.file) << shown;
    }
    // Nothing at all where nothing is expected, else the start given.
    EXPECT_TRUE(*c.out ? out.rfind(c.out, 0) == 0 : out.empty()) << shown << "\n" << out;
    EXPECT_TRUE(*c.err ? err.rfind(c.err, 0) == 0 : err.empty()) << shown << "\n" << err;
  }
  // The usage names only the variables that matter to the program.
  char* argv[] = {const_cast<char*>("t"), const_cast<char*>("--help")};
  testing::internal::CaptureStdout();
  handleArguments(2, argv, u);
  const std::string help = testing::internal::GetCapturedStdout();
  EXPECT_NE(help.find("VME_RESULTS"), std::string::npos);
  EXPECT_EQ(help.find("VME_DEVICE_TABLE"), std::string::npos);
  EXPECT_EQ(help.find("Return keeps the default"), std::string::npos);
}

}  // namespace
