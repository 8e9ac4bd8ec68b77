// vmemtest end to end on the simulated memory board at A24 0x200000.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/pattern_rand.h"
#include "program_runner.h"

using namespace vmetest;

namespace {

using Cycles = std::vector<std::string>;

std::string verdicts(const std::string& out);

struct MemRun {
  RunResult run;
  Cycles cycles;  // after the open's check
};

// answers: offset, size, module code, trace mode, loops (one per line).
// status -1: the one the verdicts and notes give.
MemRun memtest(const std::string& answers, const std::string& crate = "", int status = -1) {
  TempDir dir;
  RunOptions o;
  o.input = "h200000\n" + answers;
  o.env["VME_SIM_TRACE"] = dir.file("bus.trace");
  if (!crate.empty()) o.env["VME_SIM_CRATE"] = sourcePath("examples/faults/" + crate);
  o.timeoutMs = 20000;
  MemRun r{runProgram("vmemtest", o), traceCycles(dir.file("bus.trace"))};
  EXPECT_FALSE(r.run.timedOut);
  // A failed verdict makes the status 1; a run without verdicts tested
  // nothing; a test skipped with its note leaves the run incomplete.
  const std::string v = verdicts(r.run.out);
  const bool skipped = r.run.out.find("boundary, not tested\n") != std::string::npos ||
                       r.run.out.find("window, not tested\n") != std::string::npos;
  if (status < 0)
    status = v.empty() ? 2 : v.find("Fail") != std::string::npos ? 1 : skipped ? 3 : 0;
  EXPECT_EQ(r.run.exitStatus, status) << v;
  // The summary line closes the tests, just before the close.
  const char* word[] = {"PASSED", "FAILED", "UNTESTED", "INCOMPLETE"};
  EXPECT_NE(r.run.out.find(std::string(": ") + word[status] + "\nVXI done.\n"),
            std::string::npos);
  EXPECT_EQ(r.run.err, "");  // no access left the window
  if (!r.cycles.empty()) r.cycles.erase(r.cycles.begin());
  return r;
}

std::string verdicts(const std::string& out) {
  std::string v;
  for (const char* name : {"Shift", "Masks", "Short", "Char", "Long"}) {
    auto p = out.find(std::string(name) + " test: ");
    if (p == std::string::npos) continue;
    v += out.substr(p, out.find('\n', p) - p + 1);
  }
  return v;
}

std::string allPass() { return "Masks test: Pass\nShort test: Pass\nChar test: Pass\nLong test: Pass\n"; }

Cycles matching(const Cycles& c, const std::string& prefix) {
  Cycles out;
  for (const auto& l : c)
    if (l.compare(0, prefix.size(), prefix) == 0) out.push_back(l);
  return out;
}

}  // namespace

TEST(MemtestRun, DefaultAnswersPassOnAHealthyBoard) {
  auto r = memtest("\n\n\n\n\n");
  const std::string tail =
      "long 4  int 4  short 2  char 1  bytes\n"
      "Enter start offset of memory to test [4x   0] : "
      "Enter size of memory to test in D16s [4x  10] : "
      "Testing 0x10 D16s from offset 0x0 in window\n"
      "0 pxCore\n1 pxLink\n2 BROOK \n3 Keeper\n4 Ridge \n5 pxFlow\n"
      "Enter module code [4x   2] : Register mask  contents: BROOK \n"
      "ffff ffdf    0 ffff ffff   ff    0    0    0    0    0    0    0    0    0    0 \n"
      "Current memory contents:\n"
      "ffff ffff ffff ffff ffff ffff ffff ffff ffff ffff ffff ffff ffff ffff ffff ffff \n"
      "Select trace mode option? [N] : Enter number of loops [4x   1] : " +
      allPass() + "vmemtest: 4 tests, 4 passed, 0 failed, 0 not run: PASSED\nVXI done.\n";
  ASSERT_GE(r.run.out.size(), tail.size());
  EXPECT_EQ(r.run.out.substr(r.run.out.size() - tail.size()), tail);
  EXPECT_NE(r.run.out.find("VME base address = 200000\n"), std::string::npos);
  // Masks and Short: 16 writes and 16 reads; Char 32 of each; Long 8.
  EXPECT_EQ(matching(r.cycles, "W A24 D16").size(), 32u);
  EXPECT_EQ(matching(r.cycles, "W A24 D8").size(), 32u);
  EXPECT_EQ(matching(r.cycles, "W A24 D32").size(), 8u);
  EXPECT_EQ(r.cycles.size(), 16u + 2 * 32 + 2 * 32 + 2 * 8);
}

