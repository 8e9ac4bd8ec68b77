#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "program_runner.h"

namespace {

using vmetest::RunOptions;
using vmetest::RunResult;
using vmetest::runProgram;
using vmetest::TempDir;
using vmetest::traceCycles;

const char kHeader[] =
    "vmescript: reading file script.dat\n\n"
    "VME base address is first line in file,  then each line is:\n"
    "[addr[ data]][text]\n"
    " addr = D16 offset in hex           (blank means text only)\n"
    " data = D16 data   in hex for write (blank means  VME read)\n"
    " text : any ? character or wait string means prompt\n"
    "        any \" character or blank line  means comment (line not printed)\n"
    "\n";

const char kOpen200000[] =
    "Checking VME access  (by causing bus error)\n"
    "Base VME address = 200000, End VME address = 200fff\n"
    "  mapped address = 10100000\n";

class Script : public ::testing::Test {
 protected:
  RunResult play(const std::string& script, const std::string& input = "",
                 const std::string& crate = "") {
    RunOptions o;
    o.args = {"script.dat"};
    o.workDir = dir.path();
    o.input = input;
    o.env["VME_SIM_TRACE"] = dir.file("bus.trace");
    if (!crate.empty()) o.env["VME_SIM_CRATE"] = dir.write("test.crate", crate);
    dir.write("script.dat", script);
    RunResult r = runProgram("vmescript", o);
    EXPECT_FALSE(r.timedOut);
    return r;
  }
  std::vector<std::string> cycles() { return traceCycles(dir.file("bus.trace")); }

