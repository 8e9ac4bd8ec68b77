// The programs end to end on each bus: through the stand-in of the kernel
// interface they print the same and trace the same as on the simulated
// crate.  Then the bus line, and the exit-time checks of the trace and of
// standard output.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "program_runner.h"

using namespace vmetest;

namespace {

constexpr int kTimeoutMs = 60000;
const char kStandin[] = "vme_user:standin";

struct Row {
  const char* name;  // test name
  const char* program;
  std::string input;
  std::string crate;  // examples/faults/NAME.crate, empty: the default crate
};

const std::string kMemtest = "h200000\n\n\n\n\n\n";

const Row kRows[] = {
    {"qemtest", "qemtest", "", ""},
    {"qemtest_ram_stuck1", "qemtest", "", "qem-ram-stuck1"},
    {"qemtest_clock_off", "qemtest", "", "qem-clock-off"},
    {"qemttc", "qemttc", "", ""},
    {"qemttc_ttc_data_dead", "qemttc", "", "ttc-data-dead"},
    {"vmemtest", "vmemtest", kMemtest, ""},
    {"vmemtest_no_d8", "vmemtest", kMemtest, "memory-no-d8"},
    {"vmemtest_no_d32", "vmemtest", kMemtest, "memory-no-d32"},
    {"trigsoak2", "trigsoak2", "", ""},
    {"trigsoak2_flaky", "trigsoak2", "", "trigger-flaky"},
    {"trigsoak2_absent", "trigsoak2", "", "trigger-absent"},
    {"trigprobe", "trigprobe", "\n", ""},
    {"trigprobe2_absent", "trigprobe2", "\n", "trigger-absent"},
};

bool sameFile(const std::string& a, const std::string& b) {
  std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
  std::vector<char> p(1 << 16), q(1 << 16);
  for (;;) {
    x.read(p.data(), static_cast<std::streamsize>(p.size()));
    y.read(q.data(), static_cast<std::streamsize>(q.size()));
    if (x.gcount() != y.gcount() || !std::equal(p.begin(), p.begin() + x.gcount(), q.begin()))
      return false;
    if (x.gcount() == 0) return true;
  }
}

class OnEachBus : public testing::TestWithParam<Row> {};

TEST_P(OnEachBus, StandinPrintsAndTracesAsTheSimulatedCrate) {
  const Row& row = GetParam();
  TempDir dir;
  RunResult r[2];
  const char* buses[2] = {"sim", kStandin};
  for (int i = 0; i < 2; ++i) {
    RunOptions o = withInput(row.input, {{"VME_BUS", buses[i]},
                                         {"VME_SIM_TRACE", dir.file(buses[i])}});
    if (!row.crate.empty())
      o.env["VME_SIM_CRATE"] = sourcePath("examples/faults/" + row.crate + ".crate");
    // The kernel interface has no device table of its own: the file gives the
    // crate's.
    if (i == 1 && row.crate.empty()) o.env["VME_DEVICE_TABLE"] = dir.write("devices", "# name logical-address\nLOBBO 4\n");
    o.timeoutMs = kTimeoutMs;
    r[i] = runProgram(row.program, o);
    ASSERT_FALSE(r[i].timedOut) << buses[i];
  }
  EXPECT_NE(r[1].bus.find("stand-in"), std::string::npos) << r[1].bus;
  EXPECT_EQ(r[1].exitStatus, r[0].exitStatus);
  EXPECT_EQ(r[1].out, r[0].out);
  EXPECT_EQ(r[1].err, r[0].err);
  EXPECT_GT(traceCycles(dir.file("sim")).size(), 10u);
  EXPECT_TRUE(sameFile(dir.file("sim"), dir.file(kStandin)));
}

INSTANTIATE_TEST_SUITE_P(Programs, OnEachBus, testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });

