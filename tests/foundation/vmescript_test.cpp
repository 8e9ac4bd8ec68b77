#include <gtest/gtest.h>

#include <string>

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
      "11 12345 low half written\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, std::string(kHeader) +
                       "file: 200000 55 base line\n" + kOpen200000 +
                       "file: 10 1234\n"
                       " vme: addr   10 wrote 1234\n"
                       "file: 0x10\n"
                       " vme: addr   10 read: 1234\n"
                       "file: just text\n"
                       " vme: addr   11 wrote beef\n"
                       "file: 11 12345 low half written\n"
                       " vme: addr   11 wrote 12345\n"
                       "end of file\n"
                       "VXI done.\n");
  EXPECT_EQ(r.err, "");
  // The check's peek, then exactly the script's cycles.
  std::vector<std::string> expected = {
      "R A24 D32 00200000 FFFFFFFF",
      "W A24 D16 00200020 1234",
      "R A24 D16 00200020 1234",
      "W A24 D16 00200022 BEEF",
      "W A24 D16 00200022 2345",
  };
  EXPECT_EQ(cycles(), expected);
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
  RunResult r = play("200000\n800 1\n7ff 2\nFFFFFFFF\n");
  EXPECT_EQ(r.exitStatus, 0);
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

}  // namespace
