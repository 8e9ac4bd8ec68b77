// Single reads and writes of the scope tools: unit arithmetic, defaults,
// offsets outside the window, end of input and the fixed dialogue length.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <utility>
#include <vector>

#include "program_runner.h"

using namespace vmetest;

namespace {

struct Scoped {
  RunResult run;
  std::vector<std::string> cycles;  // bus cycles after the open's check
};

Scoped scope(const std::string& prog, const std::string& input, const std::string& crate = "") {
  TempDir dir;
  RunOptions o;
  o.input = input;
  o.env["VME_SIM_TRACE"] = dir.file("bus.trace");
  if (!crate.empty()) o.env["VME_SIM_CRATE"] = sourcePath("examples/faults/" + crate);
  o.timeoutMs = 20000;
  Scoped s{runProgram(prog, o), traceCycles(dir.file("bus.trace"))};
  if (!s.cycles.empty()) s.cycles.erase(s.cycles.begin());
  return s;
}

// The dialogue after the window lines.
std::string dialogue(const std::string& out) {
  auto p = out.find("  mapped address = ");
  if (p == std::string::npos) return out;
  return out.substr(out.find('\n', p) + 1);
}

// vmescope on the A24 memory board, D16 or D32, no scope option.
const std::string kA24D16 = "n\nn\nh200000\nn\nn\n";
const std::string kA24D32 = "n\nn\nh200000\ny\nn\n";

}  // namespace

TEST(ScopeDialogue, ReadTranscriptShowsDataDefaultAndEndsAtEndOfInput) {
  auto s = scope("vmescope", kA24D16 + "6\n\n");
  ASSERT_FALSE(s.run.timedOut);
  EXPECT_EQ(s.run.exitStatus, 0);
  EXPECT_EQ(dialogue(s.run.out),
            "Select  D32  mode?  [D16] [N] : Select scope mode option? [N] : "
            "Enter       byte address offset [4x   0] : "
            "Enter write data or CR for read [4xDEFA] : offset 0x6 data 0xdefa\n"
            "reading...\n"
            "read ffff\n"
            "Enter       byte address offset [4x   6] : \aVXI done.\n");
  EXPECT_EQ(s.cycles, std::vector<std::string>{"R A24 D16 00200006 FFFF"});
  EXPECT_NE(s.run.out.find("Base VME address = 200000, End VME address = 200fff\n"),
            std::string::npos);
  EXPECT_EQ(s.run.err, "");
}

TEST(ScopeDialogue, D32WriteUsesTheUnitBelowTheByteOffsetAndReadsItBack) {
  // Offset 6 in D32 is the unit at byte 4; Return repeats offset 6.
  auto s = scope("vmescope", kA24D32 + "6\n12345678\n\n\n");
  EXPECT_EQ(s.run.exitStatus, 0);
  EXPECT_EQ(dialogue(s.run.out),
            "Select  D32  mode?  [D16] [N] : Select scope mode option? [N] : "
            "Enter       byte address offset [4x   0] : "
            "Enter write data or CR for read [4xDEFA] : offset 0x6 data 0x12345678\n"
            "write 12345678 writing...\n"
            "Enter       byte address offset [4x   6] : "
            "Enter write data or CR for read [4xDEFA] : offset 0x6 data 0xdefa\n"
            "reading...\n"
            "read 12345678\n"
            "Enter       byte address offset [4x   6] : \aVXI done.\n");
  EXPECT_EQ(s.cycles, (std::vector<std::string>{"W A24 D32 00200004 12345678",
                                                "R A24 D32 00200004 12345678"}));
}

TEST(ScopeDialogue, D16WritesTheLowHalfOfTheTypedValueAtTheByteOffset) {
  auto s = scope("vmescope", kA24D16 + "6\n12345\n\n\n");
  EXPECT_NE(s.run.out.find("offset 0x6 data 0x12345\nwrite 12345 writing...\n"),
            std::string::npos);
  EXPECT_NE(s.run.out.find("read 2345\n"), std::string::npos);
  EXPECT_EQ(s.cycles, (std::vector<std::string>{"W A24 D16 00200006 2345",
                                                "R A24 D16 00200006 2345"}));
}