// A scope loop, ended by Control-C: the same transcript, and the same cycles
// as far as the shorter trace goes.
TEST(OnEachBusLoop, ScopeLoopThroughTheStandin) {
  TempDir dir;
  std::vector<std::string> cycles[2];
  std::string out[2];
  const char* buses[2] = {"sim", kStandin};
  for (int i = 0; i < 2; ++i) {
    RunOptions o;
    o.input = "n\nn\nh200000\nn\ny\n6\n1234\ny\ny\nn\n";
    o.closeInput = false;
    o.env = {{"VME_BUS", buses[i]}, {"VME_SIM_TRACE", dir.file(buses[i])}};
    ProgramSession s("vmescope", o);
    ASSERT_TRUE(s.waitForOutput("Exit loop by  Control-C\n", kTimeoutMs));
    ASSERT_TRUE(s.waitForLines(dir.file(buses[i]), 3000, kTimeoutMs));
    s.signal(SIGINT);
    ASSERT_TRUE(s.waitForOutput("\nExit loop\n", kTimeoutMs));
    s.closeInput();
    const RunResult r = s.finish(kTimeoutMs);
    EXPECT_EQ(r.exitStatus, 0);
    out[i] = r.out;
    cycles[i] = traceCycles(dir.file(buses[i]));
  }
  EXPECT_EQ(out[1], out[0]);
  const std::size_t n = std::min(cycles[0].size(), cycles[1].size());
  ASSERT_GT(n, 3000u);
  EXPECT_TRUE(std::equal(cycles[0].begin(), cycles[0].begin() + static_cast<long>(n),
                         cycles[1].begin()));
  EXPECT_EQ(cycles[1][2], "W A24 D16 00200006 0000");
}

// A bridge that does not check for bus errors (the Tsi148 driver without
// err_chk=1): the missing board reads all ones, nothing counts it, and the
// library says so once when the driver shows its check is off.
TEST(OnEachBusUnchecked, BusErrorsUncountedAndSaidOnce) {
  for (const char* errChk : {"N\n", "Y\n"}) {
    TempDir dir;
    RunOptions o = withInput("", {{"VME_BUS", kStandin},
                                  {"VME_STANDIN_NO_BERR_CHECK", "1"},
                                  {"VME_TSI148_ERR_CHK_FILE", dir.write("err_chk", errChk)},
                                  {"VME_SIM_TRACE", dir.file("trace")}});
    o.env["VME_SIM_CRATE"] = sourcePath("examples/faults/trigger-absent.crate");
    const RunResult r = runProgram("trigsoak2", o);
    const bool off = errChk[0] == 'N';
    const std::string warning = "vme-bus: vme_tsi148 does not check for bus errors";
    EXPECT_EQ(r.err.find(warning) != std::string::npos, off) << errChk << r.err;
    EXPECT_EQ(r.err.find(warning), r.err.rfind(warning));
    const std::vector<std::string> cycles = traceCycles(dir.file("trace"));
    ASSERT_GT(cycles.size(), 100u);
    for (const std::string& c : cycles) ASSERT_EQ(c.find("BERR"), std::string::npos) << c;
  }
}

// The line naming the bus, and the choice of the bus.
TEST(BusLine, NamesTheBusAndItsCrateOrDevices) {
  TempDir dir;
  const std::string crate = sourcePath("examples/faults/qem-reset.crate");
  struct Case {
    std::map<std::string, std::string> env;
    std::string bus;
  };
  const Case cases[] = {
      {{}, "vme-bus: using the simulated crate (built-in default)\n"},
      {{{"VME_BUS", ""}, {"VME_SIM_CRATE", crate}}, "vme-bus: using the simulated crate " + crate + "\n"},
      {{{"VME_BUS", kStandin}},
       "vme-bus: using the stand-in of the kernel VME interface over the simulated crate "
       "(built-in default)\n"},
      {{{"VME_BUS", "vme_user:" + dir.path()}},
       "vme-bus: using the kernel VME interface in " + dir.path() + "\n"},
  };
  for (const Case& c : cases) {
    const RunResult r = runProgram("trigsoak2", withInput("", c.env));
    EXPECT_EQ(r.bus, c.bus);
  }

  // A device folder without devices: one line naming the device, then the
  // program's own window messages.  No cycle is made.
  const RunResult r = runProgram(
      "qemtest", withInput("", {{"VME_BUS", "vme_user:" + dir.path()},
                                {"VME_SIM_TRACE", dir.file("t")}}));
  EXPECT_EQ(r.err, "vme-bus: " + dir.path() + "/m0: No such file or directory\n");
  EXPECT_NE(r.out.find("VME window create error -1\n  mapped address = 00000000\n"),
            std::string::npos)
      << r.out;
  EXPECT_TRUE(traceCycles(dir.file("t")).empty());

  const RunResult bad = runProgram("qemtest", withInput("", {{"VME_BUS", "pci"}}));
  EXPECT_EQ(bad.exitStatus, 2);
  EXPECT_EQ(bad.out, "");
  EXPECT_EQ(countOf(bad.err, "\n"), 1u) << bad.err;
  EXPECT_NE(bad.err.find("VME_BUS=pci"), std::string::npos);
}