TEST(MemtestRun, PatternsChangeFromLoopToLoopAndRepeatFromRunToRun) {
  auto a = memtest("\n\n\n\n3\n");
  auto b = memtest("\n\n\n\n3\n");
  EXPECT_EQ(verdicts(a.run.out), allPass());
  EXPECT_EQ(a.cycles, b.cycles);

  // Masks writes are 0..47 (three loops of 16), Short writes 48..95.
  Cycles w = matching(a.cycles, "W A24 D16");
  ASSERT_EQ(w.size(), 96u);
  EXPECT_EQ(w[0], "W A24 D16 00200000 0026");   // first draw after seed 0
  EXPECT_EQ(w[48], "W A24 D16 00200000 0026");
  for (std::size_t test : {0u, 48u})
    for (std::size_t loop = 1; loop < 3; ++loop)
      EXPECT_NE(Cycles(w.begin() + test + 16 * (loop - 1), w.begin() + test + 16 * loop),
                Cycles(w.begin() + test + 16 * loop, w.begin() + test + 16 * (loop + 1)))
          << "test at " << test << " loop " << loop;
  Cycles bytes = matching(a.cycles, "W A24 D8");
  ASSERT_EQ(bytes.size(), 96u);
  EXPECT_NE(Cycles(bytes.begin(), bytes.begin() + 32), Cycles(bytes.begin() + 32, bytes.begin() + 64));
  Cycles longs = matching(a.cycles, "W A24 D32");
  ASSERT_EQ(longs.size(), 24u);
  EXPECT_EQ(longs[0], "W A24 D32 00200000 00261E27");
  EXPECT_NE(Cycles(longs.begin(), longs.begin() + 8), Cycles(longs.begin() + 8, longs.begin() + 16));
}

TEST(MemtestRun, MasksSeedIsTheLastExpectedValueOfAMaskedWord) {
  // Keeper registers 0..3 have masks 0, FFFF, 0, FFFC; two loops.
  auto expectedWrites = [](unsigned size) {
    const std::uint16_t masks[] = {0, 0xFFFF, 0, 0xFFFC};
    Cycles out;
    std::uint32_t seed = 0;
    for (int loop = 0; loop < 2; ++loop) {
      vmeSrand(seed);
      for (unsigned j = 0; j < size; ++j) {
        const auto v = static_cast<unsigned>(vmeRand()) & masks[j];
        char line[40];
        std::snprintf(line, sizeof line, "W A24 D16 %08X %04X", 0x200000 + 2 * j, v);
        out.emplace_back(line);
        if (masks[j] != 0) seed = v;
      }
    }
    return out;
  };
  auto partial = memtest("0\n4\n3\n\n2\n");  // last mask FFFC: the masked value
  auto tail = memtest("0\n3\n3\n\n2\n");     // last mask 0: word 1's value
  const Cycles w4 = matching(partial.cycles, "W A24 D16");
  const Cycles w3 = matching(tail.cycles, "W A24 D16");
  ASSERT_GE(w4.size(), 8u);
  ASSERT_GE(w3.size(), 6u);
  EXPECT_EQ(Cycles(w4.begin(), w4.begin() + 8), expectedWrites(4));
  EXPECT_EQ(Cycles(w3.begin(), w3.begin() + 6), expectedWrites(3));
  EXPECT_NE(Cycles(w3.begin(), w3.begin() + 3), Cycles(w3.begin() + 3, w3.begin() + 6));
}

TEST(MemtestRun, FaultsFailTheTestsThatSeeThem) {
  struct Case {
    const char* crate;
    const char* verdicts;
  };
  const Case cases[] = {
      {"memory-stuck0.crate",
       "Masks test: Fail -- 0x1 (1) errors\nShort test: Fail -- 0x1 (1) errors\n"
       "Char test: Fail -- 0x2 (2) errors\nLong test: Fail -- 0x1 (1) errors\n"},
      {"memory-stuck1.crate",
       "Masks test: Fail -- 0x1 (1) errors\nShort test: Fail -- 0x1 (1) errors\n"
       "Char test: Fail -- 0x1 (1) errors\nLong test: Fail -- 0x1 (1) errors\n"},
      {"memory-alias.crate",
       "Masks test: Fail -- 0x3 (3) errors\nShort test: Fail -- 0x8 (8) errors\n"
       "Char test: Fail -- 0x10 (16) errors\nLong test: Fail -- 0x4 (4) errors\n"},
      {"memory-no-d8.crate",
       "Masks test: Pass\nShort test: Pass\nChar test: Fail -- 0x20 (32) errors\nLong test: Pass\n"},
      {"memory-no-d32.crate",
       "Masks test: Pass\nShort test: Pass\nChar test: Pass\nLong test: Fail -- 0x8 (8) errors\n"},
  };
  for (const Case& c : cases) {
    auto r = memtest("\n\n\n\n\n", c.crate);
    EXPECT_EQ(verdicts(r.run.out), c.verdicts) << c.crate;
  }
  // A Masks mismatch reads the error-marker word and names it.
  auto r = memtest("\n\n\n\n\n", "memory-stuck1.crate");
  EXPECT_NE(r.run.out.find("wrote 0985, read 09f5, ffff, error address ff06, short word 3\n"),
            std::string::npos);
  EXPECT_EQ(matching(r.cycles, "R A24 D16 0020FF06 FFFF").size(), 1u);
}