TEST(ScopeDialogue, ByteAndWordOffsetsOfTheFixedLengthVariants) {
  // vmescopeb halves byte offset 5; vmescope16 takes word offset 3 as is.
  auto b = scope("vmescopeb", "\n\nn\n5\nabcd\n");
  EXPECT_NE(b.run.out.find("Enter       byte address offset [4x   0] : "), std::string::npos);
  EXPECT_NE(b.run.out.find("offset 0x5 data 0xabcd\nwrite abcd writing...\n"), std::string::npos);
  EXPECT_NE(b.run.out.find("Enter       byte address offset [4x   5] : "), std::string::npos);
  EXPECT_EQ(b.cycles, std::vector<std::string>{"W A32 D16 0D000004 ABCD"});

  auto w = scope("vmescope16", "\n\nn\n3\n\n");
  EXPECT_NE(w.run.out.find("Enter  D16  word address offset [4x   0] : "), std::string::npos);
  EXPECT_EQ(w.cycles, std::vector<std::string>{"R A32 D16 0D000006 FFFF"});
  EXPECT_EQ(w.run.exitStatus, 0);
}

TEST(ScopeDialogue, OffsetOutsideTheWindowIsRefusedAndAskedAgain) {
  // MIN window of 0x1000 bytes; in D32 offset 0xFFE is the unit at 0xFFC.
  auto s = scope("vmescope", kA24D32 + "1000\n1002\nffe\n\n");
  EXPECT_EQ(countOf(s.run.out, "is outside the window"), 2u);
  EXPECT_NE(s.run.out.find("offset 0x1002 is outside the window (offsets 0 to 0xfff), not accessed\n"
                           "Enter       byte address offset [4x   0] : "),
            std::string::npos);
  EXPECT_EQ(s.cycles, std::vector<std::string>{"R A24 D32 00200FFC FFFFFFFF"});
  EXPECT_EQ(s.run.err, "");

  // MAX window: 0xFFFE is the last D16 register; vmescope16 counts words.
  auto big = scope("vmescope", "y\nn\nh200000\nn\nn\nfffe\n\n10000\n");
  EXPECT_EQ(countOf(big.run.out, "is outside the window (offsets 0 to 0xffff)"), 1u);
  EXPECT_EQ(big.cycles, std::vector<std::string>{"R A24 D16 0020FFFE FFFF"});
  auto words = scope("vmescope16", "\n\nn\n10000\nffff\n\n");
  EXPECT_EQ(countOf(words.run.out, "offset 0x10000 is outside the window (offsets 0 to 0xffff)"),
            1u);
  EXPECT_EQ(words.cycles, std::vector<std::string>{"R A32 D16 0D01FFFE FFFF"});
  EXPECT_EQ(words.run.err, "");
}

TEST(ScopeDialogue, OffsetsAreBoundedByTheWindowActuallyMapped) {
  // The 0x20000 size call fails: the library maps its default 0x10000 bytes.
  // When the range query fails too, the program still bounds by that size.
  for (const char* library : {"library size=-1\n", "library size=-1 range=-3\n"}) {
    TempDir dir;
    RunOptions o;
    o.env["VME_SIM_CRATE"] =
        dir.write("small.crate", std::string("memory A24 0x200000 size=0x20000\n") + library);
    o.env["VME_SIM_TRACE"] = dir.file("bus.trace");
    o.input = "y\nh200000\nn\n8000\n7fff\n\n";
    o.timeoutMs = 20000;
    auto r = runProgram("vmescope16", o);
    EXPECT_NE(r.out.find("VME window size error -1\n"), std::string::npos);
    EXPECT_EQ(countOf(r.out, "offset 0x8000 is outside the window (offsets 0 to 0x7fff)"), 1u)
        << library;
    auto cycles = traceCycles(dir.file("bus.trace"));
    ASSERT_EQ(cycles.size(), 2u);
    EXPECT_EQ(cycles[1], "R A24 D16 0020FFFE FFFF");
    EXPECT_EQ(r.err, "");
  }
}

TEST(ScopeDialogue, EndOfInputNeverWritesTheDefaultData) {
  // Input ends at the data question: nothing is written, the window closes.
  auto s = scope("vmescope", kA24D16 + "6\n");
  EXPECT_EQ(s.run.exitStatus, 0);
  EXPECT_TRUE(s.cycles.empty());
  EXPECT_EQ(s.run.out.find("writing"), std::string::npos);
  EXPECT_NE(s.run.out.find("VXI done.\n"), std::string::npos);

  // Input ends inside the loop questions: no loop starts.
  auto l = scope("vmescope", "n\nn\nh200000\nn\ny\n6\n1234\ny\ny\n");
  EXPECT_FALSE(l.run.timedOut);
  EXPECT_EQ(l.run.exitStatus, 0);
  EXPECT_EQ(l.run.out.find("Exit loop by"), std::string::npos);
  EXPECT_EQ(l.cycles, std::vector<std::string>{"W A24 D16 00200006 1234"});
}