  TempDir dir;
};

TEST_F(Script, ReadsWritesAndCommentsWithTheirTrace) {
  RunResult r = play(
      "200000 55 base line\n"
      "10 1234\n"
      "0x10\n"
      "\n"
      "just text\n"
      "11 BEEF \"hidden\n"
      "11 12345 too wide\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, std::string(kHeader) +
                       "file: 200000 55 base line\n" + kOpen200000 +
                       "file: 10 1234\n"
                       " vme: addr   10 wrote 1234\n"
                       "file: 0x10\n"
                       " vme: addr   10 read: 1234\n"
                       "file: just text\n"
                       " vme: addr   11 wrote beef\n"
                       "file: 11 12345 too wide\n"
                       " vme: line 7: data 12345 is wider than 16 bits, not written\n"
                       "end of file\n"
                       "VXI done.\n");
  EXPECT_EQ(r.err, "");
  // The check's peek, then exactly the script's cycles.
  std::vector<std::string> expected = {
      "R A24 D32 00200000 FFFFFFFF",
      "W A24 D16 00200020 1234",
      "R A24 D16 00200020 1234",
      "W A24 D16 00200022 BEEF",
  };
  EXPECT_EQ(cycles(), expected);
}

// A Ctrl-Z byte is a byte of its line, never the end of the file.
TEST_F(Script, CtrlZIsAByteOfItsLine) {
  RunResult r = play("200000\ntext \x1a more\n10 1234\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, std::string(kHeader) + "file: 200000\n" + kOpen200000 +
                       "file: text \x1a more\n"
                       "file: 10 1234\n"
                       " vme: addr   10 wrote 1234\n"
                       "end of file\n"
                       "VXI done.\n");
  EXPECT_EQ(cycles().back(), "W A24 D16 00200020 1234");
}

TEST_F(Script, PausesTakeOneCharacterEach) {
  // "ab" and Return at the first pause feed the next two pauses.
  RunResult r = play(
      "200000\n"
      "Is the LED on?\n"
      "await reply\n"
      "\"silent wait\n"
      "last ?\n",
      "ab\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(vmetest::countOf(r.out, "Press Return to continue :\n"), 4u);
  EXPECT_NE(r.out.find("file: Is the LED on?\nPress Return"), std::string::npos);
  // 'await' starts with the hex digit a: the line also reads offset a.
  EXPECT_NE(r.out.find("file: await reply\n vme: addr    a read: ffff\nPress Return"),
            std::string::npos);
  EXPECT_EQ(r.out.find("silent"), std::string::npos);
}

TEST_F(Script, LongLinesAreSeveralLines) {
  std::string longText(300, 'x');
  RunResult r = play("200000\n" + longText + "\n");
  EXPECT_EQ(r.exitStatus, 0);
  // 127 + 127 + 46 characters, echoed as three pieces of one line.
  EXPECT_NE(r.out.find("file: " + std::string(127, 'x') + "file: " + std::string(127, 'x') +
                       "file: " + std::string(46, 'x') + "\n"),
            std::string::npos);
}

TEST_F(Script, OffsetsOutsideTheWindowAreRefused) {
  RunResult r = play("200000\n800 1\n7ff 2\nFFFFFFFF\n100000005 BEEF\n5 1BEEF0000\n-100000001\n");
  EXPECT_EQ(r.exitStatus, 0);
  // Numbers wider than 32 bits are refused whole, never cut to their low bits.
  EXPECT_NE(r.out.find(" vme: line 5: offset 100000005 is wider than 32 bits, not accessed\n"),
            std::string::npos);
  EXPECT_NE(r.out.find(" vme: line 6: data 1BEEF0000 is wider than 32 bits, not accessed\n"),
            std::string::npos);
  EXPECT_NE(r.out.find(" vme: line 7: offset -100000001 is wider than 32 bits"), std::string::npos);
  EXPECT_NE(r.out.find(" vme: line 2: offset 800 is outside the window (0 to 7ff), not accessed\n"),
            std::string::npos);
  EXPECT_NE(r.out.find(" vme: line 4: offset ffffffff is outside the window"), std::string::npos);
  EXPECT_NE(r.out.find(" vme: addr  7ff wrote 0002\n"), std::string::npos);
  std::vector<std::string> expected = {"R A24 D32 00200000 FFFFFFFF", "W A24 D16 00200FFE 0002"};
  EXPECT_EQ(cycles(), expected);
  EXPECT_EQ(r.err, "");
}

TEST_F(Script, BaseLineCanBeAHexWord) {
  // 'add' is a hex number: the window opens at 0xADD and the board is not there.
  RunResult r = play("add 5\n0\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_NE(r.out.find("Base VME address = add, End VME address = 1adc\n"), std::string::npos);
  EXPECT_NE(r.out.find(" vme: addr    0 read: ffff\n"), std::string::npos);
  EXPECT_EQ(cycles().back(), "R A24 D16 00000ADD FFFF BERR") << "a misaligned D16 cycle";
}

TEST_F(Script, FailuresAndTheirExitStatus) {
  RunOptions o;
  o.args = {"missing.dat"};
  o.workDir = dir.path();
  o.env["VME_SIM_TRACE"] = dir.file("bus.trace");
  RunResult r = runProgram("vmescript", o);
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, "vmescript: can't open file missing.dat\n");
  EXPECT_EQ(r.err, "missing.dat: No such file or directory\n");
  EXPECT_EQ(vmetest::readFile(dir.file("bus.trace")), "") << "the bus library is never touched";

  r = play("200000\n", "", "memory A24 0x200000\nlibrary map=-4\n");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.out.find("VME window create error -4\n  mapped address = 00000000\n"
                       "error mapping window\n"),
            std::string::npos);

  // A base address wider than 32 bits maps nothing, and no later line
  // becomes the base instead.
  r = play("100200000\n200000\n0 1\n");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.out.find("file: 100200000\n"
                       " vme: line 1: base address 100200000 is wider than 32 bits, no window mapped\n"),
            std::string::npos);
  EXPECT_EQ(r.out.find("file: 200000"), std::string::npos);
  EXPECT_EQ(vmetest::readFile(dir.file("bus.trace")), "");

  // A NUL byte would cut its line short unseen: the file stops there.
  r = play(std::string("200000\n0 1\n1 2") + '\0' + "3\n0 4\n");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.out.find(" vme: addr    0 wrote 0001\n"
                       "vmescript: line 3 of file script.dat holds a NUL byte: not a text file, "
                       "not played further\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(cycles(), (std::vector<std::string>{"R A24 D32 00200000 FFFFFFFF",
                                                "W A24 D16 00200000 0001"}));

  // No numeric line: no window, and the close reports what the library says.
  r = play("only words here\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_NE(r.out.find("end of file\nVXI address unmap error -1\nVXI library close error -2\n"
                       "VXI done.\n"),
            std::string::npos);
}

TEST_F(Script, BadCrateFileStopsBeforeAnyOutput) {
  RunResult r = play("200000\n", "", "memory A24 0x200000\nmemory A24 0x2 size=oops\n");
  EXPECT_EQ(r.exitStatus, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("test.crate line 2: bad size 'oops'"), std::string::npos) << r.err;
  EXPECT_EQ(vmetest::countOf(r.err, "\n"), 1u);
}

