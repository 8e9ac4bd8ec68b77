// qemtest against faulty modules: each fault crate of examples/faults makes
// exactly the tests that can see the fault fail; the faults of the TTC path
// are out of qemtest's reach and leave every test passing.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "param_name.h"
#include "program_runner.h"
#include "qemtest_common.h"

namespace {

using namespace qemtest_e2e;
using vmetest::countOf;
using vmetest::runProgram;
using vmetest::sourcePath;

using Names = std::vector<std::string>;

// Crate file (examples/faults/qem-NAME.crate) and the tests it fails.
const std::map<std::string, Names>& faultTable() {
  static const std::map<std::string, Names> table = {
      {"bcid-no-offset", {"BCID"}},
      {"burst-hang", {"BRST"}},
      {"cal-delay", {}},  // seen only in the BRST dumps, see below
      {"clock-off", {"RST", "CLK", "SEQ", "BCID", "SEQall"}},
      {"cmd-dead", {"CMD"}},
      {"ecr-immediate", {"CMD"}},
      {"l1id-no-carry", {"L1ID", "BRST"}},
      {"ram-alias", {"RAM", "SEQ"}},
      {"ram-stuck0", {"RAM", "SEQ"}},
      {"ram-stuck1", {"RAM", "SEQ"}},
      {"reset", {"RST"}},
      {"seq-hang", {"SEQ", "BCID", "SER", "SEQall"}},
      {"serial-id-bit", {"SER"}},
      {"serial-id-dead", {"SER", "CMD", "BRST"}},
      {"serial-tt-dead", {"SER", "CMD", "BRST"}},
      {"sink-dead", {"SEQ", "BCID", "SER", "SEQall"}},
      {"stuck0", {"REG"}},
      {"stuck1", {"RST", "REG"}},
  };
  return table;
}

std::string faultCrate(const std::string& name) {
  return sourcePath("examples/faults/qem-" + name + ".crate");
}

class QemtestFault : public testing::TestWithParam<std::string> {};

TEST_P(QemtestFault, FailsExactlyTheTestsThatSeeIt) {
  const std::string& name = GetParam();
  const auto r = runProgram("qemtest", options("", faultCrate(name)));
  // A failed verdict anywhere fails the run.
  EXPECT_EQ(r.exitStatus, faultTable().at(name).empty() ? 0 : 1);
  EXPECT_EQ(r.err, "");
  // Every test still runs and reports, in order.
  const auto v = verdicts(r.out);
  ASSERT_EQ(v.size(), testOrder().size()) << r.out;
  EXPECT_EQ(failed(r.out), faultTable().at(name)) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Crates, QemtestFault, testing::ValuesIn([] {
                           Names names;
                           for (const auto& [name, tests] : faultTable()) names.push_back(name);
                           return names;
                         }()),
                         [](const auto& p) { return vmetest::paramName(p.param); });

// A qem fault crate added to the examples gets an entry above.
TEST(QemtestFaultTable, CoversEveryQemFaultCrate) {
  namespace fs = std::filesystem;
  for (const auto& e : fs::directory_iterator(sourcePath("examples/faults"))) {
    const std::string file = e.path().filename().string();
    if (file.rfind("qem-", 0) != 0 || e.path().extension() != ".crate") continue;
    const std::string name = file.substr(4, file.size() - 4 - 6);
    EXPECT_EQ(faultTable().count(name), 1u) << file;
  }
}

// A late CAL-to-L1A delay passes every verdict (the scan errors of a dump are
// not counted), but the BRST dumps show it as pipeline errors.
TEST(QemtestFaultDump, CalDelayShowsInTheBurstDumps) {
  const auto r = runProgram("qemtest", options(answers("1", ""), faultCrate("cal-delay")));
  EXPECT_TRUE(failed(r.out).empty()) << r.out;
  const auto brst = r.out.find("BRST test: Enter");
  ASSERT_NE(brst, std::string::npos);
  EXPECT_GT(countOf(r.out.substr(brst), "ERROR: pipeline: index next"), 0u);
  EXPECT_EQ(countOf(r.out.substr(0, brst), "ERROR"), 0u);
}

// Without a RAM loop SEQ does not play the RAM, but its walking bits and
// commands still run: a fault they see fails it, another leaves it not run.
TEST(QemtestFaultNoRamLoop, SeqFailsOnlyOnWhatItsOwnWordsShow) {
  const std::pair<const char*, Names> cases[] = {
      {"sink-dead", {"SEQ", "BCID", "SER", "SEQall"}},
      {"ram-stuck1", {}},
  };
  for (const auto& [name, fails] : cases) {
    SCOPED_TRACE(name);
    const auto r = runProgram("qemtest", options("\n\n\n\n\n\n0\n", faultCrate(name)));
    EXPECT_EQ(r.exitStatus, fails.empty() ? 3 : 1);
    EXPECT_EQ(failed(r.out), fails) << r.out;
    EXPECT_EQ(countOf(r.out, "SEQ test: not run: the RAM test ran no loop\n"),
              fails.empty() ? 1u : 0u);
  }
}

// qemtest drives the module from VME only and waits for the TTCrx after each
// reset: faults of the TTC path and of the I2C port cannot show.
TEST(QemtestFaultUnseen, TtcPathFaultsLeaveEveryTestPassing) {
  for (const char* fault : {"ttcrx-late", "i2c-hang", "ttc-data-dead", "ttc-bcast-dead:2"}) {
    SCOPED_TRACE(fault);
    vmetest::TempDir dir;
    const auto r = runProgram("qemtest", options("", crateWith(dir, std::string("fault=") + fault)));
    EXPECT_EQ(verdicts(r.out).size(), testOrder().size());
    EXPECT_TRUE(failed(r.out).empty()) << r.out;
  }
}

}  // namespace
