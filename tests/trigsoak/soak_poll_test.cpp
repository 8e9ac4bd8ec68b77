// The soak's status poll against a board that answers on a script: the poll
// counts passes, not reads, and the calt message shows that count.
#include <gtest/gtest.h>

#include "buslib/nivxi.h"
#include "profile_in_force.h"
#include "trig_soak.h"

namespace {

// The whole binary runs with self-read prompts and one fixed pass.
const vmetest::ProfileInForce kSoakProfile{
    {.prompts = PromptStyle::SelfRead, .soak = {SoakLoops::Fixed, 1, false, false}}};

// After a calibration command the first status read shows 0x14 and every
// later one shows `after`, for `busyReads` reads still with the busy bit.
class ScriptedCalibration : public vmesim::Board {
 public:
  ScriptedCalibration(int busyReads, std::uint16_t after) : busy_(busyReads), after_(after) {}
  unsigned widths() const override { return vmesim::kD16; }
  bool read(std::uint32_t off, vmesim::Width, std::uint32_t& v) override {
    if (off == 0) {
      v = cmd_;
    } else if (cmd_ != 0x10) {
      v = 0;
    } else {
      const int n = reads_++;
      v = n == 0 ? 0x14u : n <= busy_ ? 0x10u : after_;
    }
    return true;
  }
  bool write(std::uint32_t off, vmesim::Width, std::uint32_t v) override {
    if (off == 0) {
      cmd_ = static_cast<std::uint16_t>(v);
      reads_ = 0;
    }
    return true;
  }

 private:
  int busy_;
  std::uint16_t after_;
  std::uint16_t cmd_ = 0;
  int reads_ = 0;
};

std::string soakOnce(int busyReads) {
  auto c = std::make_unique<vmesim::Crate>();
  vmesim::BoardConfig board;
  board.kind = "scripted";
  board.base = 0xFF0000;
  board.size = 0x10;
  c->add(board, std::make_unique<ScriptedCalibration>(busyReads, 0x03));
  vmesim::installCrate(std::move(c));
  (void)InitVXIlibrary();
  std::uint32_t window = 0;
  VXIstatus s = 0;
  const VmePtr p = MapVXIwindow(VXI_ACCESS_A24, 0xFF0000, 1000, &window, &s);
  EXPECT_EQ(s, 0);
  trigSetRegisters(p);
  testing::internal::CaptureStdout();
  runSoak();
  std::string out = testing::internal::GetCapturedStdout();
  UnmapVXIwindow(window);
  return out;
}

TEST(SoakPoll, CountsPassesOfTheCalibrationPoll) {
  // Busy clear at the first poll read: count 0.  Busy for 5 reads: count 5.
  // Busy for 150 reads: the poll gives up at POLL_LIMIT.
  EXPECT_NE(soakOnce(0).find("error calt 10 3 0 0\n"), std::string::npos);
  EXPECT_NE(soakOnce(5).find("error calt 10 3 0 5\n"), std::string::npos);
  const std::string out = soakOnce(150);
  EXPECT_NE(out.find("error calt 10 10 0 99\n"), std::string::npos) << out;
  EXPECT_NE(out.find("error counts = 1 0 "), std::string::npos) << out;
}

}  // namespace