TEST_F(Script, MemoryFaultsShowInTheTrace) {
  RunResult r = play("200000\n4 0\n4\n5 0\n5\n", "",
                     "memory A24 0x200000 fault=stuck1:0x8:0x0100 fault=alias:1\n");
  EXPECT_EQ(r.exitStatus, 0);
  std::vector<std::string> expected = {
      "R A24 D32 00200000 FFFFFFFF",
      "W A24 D16 00200008 0000",
      "R A24 D16 00200008 0100",  // stuck bit
      "W A24 D16 0020000A 0000",
      "R A24 D16 0020000A 0100",  // aliased onto word 8
  };
  EXPECT_EQ(cycles(), expected);
}

// Every text the suite reads, once with LF and once with CR LF line ends:
// answers at the prompts of both reading styles, script and command files,
// pauses and crate files.  The transcripts and the traces must be the same.
TEST(LineEnds, CrLfGivesTheSameTranscriptAndTrace) {
  const std::string l126(126, 'a'), l127(127, 'b');
  struct Case {
    const char* name;
    const char* program;
    std::string file;   // written as the program's argument when not empty
    std::string input;  // console
    std::string crate;  // VME_SIM_CRATE when not empty
    const char* expected;  // in the LF transcript
  } cases[] = {
      {"vmescope dialogue", "vmescope", "", "n\nn\nh200000\nn\nn\n10\n\n12\n3\n", "",
       "offset 0x12 data 0x3\n"},
      {"vmescope over-long answers", "vmescope", "",
       "n\nn\nh200000\nn\nn\n" + std::string(127, '0') + "\n1" + l126 + "\n" + l127 + "\n", "",
       "offset 0x0 data"},
      {"qemtest with answers", "qemtest", "", "n\n\n0\n1\n1\n1\n1\n1\n1\n1\n1\n1\n1\n", "",
       "BRST test: Pass\n"},
      {"vmescript", "vmescript",
       "200000 base\n10 1234\n10\n\nwait here\n11 BEEF\n" + l126 + "\n" + l127 + "\n7ff 1\n", "x\n",
       "", " vme: addr  7ff wrote 0001\n"},
      {"qemseq command file", "qemseq", "BASE 0xF00000\nBCR 0\nL1A 100\nL1A ? 200\nSCAN 0\n", "\n",
       "memory A24 0xF00000 size=0x10000\n", "file: SCAN 0\n"},
      {"qemseq dialogue", "qemseq", "", "\n\n\n\nBCR 0\nL1A 100\ndump 1\n", "",
       " cmd: token DUMP value 1"},
      {"crate file", "vmescript", "200000\n0 1\n0\n", "",
       "# a crate\nmemory A24 0x200000 size=0x1000 fault=stuck1:0:0x8000\n\nlibrary init=0\n",
       " vme: addr    0 read: 8001\n"},
  };
  auto crlf = [](std::string text) {
    for (std::size_t p = 0; (p = text.find('\n', p)) != std::string::npos; p += 2)
      text.insert(p, 1, '\r');
    return text;
  };
  for (const Case& c : cases) {
    std::vector<std::string> out, err, traces;
    for (bool cr : {false, true}) {
      TempDir dir;
      RunOptions o;
      o.workDir = dir.path();
      o.input = cr ? crlf(c.input) : c.input;
      o.env["VME_SIM_TRACE"] = dir.file("bus.trace");
      if (!c.crate.empty())
        o.env["VME_SIM_CRATE"] = dir.write("c.crate", cr ? crlf(c.crate) : c.crate);
      if (!c.file.empty()) {
        dir.write("in.dat", cr ? crlf(c.file) : c.file);
        o.args = {"in.dat"};
      }
      o.timeoutMs = 10000;  // each run takes well under a second
      const RunResult r = runProgram(c.program, o);
      EXPECT_FALSE(r.timedOut) << c.name;
      EXPECT_EQ(r.exitStatus, 0) << c.name << (cr ? " CR LF" : " LF") << "\n" << r.out << r.err;
      out.push_back(r.out);
      err.push_back(r.err);
      traces.push_back(vmetest::readFile(dir.file("bus.trace")));
    }
    EXPECT_NE(out[0].find(c.expected), std::string::npos) << c.name << ":\n" << out[0];
    EXPECT_EQ(out[1], out[0]) << c.name;
    EXPECT_EQ(err[1], err[0]) << c.name;
    EXPECT_EQ(traces[1], traces[0]) << c.name;
    EXPECT_FALSE(traces[0].empty()) << c.name;
  }
}

}  // namespace