TEST(ScopeDialogue, NoLoopUnlessTheAnswerIsYes) {
  // An empty line and " y" both return to the offset question.
  auto s = scope("vmescope", "n\nn\nh200000\nn\ny\n6\n\n\n\n1234\n y\n");
  EXPECT_EQ(countOf(s.run.out, "Begin  scope mode  loop? [N] : Enter       byte address offset"),
            2u);
  EXPECT_EQ(s.run.out.find("Exit loop by"), std::string::npos);
  EXPECT_EQ(s.run.exitStatus, 0);
  EXPECT_EQ(s.cycles, (std::vector<std::string>{"R A24 D16 00200006 FFFF",
                                                "W A24 D16 00200006 1234"}));
}

TEST(ScopeDialogue, FixedLengthVariantsEndAfter9999Exchanges) {
  std::string input = "\n\nn\n";
  for (int i = 0; i < 9999; ++i) input += "\n\n";
  input += "2\n1234\n";  // must never be read
  for (const char* prog : {"vmescope16", "vmescopeb"}) {
    auto s = scope(prog, input);
    ASSERT_FALSE(s.run.timedOut) << prog;
    EXPECT_EQ(s.run.exitStatus, 0) << prog;
    EXPECT_EQ(countOf(s.run.out, "reading...\n"), 9999u) << prog;
    EXPECT_EQ(s.run.out.find("writing"), std::string::npos) << prog;
    EXPECT_EQ(s.cycles.size(), 9999u) << prog;
    const std::string tail = "read ffff\nVXI done.\n";
    EXPECT_EQ(s.run.out.substr(s.run.out.size() - tail.size()), tail) << prog;
  }
}

TEST(ScopeDialogue, AFailedOpenAsksNothingMoreAndCloses) {
  TempDir dir;
  RunOptions o;
  o.input = "n\nn\nh200000\nn\nn\n6\n1234\n";
  o.env["VME_SIM_CRATE"] = dir.write("nomap.crate", "memory A24 0x200000\nlibrary map=-5\n");
  auto r = runProgram("vmescope", o);
  EXPECT_EQ(r.exitStatus, 2);  // nothing reached
  EXPECT_NE(r.out.find("VME window create error -5\n"), std::string::npos);
  EXPECT_NE(r.out.find("Error opening VME window\n"), std::string::npos);
  EXPECT_EQ(r.out.find("Select  D32"), std::string::npos);
}

TEST(ScopeDialogue, EachQuestionShowsBeforeTheProgramWaitsForItsAnswer) {
  if (!vmetest::hasPosixSignals()) GTEST_SKIP() << "Linux-only: POSIX signals";
  // Output to a pipe is block-buffered: a question left in the buffer would
  // never reach an operator who logs the session through a pipe.
  RunOptions o;
  o.closeInput = false;
  ProgramSession s("vmescope", o);
  const std::vector<std::pair<std::string, std::string>> steps = {
      {"Select VME window size  MAX ? [MIN] [N] : ", "n\n"},
      {"Select VME A32  address mode? [A24] [N] : ", "n\n"},
      {"Enter  VME base address [4xF00000] : ", "h200000\n"},
      {"Select  D32  mode?  [D16] [N] : ", "n\n"},
      {"Select scope mode option? [N] : ", "y\n"},
      {"Enter       byte address offset [4x   0] : ", "8\n"},
      {"Enter write data or CR for read [4xDEFA] : ", "1234\n"},
      {"Begin  scope mode  loop? [N] : ", "y\n"},
      {"Zero register each loop? [N] : ", "n\n"},
      {"Read register each loop? [N] : ", "n\n"},
  };
  for (const auto& [question, answer] : steps) {
    ASSERT_TRUE(s.waitForOutput(question, 5000)) << question << "\n" << s.output();
    s.send(answer);
  }
  ASSERT_TRUE(s.waitForOutput("Exit loop by  Control-C\n", 5000));
  s.signal(SIGINT);
  ASSERT_TRUE(s.waitForOutput("Enter       byte address offset [4x   8] : ", 5000));
  s.closeInput();
  auto r = s.finish(5000);
  EXPECT_EQ(r.exitStatus, 0);
}