// Output that cannot be written is no success: one line, status 2.
// The device table file is text like every other: CR LF is a line end; a
// directory or a file with a NUL byte is said once and finds nothing.
TEST(DeviceTable, ReadWholeOrRefused) {
  TempDir dir;
  struct Case {
    std::string table;
    std::string device;
    std::string err;
  };
  const Case cases[] = {
      {dir.write("crlf", "# name logical-address\r\nLOBBO 7\r\n"), "logical address 7 return 0", ""},
      {dir.path(), "logical address -1 return -1", "Is a directory"},
      {dir.write("nul", std::string("LOBBO 7\0 x\n", 11)), "logical address -1 return -1", "NUL"},
  };
  for (const Case& c : cases) {
    const RunResult r = runProgram("trigprobe2", withInput("\n", {{"VME_DEVICE_TABLE", c.table}}));
    EXPECT_EQ(r.exitStatus, 0) << c.table;
    EXPECT_NE(r.out.find("Device Lobbo " + c.device + "\n"), std::string::npos) << c.table;
    if (c.err.empty()) EXPECT_EQ(r.err, "") << c.table;
    else EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
}

TEST(ExitChecks, TraceOrStandardOutputThatCannotBeWritten) {
  TempDir dir;
  const RunResult good = runProgram("qemtest", withInput("", {{"VME_TRACE", dir.file("good")}}));
  ASSERT_EQ(good.exitStatus, 0);

  for (const char* name : {"VME_SIM_TRACE", "VME_TRACE"}) {
    const RunResult r = runProgram("qemtest", withInput("", {{name, "/dev/full"}}));
    EXPECT_EQ(r.exitStatus, 2) << name;
    EXPECT_EQ(r.err, "vme-bus: trace file /dev/full cannot be written: No space left on device\n");
    EXPECT_EQ(r.out, good.out) << "the console is as ever";
  }

  RunOptions full = withInput("");
  full.outFile = "/dev/full";
  RunResult r = runProgram("qemtest", full);
  EXPECT_EQ(r.exitStatus, 2);
  // The reason is known only when the last write fails.
  EXPECT_TRUE(r.err.starts_with("qemtest: write error on standard output")) << r.err;
  EXPECT_EQ(countOf(r.err, "\n"), 1u) << r.err;

  // Standard output closed: the trace must not take its descriptor.
  RunOptions closed = withInput("", {{"VME_SIM_TRACE", dir.file("closed")}});
  closed.outFile = "-";
  r = runProgram("qemtest", closed);
  EXPECT_EQ(r.exitStatus, 2);
  EXPECT_EQ(r.err, "qemtest: write error on standard output: Bad file descriptor\n");
  EXPECT_EQ(readFile(dir.file("closed")), readFile(dir.file("good")));
  const std::regex cycle("[RW] A(24|32) D(8|16|32) [0-9A-F]{8} [0-9A-F]{2,8}( BERR)?|# .*");
  for (const std::string& line : readLines(dir.file("closed")))
    ASSERT_TRUE(std::regex_match(line, cycle)) << line;
}

}  // namespace
