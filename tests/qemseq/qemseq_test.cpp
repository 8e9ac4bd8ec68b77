// qemseq end to end: the command-file player and the console dialogue,
// against a memory board at the module's address (and the module model of
// the default crate where the sequencer must really play).
#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "program_runner.h"

using namespace vmetest;

namespace {

const char kMemoryCrate[] = "memory A24 0xF00000 size=0x10000\n";

struct Session {
  TempDir dir;
  std::string crate = dir.write("mem.crate", kMemoryCrate);
  std::string trace = dir.file("bus.trace");

  RunResult file(const std::string& text, const std::string& input = "") {
    dir.write("cmd.dat", text);
    return go({"cmd.dat"}, input);
  }
  RunResult console(const std::string& input) { return go({}, input); }
  RunResult go(std::vector<std::string> args, const std::string& input) {
    RunOptions o;
    o.args = std::move(args);
    o.input = input;
    o.env = {{"VME_SIM_CRATE", crate}, {"VME_SIM_TRACE", trace}};
    o.workDir = dir.path();
    o.timeoutMs = 20000;
    return runProgram("qemseq", o);
  }
  std::vector<std::string> cycles() { return traceCycles(trace); }
};

// Console answers up to the first keyword prompt: no file, A24, default
// address, VME run mode.
const std::string kOpen = "\n\n\n\n";
const std::string kKeywordPrompt = "Enter keyword [value] (eg MENU) ";

std::string lineAfter(const std::string& out, const std::string& start) {
  const auto p = out.find(start);
  if (p == std::string::npos) return "(missing: " + start + ")";
  return out.substr(p, out.find('\n', p) - p);
}

TEST(QemseqFile, BCRAndTwoL1AsScannedAndLoaded) {
  Session run;
  const RunResult r = run.file("BASE 0xF00000\nBCR 0\nL1A 100\nL1A 200\nSCAN 0\n");
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::string zeros = " 0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0\n";
  EXPECT_EQ(r.out,
            "qemseq: reading file cmd.dat\n\n"
            " cmd: token FILL value 0 0000 key 7\n"
            "file: BASE 0xF00000\n"
            "addr: f00000\n"
            "Checking VME access  (by causing bus error)\n"
            "Base VME address = f00000, End VME address = f0ffff\n"
            "  mapped address = 10100000\n"
            "file: BCR 0\n"
            " cmd: token BCR value 0 0000 key 4\n"
            "file: L1A 100\n"
            " cmd: token L1A value 100 0064 key 2\n"
            "file: L1A 200\n"
            " cmd: token L1A value 200 00c8 key 2\n"
            "file: SCAN 0\n"
            " cmd: token SCAN value 0 0000 key 10\n"
            " 4  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0\n" +
                zeros + zeros + zeros + zeros +
                " 1 30 30 20 20 20 20 20 20 20 20 20  0  0  0  0  0  0  0  0\n"
                " 0  0  0  0  0  0 10  0 10 10 10  0 10  0  0  0  0  0  0  0\n" +
                zeros + zeros + zeros +
                "\nScan report:\n"
                "byte 0 size 65536 incr 4 orbit 1\n"
                "BCR index 0000\n"
                "L1A index 0064 start 0065 stop 008A BCID 05D L1ID 000001\n"
                "               start 0065 stop 0070 TTID 3FF\n"
                "L1A index 00C8 start 00C9 stop 00EE BCID 0C1 L1ID 000002\n"
                "               start 00C9 stop 00D4 TTID 3FF\n"
                "Scan end: non-zero bytes 33 errors 0\n"
                "scan errors = 0\n"
                "end of file\n"
                " cmd: token LOAD value 0 0000 key 8\n"
                "VXI done.\n");

  // The final LOAD writes every RAM word once, in order, with one D16 write.
  std::vector<std::string> ram;
  for (const std::string& c : run.cycles()) {
    EXPECT_EQ(c.find("BERR"), std::string::npos) << c;
    if (c.compare(0, 15, "W A24 D16 00F08") >= 0 && c.compare(0, 15, "W A24 D16 00F10") < 0)
      ram.push_back(c);
  }
  ASSERT_EQ(ram.size(), 0x4000u);
  char want[40];
  for (unsigned k = 0; k < 0x4000; ++k) {
    std::snprintf(want, sizeof want, "W A24 D16 %08X ", 0xF08000 + 2 * k);
    ASSERT_EQ(ram[k].substr(0, 19), want) << k;
  }
  EXPECT_EQ(ram[0], "W A24 D16 00F08000 0004");
  EXPECT_EQ(ram[100], "W A24 D16 00F080C8 0001");
  EXPECT_EQ(ram[101], "W A24 D16 00F080CA 0030");
}

TEST(QemseqFile, LineRules) {
  Session run;
  const RunResult r = run.file(
      "BASE 0xF00000\n"
      "l1a 5\n"
      "RUN\n"
      "BCR 0   \" placed without echo\n"
      "just words\n"
      "   \n"
      "LOAD 0\n"
      "DUMP 0 ? check source\n"
      "SIZE -999\n"
      "FILL 0xFFFF0000\n"
      "FILL 0x1FFFF0000\n",
      "\n");
  ASSERT_EQ(r.exitStatus, 0);
  EXPECT_NE(r.out.find("file: l1a 5\n cmd: token l1a value 5 0005 key -999\nNONE\n"),
            std::string::npos);
  EXPECT_NE(r.out.find("file: RUN\n cmd: token BCR value 0 0000 key 4\nfile: just words\n"
                       "file: LOAD 0\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("placed without echo"), std::string::npos);
  EXPECT_NE(r.out.find("file: DUMP 0 ? check source\n cmd: token DUMP value 0 0000 key 6\n"
                       "\nQEM register dump:\n"),
            std::string::npos);
  EXPECT_NE(r.out.find("\nScan report:\nbyte 0 size 65536 incr 4 orbit 3560\nBCR index 0000\n"),
            std::string::npos);
  // -999 asks for the value; at the end of input the prompt's default is
  // taken and the command carried out.
  EXPECT_NE(r.out.find("scan countL1A = 0\nPress Return to continue :\nfile: SIZE -999\n"
                       "Enter sequencer RAM size [4x4000] : \a cmd: token SIZE value 16384 4000 "
                       "key 11\n"),
            std::string::npos)
      << r.out.substr(r.out.size() - 300);
  // Up to 32 bits a number wraps into an int as "%i" makes it; a wider one
  // is refused.
  EXPECT_NE(r.out.find("file: FILL 0xFFFF0000\n cmd: token FILL value -65536 ffff0000 key 7\n"
                       "file: FILL 0x1FFFF0000\n"
                       "FILL: value 0x1FFFF0000 is wider than 32 bits, not carried out\n"
                       "end of file\n"),
            std::string::npos);
  // "RUN" without a number started nothing.
  for (const std::string& c : run.cycles()) EXPECT_NE(c.substr(0, 18), "W A24 D16 00F0001A") << c;
}

TEST(QemseqFile, BaseNumbersFollowTheIntegerNotation) {
  Session run;
  const RunResult r = run.file("BASE 100000\n");
  ASSERT_EQ(r.exitStatus, 0);
  EXPECT_NE(r.out.find("addr: 186a0\n"), std::string::npos);
  EXPECT_NE(r.out.find("Base VME address = 186a0, End VME address = 2869f\n"), std::string::npos);
}

TEST(QemseqFile, RunNeedsANumberAndStartsTheSequencer) {
  Session run;
  const RunResult r = run.file("BASE 0xF00000\nRUN 0\n");
  ASSERT_EQ(r.exitStatus, 0);
  std::vector<std::string> writes;
  for (const std::string& c : run.cycles())
    if (c.compare(0, 13, "W A24 D16 00F") == 0 && c.compare(0, 15, "W A24 D16 00F08") < 0)
      writes.push_back(c.substr(10));
  EXPECT_EQ(writes, (std::vector<std::string>{
                        "00F00002 0000", "00F00018 0000",  // VME run mode
                        "00F00000 0001", "00F00030 0000", "00F00002 0000", "00F00018 0000",
                        "00F0001C 3FFF", "00F0001A 2200", "00F0001A 0000", "00F0001A 40FF"}));
}

TEST(QemseqFile, RefusedFilesTouchNoRegister) {
  {
    Session run;
    const RunResult r = run.file("\n   \nBASE\nBCR 0\n");
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.out.find("line 3: the first line must give the module's VME base address"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(run.cycles().empty());
  }
  {
    Session run;
    const RunResult r = run.file("\n  \n");
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.out.find("end of file\nqemseq: no VME base address in file cmd.dat; nothing loaded\n"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(run.cycles().empty());
  }
  {
    Session run;
    const RunResult r = run.file(std::string("BASE 0xF00000\nBCR 0") + '\0' + "\nL1A 100\n");
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.out.find("qemseq: line 2 of file cmd.dat holds a NUL byte"), std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("L1A"), std::string::npos);
    for (const std::string& c : run.cycles()) EXPECT_NE(c.substr(0, 15), "W A24 D16 00F08") << c;
  }
  {
    Session run;
    const RunResult r = run.go({"nothere.dat"}, "");
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "qemseq: can't open file nothere.dat\n");
    EXPECT_NE(r.err.find("nothere.dat"), std::string::npos);
  }
}

TEST(QemseqFile, LongFileNameTypedAtThePrompt) {
  Session run;
  const std::string name = "a-command-file-with-a-long-name-of-many-characters.dat";
  run.dir.write(name, "BASE 0xF00000\n");
  const RunResult r = run.go({}, "y\n" + name + "\n");
  ASSERT_EQ(r.exitStatus, 0);
  EXPECT_TRUE(r.out.starts_with("Select input from file? [N] : Enter filename [qemky.dat] : "
                                "qemseq: reading file " + name + "\n"))
      << r.out;
}

TEST(QemseqConsole, ReturnRunsDump1AndEndOfInputCloses) {
  Session run;
  const RunResult r = run.console(kOpen + "\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_NE(r.out.find(kKeywordPrompt + "[DUMP 1] :  cmd: token DUMP value 1 0001 key 6\n"
                                        "\nQEM register dump:\nL1id "),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\nScan report:\nbyte 1 size 65536 incr 4 orbit 3560\n"), std::string::npos);
  EXPECT_TRUE(r.out.ends_with(kKeywordPrompt + "[DUMP 1] : \a\nVXI done.\n"))
      << r.out.substr(r.out.size() - 200);

  // End of input at a value prompt: the command is carried out with the
  // prompt's default, then the dialogue ends at the next prompt.
  Session again;
  const RunResult e = again.console(kOpen + "L1A\n");
  EXPECT_EQ(e.exitStatus, 0);
  EXPECT_TRUE(e.out.ends_with("[DUMP 1] : Enter index [4x   0] : \a"
                              " cmd: token L1A value 0 0000 key 2\n\n Trouble at Mill \n" +
                              kKeywordPrompt + "[L1A] : \a\nVXI done.\n"))
      << e.out.substr(e.out.size() - 200);

}

TEST(QemseqConsole, ControlCAtAPromptKeepsTheWholeTrace) {
  if (!vmetest::hasPosixSignals()) GTEST_SKIP() << "Linux-only: POSIX signals";
  // DUMP 1, then the dialogue ends at the next prompt: by end of input, or by
  // Control-C, after which the program still dies of SIGINT.
  Session ended;
  ASSERT_EQ(ended.console(kOpen + "\n").exitStatus, 0);
  Session stopped;
  RunOptions o;
  o.input = kOpen + "\n";
  o.closeInput = false;
  o.env = {{"VME_SIM_CRATE", stopped.crate}, {"VME_SIM_TRACE", stopped.trace}};
  o.workDir = stopped.dir.path();
  ProgramSession s("qemseq", o);
  ASSERT_TRUE(s.waitForOutput("\nScan report:", 20000));
  // The trace is written out while the program waits at the keyword prompt:
  // every line of the ended run up to its last cycle.
  const std::vector<std::string> endedLines = readLines(ended.trace);
  std::size_t upToLastCycle = endedLines.size();
  while (upToLastCycle > 0 && endedLines[upToLastCycle - 1].starts_with("#")) --upToLastCycle;
  ASSERT_TRUE(s.waitForLines(stopped.trace, upToLastCycle, 20000));
  s.signal(SIGINT);
  const RunResult r = s.finish(20000);
  EXPECT_EQ(r.signal, SIGINT);
  EXPECT_GT(ended.cycles().size(), 50u);
  EXPECT_EQ(stopped.cycles(), ended.cycles());
  EXPECT_TRUE(readFile(stopped.trace).ends_with("\n"));
}

TEST(QemseqConsole, CaseAndNumberNotations) {
  Session run;
  const RunResult r = run.console(kOpen + "l1a 10\nL1A\n10\nL1A 0x10\nL1A 010\nbcr 3\nL1A 40\n");
  ASSERT_EQ(r.exitStatus, 0);
  const std::string out = r.out;
  EXPECT_NE(out.find("[DUMP 1] :  cmd: token L1A value 10 000a key 2\n\n Trouble at Mill \n"),
            std::string::npos);
  EXPECT_NE(out.find("[L1A 10] : Enter index [4x   0] :  cmd: token L1A value 16 0010 key 2\n"),
            std::string::npos);
  EXPECT_NE(out.find("[L1A] :  cmd: token L1A value 16 0010 key 2\n"), std::string::npos);
  EXPECT_NE(out.find("[L1A 0X10] :  cmd: token L1A value 8 0008 key 2\n"), std::string::npos);
  EXPECT_NE(out.find("[L1A 010] :  cmd: token BCR value 3 0003 key 4\n"), std::string::npos);
  EXPECT_NE(out.find("[BCR 3] :  cmd: token L1A value 40 0028 key 2\n" + kKeywordPrompt),
            std::string::npos);
}

TEST(QemseqConsole, PlacedStreamsAsTheScanSeesThem) {
  Session run;
  const RunResult r =
      run.console(kOpen + "BCR 3\nL1A 20\nSCAN\nFILL\n\nBCR -1\nL1A 20\nECR 20\nSCAN\n");
  ASSERT_EQ(r.exitStatus, 0);
  const std::string out = r.out;
  // 'BCR 3' then 'L1A 20': L1ID 1, BCID 10.
  EXPECT_EQ(lineAfter(out, "L1A index 0014"),
            "L1A index 0014 start 0015 stop 003A BCID 00A L1ID 000001");
  // After FILL and 'BCR -1' (no entry): BCID = index - 6; the ECR replaced
  // the L1A but its trains stay, and L1IDs count on.
  const auto second = out.rfind("\nScan report:");
  ASSERT_NE(second, std::string::npos);
  const std::string rows = out.substr(out.rfind(" cmd: token SCAN"));
  EXPECT_NE(rows.find("\n 0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0\n"
                      " 2 30 20 30 20 20 20 20 20 20 20 20 "),
            std::string::npos)
      << rows.substr(0, 400);
  EXPECT_NE(out.find("ECR index 0014\n", second), std::string::npos);
  EXPECT_NE(out.find("ERROR: SerialID: index next 15 0\n", second), std::string::npos);

  // The previous L1A lies beyond a size shrunk since; the FILL cleared its
  // entry, so both lines start afresh right after the new L1A.
  Session shrunk;
  const RunResult s =
      shrunk.console(kOpen + "BCR 0\nL1A 0x3000\nFILL 0\nSIZE 0x40\nBCR 0\nL1A 10\nSCAN\n");
  ASSERT_EQ(s.exitStatus, 0);
  const std::string scan = s.out.substr(s.out.rfind(" cmd: token SCAN"));
  EXPECT_EQ(lineAfter(scan, "L1A index 000A"),
            "L1A index 000A start 000B stop 0030 BCID 003 L1ID 000002");
  EXPECT_EQ(scan.find("overflow"), std::string::npos);
  // L1IDs count on across FILLs; the scan expects 1 first.
  EXPECT_NE(scan.find("ERROR: nextL1ID: L1id  next 2 1\nScan end: non-zero bytes 15 errors 1\n"),
            std::string::npos)
      << scan;
}

TEST(QemseqConsole, UnknownMenuAndBlankLines) {
  Session run;
  const RunResult r = run.console(kOpen + "   \nFOO 3\nMENU 7\nHELP\n");
  ASSERT_EQ(r.exitStatus, 0);
  const std::string out = r.out;
  EXPECT_NE(out.find("[DUMP 1] :  cmd: token  value -999 fffffc19 key -999\nNONE\n"),
            std::string::npos);
  EXPECT_NE(out.find(" cmd: token FOO value 3 0003 key -999\nNONE\n"), std::string::npos);
  EXPECT_NE(out.find(" cmd: token MENU value 7 0007 key 1\n"
                     "HELP MENU  L1A  ECR  BCR  CAL DUMP FILL LOAD  RUN SCAN SIZE \n" +
                     kKeywordPrompt),
            std::string::npos);
  EXPECT_NE(out.find(" cmd: token HELP value -999 fffffc19 key 0\n\nHELP: description of commands\n"
                     "MENU: list of commands\n"),
            std::string::npos);
  EXPECT_NE(out.find("SIZE: set  buffer size\n\n" + kKeywordPrompt), std::string::npos);
}

TEST(QemseqConsole, BoundsAreRefusedAndChangeNothing) {
  Session run;
  const RunResult r = run.console(kOpen +
                                  "SIZE\n\nSIZE 0\nSIZE 0x4001\nSIZE -3\nECR 0x4000\nCAL -1\n"
                                  "BCR 0x4000\nL1A 0x100000000\nSIZE 0x10\nECR 0x10\nL1A 0x10\n"
                                  "ECR 0xF\nSCAN 0\n");
  ASSERT_EQ(r.exitStatus, 0);
  const std::string out = r.out;
  EXPECT_NE(out.find("[DUMP 1] : Enter sequencer RAM size [4x4000] :  cmd: token SIZE value 16384 "
                     "4000 key 11\n" + kKeywordPrompt),
            std::string::npos);
  EXPECT_NE(out.find("SIZE: 0 is outside 1 to 16384, size stays 16384\n"), std::string::npos);
  EXPECT_NE(out.find("SIZE: 16385 is outside 1 to 16384, size stays 16384\n"), std::string::npos);
  EXPECT_NE(out.find("SIZE: -3 is outside 1 to 16384, size stays 16384\n"), std::string::npos);
  EXPECT_NE(out.find("ECR: index 16384 is outside the buffer (0 to 16383), nothing changed\n"),
            std::string::npos);
  EXPECT_NE(out.find("CAL: index -1 is outside the buffer (0 to 16383), nothing changed\n"),
            std::string::npos);
  EXPECT_NE(out.find("BCR: index 16384 is outside the buffer (0 to 16383), nothing changed\n"),
            std::string::npos);
  EXPECT_NE(out.find("L1A: value 0X100000000 is wider than 32 bits, not carried out\n"),
            std::string::npos);
  EXPECT_NE(out.find("ECR: index 16 is outside the buffer (0 to 15), nothing changed\n"),
            std::string::npos);
  EXPECT_NE(out.find("\n Trouble at Mill \nL1A: index 16 is outside the buffer (0 to 15), not placed\n"),
            std::string::npos);
  // The refused BCR set no BCR index; the buffer of 16 holds only the ECR.
  EXPECT_NE(out.find("\n 0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  2\n\nScan report:\n"
                     "byte 0 size 64 incr 4 orbit -998\nECR index 000F\n"),
            std::string::npos)
      << out.substr(out.size() - 600);
}

// On the module model of the default crate: the sample command file builds
// a stream with a BCR and three L1As, scans, loads, runs and dumps the sink.
TEST(QemseqModule, SinkRepeatsThePlayedStream) {
  TempDir dir;
  RunOptions o;
  o.args = {sourcePath("examples/qemseq/qemky.dat")};
  o.env = {{"VME_SIM_TRACE", dir.file("bus.trace")}};
  o.timeoutMs = 20000;
  const RunResult r = runProgram("qemseq", o);
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out.find("ERROR"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Stand-alone clock is OFF"), std::string::npos);
  EXPECT_EQ(countOf(r.out, "Scan end: non-zero bytes 50 errors 0\n"), 2u);  // SCAN and DUMP 1
  EXPECT_NE(r.out.find("scan indexL1A = 203\nscan countL1A = 3\n"), std::string::npos);

  // The words loaded (first LOAD) and the words read back by the dump.
  std::vector<unsigned> loaded, dumped;
  bool started = false;
  for (const std::string& c : traceCycles(dir.file("bus.trace"))) {
    unsigned address = 0, value = 0;
    if (std::sscanf(c.c_str() + 10, "%x %x", &address, &value) != 2) continue;
    // Only the access check's D32 peek may end in a bus error (the module is D16).
    if (c.find("BERR") != std::string::npos && c.find(" D32 ") == std::string::npos)
      ADD_FAILURE() << c;
    const bool ram = address >= 0xF08000 && address < 0xF10000;
    if (c[0] == 'W' && address == 0xF0001A && value == 0x40FF) started = true;
    if (ram && c[0] == 'W' && !started) loaded.push_back(value);
    if (ram && c[0] == 'R' && started && dumped.size() < 0x400) dumped.push_back(value);
  }
  ASSERT_EQ(loaded.size(), 0x400u);
  ASSERT_EQ(dumped.size(), 0x400u);
  unsigned nonzero = 0;
  for (unsigned k = 0; k < 0x400; ++k) {
    EXPECT_EQ(dumped[k], (loaded[k] & 0xFF) * 0x101) << "word " << k;
    nonzero += loaded[k] != 0;
  }
  EXPECT_EQ(nonzero, 50u);
}

}  // namespace

namespace {

TEST(QemseqConsole, WindowThatCannotBeMappedEndsWithStatusTwo) {
  Session run;
  run.crate = run.dir.write("nomap.crate", "memory A24 0xF00000 size=0x10000\nlibrary map=-5\n");
  const RunResult r = run.console(kOpen);
  EXPECT_EQ(r.exitStatus, 2);  // the console is no file player: nothing was tested
  EXPECT_NE(r.out.find("VME window create error -5\n  mapped address = 00000000\n"
                       "Error opening VME window\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("Enter keyword"), std::string::npos);
  EXPECT_TRUE(run.cycles().empty());
}

}  // namespace
