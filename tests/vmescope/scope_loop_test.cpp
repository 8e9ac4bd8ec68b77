// The endless scope loops: each is started, left with SIGINT once the bus
// trace shows it running, and followed by a second loop.  The trace between
// the single accesses must be the same group of cycles over and over.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "program_runner.h"

using namespace vmetest;

namespace {

using Cycles = std::vector<std::string>;

struct TwoLoops {
  RunResult run;
  Cycles cycles;  // after the open's check
};

constexpr int kWaitMs = 10000;
constexpr std::size_t kGrowth = 3000;  // trace lines a loop must add before SIGINT

std::size_t lineCount(const std::string& path) { return readLines(path).size(); }

// Answers up to the first loop, SIGINT, answers up to the second loop,
// SIGINT, end of input.
TwoLoops runTwoLoops(const std::string& prog, const std::string& first, const std::string& second,
                     const std::string& crate = "") {
  TempDir dir;
  const std::string trace = dir.file("bus.trace");
  RunOptions o;
  o.input = first;
  o.closeInput = false;
  o.env["VME_SIM_TRACE"] = trace;
  if (!crate.empty()) o.env["VME_SIM_CRATE"] = sourcePath("examples/faults/" + crate);
  ProgramSession s(prog, o);

  std::size_t from = 0;
  for (const std::string* next : {&second, static_cast<const std::string*>(nullptr)}) {
    EXPECT_TRUE(s.waitForOutput("Exit loop by  Control-C\n", kWaitMs, from));
    EXPECT_TRUE(s.waitForLines(trace, lineCount(trace) + kGrowth, kWaitMs));
    s.signal(SIGINT);
    EXPECT_TRUE(s.waitForOutput("\nExit loop\n", kWaitMs, from));
    from = s.output().rfind("\nExit loop\n") + 1;
    if (next != nullptr) s.send(*next);
  }
  s.closeInput();
  TwoLoops r{s.finish(kWaitMs), traceCycles(trace)};
  if (!r.cycles.empty()) r.cycles.erase(r.cycles.begin());
  return r;
}

// Walks the trace: single cycles in order, then a group repeated.
class TraceWalk {
 public:
  explicit TraceWalk(const Cycles& c) : c_(c) {}
  void once(const std::string& line) {
    ASSERT_LT(pos_, c_.size()) << "trace ends before " << line;
    EXPECT_EQ(c_[pos_], line) << "cycle " << pos_;
    ++pos_;
  }
  // Whole passes of group from here; a loop ends only between passes.
  std::size_t passes(const Cycles& group) {
    std::size_t n = 0;
    while (pos_ + group.size() <= c_.size() &&
           std::equal(group.begin(), group.end(), c_.begin() + static_cast<long>(pos_))) {
      pos_ += group.size();
      ++n;
    }
    return n;
  }
  bool atEnd() const { return pos_ == c_.size(); }
  std::size_t pos() const { return pos_; }

 private:
  const Cycles& c_;
  std::size_t pos_ = 0;
};

void expectEnded(const TwoLoops& r) {
  EXPECT_FALSE(r.run.timedOut);
  EXPECT_EQ(r.run.exitStatus, 0);
  EXPECT_EQ(countOf(r.run.out, "Exit loop by  Control-C\n"), 2u);
  EXPECT_EQ(countOf(r.run.out, "\nExit loop\n"), 2u);
  EXPECT_NE(r.run.out.find("VXI done.\n"), std::string::npos);
  EXPECT_EQ(r.run.err, "");
}

}  // namespace

TEST(ScopeLoop, ZeroWriteLoopThenReadLoopInD16) {
  if (!vmetest::hasPosixSignals()) GTEST_SKIP() << "Linux-only: POSIX signals";
  auto r = runTwoLoops("vmescope", "n\nn\nh200000\nn\ny\n6\n1234\ny\ny\nn\n", "\n\ny\n");
  expectEnded(r);
  // The next exchange defaults to the loop's offset.
  EXPECT_NE(r.run.out.find("\nExit loop\nEnter       byte address offset [4x   6] : "),
            std::string::npos);
  TraceWalk t(r.cycles);
  t.once("W A24 D16 00200006 1234");
  EXPECT_GT(t.passes({"W A24 D16 00200006 0000", "W A24 D16 00200006 1234"}), 100u);
  EXPECT_GT(t.passes({"R A24 D16 00200006 1234"}), 100u);
  EXPECT_TRUE(t.atEnd()) << "stray cycle " << t.pos() << ": " << r.cycles[t.pos()];
}

TEST(ScopeLoop, ReadOptionThenPlainWriteLoopInD32) {
  if (!vmetest::hasPosixSignals()) GTEST_SKIP() << "Linux-only: POSIX signals";
  auto r = runTwoLoops("vmescope", "n\nn\nh200000\ny\ny\n6\n12345678\ny\nn\ny\nn\n",
                       "\n0badcafe\ny\nn\nn\n");
  expectEnded(r);
  EXPECT_NE(r.run.out.find("Error message each loop? [N] : read  12345678\nExit loop by"),
            std::string::npos);
  TraceWalk t(r.cycles);
  t.once("W A24 D32 00200004 12345678");
  t.once("R A24 D32 00200004 12345678");
  EXPECT_GT(t.passes({"W A24 D32 00200004 12345678", "R A24 D32 00200004 12345678"}), 100u);
  t.once("W A24 D32 00200004 0BADCAFE");
  EXPECT_GT(t.passes({"W A24 D32 00200004 0BADCAFE"}), 100u);
  EXPECT_TRUE(t.atEnd()) << "stray cycle " << t.pos() << ": " << r.cycles[t.pos()];
}

