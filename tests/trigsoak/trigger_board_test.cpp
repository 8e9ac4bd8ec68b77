// The trigger interface model on its own: command/status protocol, the
// self-clearing bits against the BC clock, the register block and the faults.
#include <gtest/gtest.h>

#include <string>

#include "crate/boards/trigger.h"

namespace {

using vmesim::Crate;
using vmesim::Space;
using vmesim::Width;

constexpr std::uint32_t kBase = 0xFF0000;

struct Bench {
  explicit Bench(const std::string& options = "") {
    std::string error;
    crate = Crate::parse("trigger A24 0xFF0000 " + options + "\n", "test", error);
    EXPECT_NE(crate, nullptr) << error;
  }
  void command(std::uint32_t v) { EXPECT_TRUE(crate->write(Space::A24, kBase, Width::D16, v)); }
  std::uint32_t reg(std::uint32_t off) {
    std::uint32_t v = 0;
    EXPECT_TRUE(crate->read(Space::A24, kBase + off, Width::D16, v));
    return v;
  }
  std::uint32_t status() { return reg(2); }
  // Status reads until the bits of mask are clear; returns the reads made.
  int readsUntilClear(std::uint32_t mask, int limit = 1000) {
    int n = 1;
    while ((status() & mask) != 0 && n < limit) ++n;
    return n;
  }
  std::unique_ptr<Crate> crate;
};

std::string parseError(const std::string& line) {
  std::string error;
  auto c = Crate::parse(line + "\n", "t.crate", error);
  return c ? "" : error;
}

TEST(TriggerBoard, AnswersEveryCommandOfTheProtocol) {
  Bench b;
  struct Row {
    std::uint32_t cmd, readBack, status;
  };
  // In order: each row is written after the one before it.
  const Row rows[] = {{0x00, 0x00, 0x00}, {0xFF, 0x00, 0x00}, {0x00, 0, 0}, {0x02, 0x02, 0x02},
                      {0x00, 0, 0},       {0x04, 0x04, 0x04}, {0x00, 0, 0}, {0x08, 0x08, 0x08},
                      {0x00, 0, 0},       {0x41, 0x41, 0x01}, {0x00, 0, 0}, {0x02, 0x02, 0x02},
                      {0x43, 0x43, 0x07}, {0x02, 0x02, 0x06}, {0x00, 0, 0}};
  for (const Row& r : rows) {
    b.command(r.cmd);
    EXPECT_EQ(b.reg(0), r.readBack) << "command " << std::hex << r.cmd;
    EXPECT_EQ(b.status(), r.status) << "command " << std::hex << r.cmd;
  }
}

TEST(TriggerBoard, CalibrationBusyThenDoneThenIdleWithinThePollBound) {
  Bench b;
  b.command(0x10);
  EXPECT_EQ(b.status(), 0x14u);
  const int busyReads = b.readsUntilClear(0x10);
  EXPECT_GT(busyReads, 2);    // a poll count worth showing
  EXPECT_LT(busyReads, 60);   // well inside 99 polls
  EXPECT_EQ(b.status(), 0x01u);
  const int doneReads = b.readsUntilClear(0x01);
  EXPECT_GT(doneReads, 1);
  EXPECT_LT(doneReads, 60);
  EXPECT_EQ(b.reg(0), 0x10u);
  EXPECT_EQ(b.status(), 0x00u);
}

TEST(TriggerBoard, TriggerBitClearsByItselfAndIdleClearsAtOnce) {
  Bench b;
  b.command(0x01);
  EXPECT_EQ(b.status(), 0x01u);
  const int reads = b.readsUntilClear(0x01);
  EXPECT_GT(reads, 1);
  EXPECT_LT(reads, 60);
  EXPECT_EQ(b.reg(0), 0x01u);

  b.command(0x10);
  b.command(0x00);
  EXPECT_EQ(b.status(), 0x00u);
}

TEST(TriggerBoard, AnswersD16OnlyAndTakesTheRegisterBlock) {
  Bench b;
  std::uint32_t v = 0;
  EXPECT_FALSE(b.crate->read(Space::A24, kBase, Width::D32, v));
  EXPECT_EQ(v, 0xFFFFFFFFu);
  EXPECT_FALSE(b.crate->read(Space::A24, kBase + 1, Width::D8, v));
  for (std::uint32_t off = 0x4; off <= 0xA; off += 2)
    EXPECT_TRUE(b.crate->write(Space::A24, kBase + off, Width::D16, 0x1200 + off));
  EXPECT_TRUE(b.crate->write(Space::A24, kBase + 2, Width::D16, 0x2000));  // strobe
  EXPECT_EQ(b.reg(0x4), 0x1204u);
  EXPECT_EQ(b.reg(0xA), 0x120Au);
  EXPECT_EQ(b.status(), 0x00u);  // a strobe is not a command
  EXPECT_FALSE(b.crate->write(Space::A24, kBase + 0xC, Width::D16, 0));
}

TEST(TriggerBoard, HangFaultsKeepTheirBitUntilIdle) {
  Bench cal("fault=cal-hang");
  cal.command(0x10);
  EXPECT_EQ(cal.readsUntilClear(0x10), 1000);
  EXPECT_EQ(cal.status(), 0x14u);
  cal.command(0x00);
  EXPECT_EQ(cal.status(), 0x00u);

  Bench trig("fault=trig-hang");
  trig.command(0x01);
  EXPECT_EQ(trig.readsUntilClear(0x01), 1000);
  trig.command(0x10);
  EXPECT_EQ(trig.readsUntilClear(0x10) < 60, true);
  EXPECT_EQ(trig.readsUntilClear(0x01), 1000);  // the done bit is the same bit
}

TEST(TriggerBoard, StuckAndFlakyFaults) {
  Bench stuck("fault=stuck1:0:0x80 fault=stuck1:2:0x01");
  stuck.command(0x02);
  EXPECT_EQ(stuck.reg(0), 0x82u);
  EXPECT_EQ(stuck.status(), 0x03u);

  Bench flaky("fault=flaky:3");
  flaky.command(0x04);
  EXPECT_EQ(flaky.status(), 0x04u);
  EXPECT_EQ(flaky.status(), 0x04u);
  EXPECT_EQ(flaky.status(), 0x05u);
  EXPECT_EQ(flaky.reg(0), 0x04u);  // command reads do not count
  EXPECT_EQ(flaky.status(), 0x04u);
  EXPECT_EQ(flaky.status(), 0x04u);
  EXPECT_EQ(flaky.status(), 0x05u);
}

TEST(TriggerBoard, BadFaultsAndOptionsAreParseErrors) {
  EXPECT_EQ(parseError("trigger A24 0xFF0000 fault=stuck1:2:0x01"), "");
  EXPECT_NE(parseError("trigger A24 0xFF0000 fault=stuck0:2:0x01"), "");
  EXPECT_NE(parseError("trigger A24 0xFF0000 fault=stuck1:3:0x01"), "");
  EXPECT_NE(parseError("trigger A24 0xFF0000 fault=stuck1:0xC:0x01"), "");
  EXPECT_NE(parseError("trigger A24 0xFF0000 fault=flaky:0"), "");
  EXPECT_NE(parseError("trigger A24 0xFF0000 fault=flaky"), "");
  EXPECT_NE(parseError("trigger A24 0xFF0000 fault=cal-hang:1"), "");
  EXPECT_NE(parseError("trigger A24 0xFF0000 firmware=9"), "");
  EXPECT_NE(parseError("trigger A24 0xFF0000 size=8"), "");
  EXPECT_NE(parseError("trigger A24 0xFF0000 size=0x10\ntrigger A24 0xFF0008"), "");
}

}  // namespace