TEST(MemtestRun, TraceModePrintsOneLinePerWrite) {
  auto r = memtest("\n\n\ny\n\n");
  EXPECT_EQ(verdicts(r.run.out), allPass());
  EXPECT_EQ(countOf(r.run.out, ", mask "), 16u);
  EXPECT_EQ(countOf(r.run.out, "short word"), 32u);
  EXPECT_EQ(countOf(r.run.out, "char word"), 32u);
  EXPECT_EQ(countOf(r.run.out, "long word"), 8u);
  EXPECT_NE(r.run.out.find("wrote 0026, read 0026, mask ffff, short word 0\n"
                           "wrote 1e07, read 1e07, mask ffdf, short word 1\n"
                           "wrote 0000, read 0000, mask 0000, short word 2\n"),
            std::string::npos);
  EXPECT_NE(r.run.out.find("\nwrote 0026, read 0026, short word 0\n"), std::string::npos);
  EXPECT_NE(r.run.out.find("\nwrote 26, read 26, char word 0\n"), std::string::npos);
  EXPECT_NE(r.run.out.find("\nwrote 00261e27, read 00261e27, long word 0\n"), std::string::npos);
}

TEST(MemtestRun, BlockSizesZeroOddAndPastTheMasks) {
  // Size 0: every test passes and the block is never touched, so nothing
  // was tested.
  auto zero = memtest("\n0\n\n\n\n", "", 2);
  EXPECT_EQ(verdicts(zero.run.out), allPass());
  EXPECT_NE(zero.run.out.find("vmemtest: 4 tests, 0 passed, 0 failed, 4 not run (Masks Short Char "
                              "Long): UNTESTED\n"),
            std::string::npos);
  EXPECT_TRUE(zero.cycles.empty());
  EXPECT_NE(zero.run.out.find("Register mask  contents: BROOK \n\nCurrent memory contents:\n\n"),
            std::string::npos);
  EXPECT_EQ(zero.run.out.find("register_masks exceeded"), std::string::npos);

  // Three words: the Long test takes one D32 word, the trailing word is left.
  auto odd = memtest("\n3\n\ny\n\n");
  EXPECT_EQ(verdicts(odd.run.out), allPass());
  EXPECT_EQ(countOf(odd.run.out, "long word"), 1u);
  EXPECT_EQ(matching(odd.cycles, "W A24 D32"), Cycles{"W A24 D32 00200000 00261E27"});

  // 0x20 words: the warning, sixteen masks and sixteen words shown.
  auto big = memtest("\n20\n\n\n\n");
  EXPECT_EQ(verdicts(big.run.out), allPass());
  EXPECT_NE(big.run.out.find(" : \nregister_masks exceeded*\nRegister mask  contents: BROOK \n"
                             "ffff ffdf    0 ffff ffff   ff    0    0    0    0    0    0    0    0"
                             "    0    0 \nCurrent memory contents:\n" +
                             [] {
                               std::string s;
                               for (int i = 0; i < 16; ++i) s += "ffff ";
                               return s + "\n";
                             }()),
            std::string::npos);
  EXPECT_EQ(matching(big.cycles, "W A24 D16").size(), 64u);
}

TEST(MemtestRun, ModuleCodeOutsideTheTableIsAskedAgain) {
  // pxCore holds only the low seven bits of register 0: the stuck word 3
  // escapes the Masks test but not the Short test.
  auto r = memtest("0\n4\n9\n0\n\n\n", "memory-stuck1.crate");
  EXPECT_NE(r.run.out.find("Enter module code [4x   2] : module code 9 is not one of 0 to 5\n"
                           "0 pxCore\n"),
            std::string::npos);
  EXPECT_EQ(countOf(r.run.out, "Enter module code"), 2u);
  EXPECT_NE(r.run.out.find("Register mask  contents: pxCore\n  7f    0    0    0 \n"),
            std::string::npos);
  EXPECT_EQ(verdicts(r.run.out),
            "Masks test: Pass\nShort test: Fail -- 0x1 (1) errors\n"
            "Char test: Fail -- 0x1 (1) errors\nLong test: Fail -- 0x1 (1) errors\n");
}