TEST(ScopeLoop, ErrorMessageOptionComparesTheTypedValue) {
  if (!vmetest::hasPosixSignals()) GTEST_SKIP() << "Linux-only: POSIX signals";
  // 0x12345 writes 0x2345 in D16, so every pass reports a mismatch; the
  // second loop writes what reads back and reports none.
  auto r = runTwoLoops("vmescopeb", "\n\ny\n4\n12345\ny\nn\ny\ny\n", "\n55aa\ny\ny\ny\ny\n");
  expectEnded(r);
  TraceWalk t(r.cycles);
  t.once("W A32 D16 0D000004 2345");
  t.once("R A32 D16 0D000004 2345");
  const std::size_t first = t.passes({"W A32 D16 0D000004 2345", "R A32 D16 0D000004 2345"});
  EXPECT_GT(first, 100u);
  EXPECT_EQ(countOf(r.run.out, "read  2345 wrote 12345\n"), first);
  t.once("W A32 D16 0D000004 55AA");
  t.once("R A32 D16 0D000004 55AA");
  EXPECT_GT(t.passes({"W A32 D16 0D000004 0000", "W A32 D16 0D000004 55AA",
                      "R A32 D16 0D000004 55AA"}),
            100u);
  EXPECT_TRUE(t.atEnd()) << "stray cycle " << t.pos() << ": " << r.cycles[t.pos()];
  EXPECT_EQ(countOf(r.run.out, "wrote 55aa"), 0u);
}

TEST(ScopeLoop, WordScopeWritesBackWhatItRead) {
  if (!vmetest::hasPosixSignals()) GTEST_SKIP() << "Linux-only: POSIX signals";
  // Bits 0x00F0 of the word at byte 6 read 1: after the first pass the loop
  // writes the value read.
  auto r = runTwoLoops("vmescope16", "\n\ny\n3\n1234\ny\ny\nn\n", "\n100\ny\ny\ny\n",
                       "memory-stuck1.crate");
  expectEnded(r);
  EXPECT_NE(r.run.out.find("Zero register each loop? [N] : read  12f4\nExit loop by"),
            std::string::npos);
  TraceWalk t(r.cycles);
  t.once("W A32 D16 0D000006 1234");
  t.once("R A32 D16 0D000006 12F4");
  t.once("W A32 D16 0D000006 1234");
  t.once("R A32 D16 0D000006 12F4");
  EXPECT_GT(t.passes({"W A32 D16 0D000006 12F4", "R A32 D16 0D000006 12F4"}), 100u);
  // Zero option: 0 once before the loop and at the end of each pass.
  t.once("W A32 D16 0D000006 0100");
  t.once("R A32 D16 0D000006 01F0");
  t.once("W A32 D16 0D000006 0000");
  t.once("W A32 D16 0D000006 0100");
  t.once("R A32 D16 0D000006 01F0");
  t.once("W A32 D16 0D000006 0000");
  EXPECT_GT(t.passes({"W A32 D16 0D000006 01F0", "R A32 D16 0D000006 01F0",
                      "W A32 D16 0D000006 0000"}),
            100u);
  EXPECT_TRUE(t.atEnd()) << "stray cycle " << t.pos() << ": " << r.cycles[t.pos()];
}

TEST(ScopeLoop, ControlCOutsideALoopEndsTheProgram) {
  if (!vmetest::hasPosixSignals()) GTEST_SKIP() << "Linux-only: POSIX signals";
  TempDir dir;
  const std::string trace = dir.file("bus.trace");
  RunOptions o;
  o.input = "n\nn\nh200000\nn\ny\n6\n\ny\n";
  o.closeInput = false;
  o.env["VME_SIM_TRACE"] = trace;
  ProgramSession s("vmescope", o);
  ASSERT_TRUE(s.waitForOutput("Exit loop by  Control-C\n", kWaitMs));
  s.signal(SIGINT);
  ASSERT_TRUE(s.waitForOutput("\nExit loop\n", kWaitMs));
  // The dialogue goes on: its next question is flushed before the read
  // blocks.  One single read there, then Control-C at the question after it.
  const std::size_t exited = s.output().find("\nExit loop\n");
  ASSERT_TRUE(s.waitForOutput("Enter       byte address offset [4x   6] : ", kWaitMs, exited));
  s.send("8\n\nn\n");
  ASSERT_TRUE(s.waitForOutput("Enter       byte address offset [4x   8] : ", kWaitMs, exited));
  s.signal(SIGINT);
  auto r = s.finish(kWaitMs);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.signal, SIGINT);
  EXPECT_EQ(r.out.find("VXI done."), std::string::npos);
  // The trace holds every cycle up to the signal, the last line whole.
  const std::string text = readFile(trace);
  EXPECT_TRUE(text.ends_with("\nR A24 D16 00200008 FFFF\n")) << text.substr(text.size() > 100 ? text.size() - 100 : 0);
}