TEST(MemtestRun, NoBlockOrMarkerOutsideTheWindow) {
  // 0x10 words from 0x7FF8 would end past the 64 KiB window.
  auto r = memtest("7ff8\n10\n7ff0\n10\n\n\n\n");
  EXPECT_NE(r.run.out.find("0x10 D16s from offset 0x7ff8 do not fit the window of 0x8000 D16s, "
                           "not tested\nEnter start offset of memory to test [4x   0] : "),
            std::string::npos);
  EXPECT_NE(r.run.out.find("Testing 0x10 D16s from offset 0x7ff0 in window\n"), std::string::npos);
  EXPECT_EQ(verdicts(r.run.out), allPass());

  // The shift module near the window's end: its markers cannot be read.
  auto shift = memtest("7ff0\n10\n5\n\n\n");
  EXPECT_NE(shift.run.out.find("error address ff06 is outside the window, not read\n"
                               "error address ff08 is outside the window, not read\n"
                               "Shift test: Fail -- 0x2 (2) errors\n"),
            std::string::npos);
  auto tiny = memtest("7ffc\n2\n5\n\n\n");
  EXPECT_NE(tiny.run.out.find("Shift test: registers 1 to 7 lie outside the window, not tested\n"
                              "Masks test: Pass\n"),
            std::string::npos);

  // D32 cycles only on a D32 boundary.
  auto odd = memtest("1\n4\n\n\n\n");
  EXPECT_NE(odd.run.out.find(
                "Long test: block at VME address 200002 is not on a D32 boundary, not tested\n"),
            std::string::npos);
  EXPECT_TRUE(matching(odd.cycles, "W A24 D32").empty());
}

TEST(MemtestRun, ShiftTestOrderAndErrorMarkers) {
  // Plain RAM does not shift registers 1 and 2 into 3 and 4.
  auto r = memtest("\n8\n5\ny\n\n");
  EXPECT_NE(r.run.out.find("Enter number of loops [4x   1] : "
                           "wrote abcd, read abcd, mask ffff, short word 1\n"
                           "wrote 0009, read 0009, mask 001f, short word 2\n"
                           "Shift test: Fail -- 0x2 (2) errors\n"),
            std::string::npos);
  const Cycles want = {"R A24 D16 0020000E FFFF", "R A24 D16 0020000A FFFF",
                       "W A24 D16 00200002 ABCD", "R A24 D16 00200002 ABCD",
                       "W A24 D16 00200004 0009", "R A24 D16 00200004 0009",
                       "R A24 D16 0020000C FFFF", "R A24 D16 00200006 FFFF",
                       "R A24 D16 0020FF06 FFFF", "R A24 D16 00200008 FFFF",
                       "R A24 D16 0020FF08 FFFF"};
  ASSERT_GE(r.cycles.size(), 8 + want.size());
  // After the eight words of the contents display.
  EXPECT_EQ(Cycles(r.cycles.begin() + 8, r.cycles.begin() + 8 + static_cast<long>(want.size())),
            want);
}

TEST(MemtestRun, EndOfInputEndsTheDialogueWithoutTesting) {
  // Input ends at the trace question: no pattern reaches the board.
  auto r = memtest("\n\n\n");
  EXPECT_EQ(verdicts(r.run.out), "");
  EXPECT_TRUE(matching(r.cycles, "W ").empty());
  EXPECT_TRUE(r.run.out.ends_with("\avmemtest: 0 tests, 0 passed, 0 failed, 0 not run: UNTESTED\n"
                                  "VXI done.\n"));

  // No answer at all: the default address is only peeked at.
  TempDir dir;
  RunOptions o;
  o.env["VME_SIM_TRACE"] = dir.file("bus.trace");
  auto none = runProgram("vmemtest", o);
  EXPECT_EQ(none.exitStatus, 2);  // nothing was tested
  const std::string tail =
      "long 4  int 4  short 2  char 1  bytes\n"
      "Enter start offset of memory to test [4x   0] : \a"
      "vmemtest: 0 tests, 0 passed, 0 failed, 0 not run: UNTESTED\nVXI done.\n";
  ASSERT_GE(none.out.size(), tail.size());
  EXPECT_EQ(none.out.substr(none.out.size() - tail.size()), tail);
  EXPECT_EQ(traceCycles(dir.file("bus.trace")).size(), 1u);
}

TEST(MemtestRun, WindowThatCannotBeMappedEndsWithStatusTwo) {
  TempDir dir;
  RunOptions o;
  o.input = "h200000\n";
  o.env["VME_SIM_CRATE"] = dir.write("nomap.crate", "memory A24 0x200000\nlibrary map=-5\n");
  auto r = runProgram("vmemtest", o);
  EXPECT_EQ(r.exitStatus, 2);
  EXPECT_NE(r.out.find("VME window create error -5\nVME base address = 200000\n"
                       "  mapped address = 00000000\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("Enter start offset"), std::string::npos);
}
