// The programs end to end on each bus: through the stand-in of the kernel
// interface (where the kernel method is built) and through the stand-in of
// the CAEN library they print the same and trace the same as on the
// simulated crate.  Then the bus line, the CAEN bridge's failures and the
// device table.  What needs Linux is in bus_run_linux_test.cpp.
#include "bus_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "program_runner.h"

#include <gmock/gmock.h>

using namespace vmetest;
using namespace vmetest::busrun;
using testing::HasSubstr;
using testing::EndsWith;

namespace {

struct Row {
  const char* name;  // test name
  const char* program;
  std::string input;
  std::string crate;  // examples/faults/NAME.crate, empty: the default crate
  const char* bus = kStandin;  // compared with sim
  std::string script = {};  // a vmescript file, given as its argument
  std::string traced = {};  // a cycle both traces hold
};

// A row as gtest lists it.
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

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
    // The stand-in serves the crate's device table, as the simulated crate.
    {"trigprobe2", "trigprobe2", "\n", ""},
    {"trigprobe3", "trigprobe3", "\n", ""},
    // A misaligned D16 cycle is a bus error on every bus, before the bus.
    {"vmescript_misaligned", "vmescript", "", "", kStandin, "200001\n0 1234\n0\n",
     "W A24 D16 00200001 1234 BERR"},
    {"caen_qemtest", "qemtest", "", "", kCaen},
    {"caen_qemtest_ram_stuck1", "qemtest", "", "qem-ram-stuck1", kCaen},
    {"caen_qemttc", "qemttc", "", "", kCaen},
    {"caen_qemttc_ttc_data_dead", "qemttc", "", "ttc-data-dead", kCaen},
    {"caen_vmemtest", "vmemtest", kMemtest, "", kCaen},
    {"caen_vmemtest_no_d8", "vmemtest", kMemtest, "memory-no-d8", kCaen},
    {"caen_trigprobe", "trigprobe", "\n", "", kCaen},
    {"caen_trigprobe_flaky", "trigprobe", "\n", "trigger-flaky", kCaen},
    {"visa_qemtest", "qemtest", "", "", kVisa},
    {"visa_qemtest_clock_off", "qemtest", "", "qem-clock-off", kVisa},
    {"visa_qemttc", "qemttc", "", "", kVisa},
    {"visa_qemttc_ttc_data_dead", "qemttc", "", "ttc-data-dead", kVisa},
    {"visa_vmemtest", "vmemtest", kMemtest, "", kVisa},
    {"visa_vmemtest_no_d32", "vmemtest", kMemtest, "memory-no-d32", kVisa},
    {"visa_trigprobe", "trigprobe", "\n", "", kVisa},
    {"visa_trigprobe_flaky", "trigprobe", "\n", "trigger-flaky", kVisa},
};

#ifdef VME_NIVXI_STANDIN
// The NI-VXI method (32-bit Windows) on its stand-in library.
const Row kNivxiRows[] = {
    {"nivxi_qemtest", "qemtest", "", "", kNivxi},
    {"nivxi_qemtest_clock_off", "qemtest", "", "qem-clock-off", kNivxi},
    {"nivxi_qemttc", "qemttc", "", "", kNivxi},
    {"nivxi_qemttc_ttc_data_dead", "qemttc", "", "ttc-data-dead", kNivxi},
    {"nivxi_vmemtest", "vmemtest", kMemtest, "", kNivxi},
    {"nivxi_vmemtest_no_d32", "vmemtest", kMemtest, "memory-no-d32", kNivxi},
    {"nivxi_trigprobe", "trigprobe", "\n", "", kNivxi},
    {"nivxi_trigprobe_flaky", "trigprobe", "\n", "trigger-flaky", kNivxi},
    // The device table is the library's FindDevLA.
    {"nivxi_trigprobe2", "trigprobe2", "\n", "", kNivxi},
};
#endif

// The bus line's words for a bus.
const char* busWords(const std::string& bus) {
  return bus == kCaen    ? "CAEN bridge V1718"
         : bus == kVisa  ? "VISA resource VXI0::MEMACC"
         : bus == kNivxi ? "NI-VXI library"
                         : "stand-in";
}

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
  const char* buses[2] = {"sim", row.bus};
  for (int i = 0; i < 2; ++i) {
    RunOptions o = withInput(row.input, {{"VME_BUS", buses[i]},
                                         {"VME_SIM_TRACE", dir.file(buses[i])},
                                         {"VME_CAEN_LIBRARY", kCaenLib},
                                         {"VME_VISA_LIBRARY", kVisaLib}});
#ifdef VME_NIVXI_STANDIN
    o.env["VME_NIVXI_LIBRARY"] = kNivxiLib;
#endif
    if (!row.crate.empty())
      o.env["VME_SIM_CRATE"] = sourcePath("examples/faults/" + row.crate + ".crate");
    if (!row.script.empty()) o.args = {dir.write("script", row.script)};
    o.timeoutMs = kTimeoutMs;
    r[i] = runProgram(row.program, o);
    ASSERT_FALSE(r[i].timedOut) << buses[i];
  }
  EXPECT_NE(r[1].bus.find(busWords(row.bus)), std::string::npos) << r[1].bus;
  EXPECT_EQ(r[1].exitStatus, r[0].exitStatus);
  EXPECT_EQ(r[1].out, r[0].out);
  // A long soak's progress lines come every 10 s, by the clock, not the bus.
  const std::regex progress("[a-z0-9]+: [0-9]+ iterations, [^\n]* iterations/s\n");
  EXPECT_EQ(std::regex_replace(r[1].err, progress, ""), std::regex_replace(r[0].err, progress, ""));
  // The first cycles are enough to know the trace is one (a soak's is 300 MB).
  std::ifstream trace(dir.file("sim"), std::ios::binary);
  std::size_t first = 0;
  for (std::string line; first <= 10 && std::getline(trace, line);) first += line[0] != '#';
  EXPECT_GT(first, row.script.empty() ? 10u : 2u);
  EXPECT_TRUE(sameFile(dir.file("sim"), dir.file(row.bus)));
  if (!row.traced.empty()) {
    const auto cycles = traceCycles(dir.file(row.bus));
    EXPECT_NE(std::find(cycles.begin(), cycles.end(), row.traced), cycles.end()) << row.traced;
  }
  if (std::string(row.program) == "vmescript") {
    EXPECT_NE(r[1].out.find(" read: ffff\n"), std::string::npos) << r[1].out;
  }
  if (std::string(row.program).starts_with("trigprobe") && row.crate.empty() &&
      std::string(row.program) != "trigprobe") {
    EXPECT_NE(r[1].out.find("Device Lobbo logical address 4 return 0\n"), std::string::npos);
  }
}

// The kernel method's rows where it is built.
std::vector<Row> rowsHere() {
  std::vector<Row> rows;
  for (const Row& row : kRows)
    if (hasKernelMethod() || row.bus != std::string(kStandin)) rows.push_back(row);
#ifdef VME_NIVXI_STANDIN
  rows.insert(rows.end(), std::begin(kNivxiRows), std::end(kNivxiRows));
#endif
  return rows;
}

INSTANTIATE_TEST_SUITE_P(Programs, OnEachBus, testing::ValuesIn(rowsHere()),
                         [](const auto& row) { return std::string(row.param.name); });

// The line naming the bus, and the choice of the bus.
TEST(BusLine, NamesTheBusAndItsCrateOrDevices) {
  TempDir dir;
  const std::string crate = sourcePath("examples/faults/qem-reset.crate");
  struct Case {
    std::map<std::string, std::string> env;
    std::string bus;
  };
  std::vector<Case> cases = {
      {{}, "vme-bus: using the simulated crate (built-in default)\n"},
      {{{"VME_BUS", ""}, {"VME_SIM_CRATE", crate}}, "vme-bus: using the simulated crate " + crate + "\n"},
      {{{"VME_BUS", "caen:a3818:2:1"}, {"VME_CAEN_LIBRARY", kCaenLib}},
       "vme-bus: using the CAEN bridge A3818 link 2 node 1 through " + kCaenLib + "\n"},
      {{{"VME_BUS", "caen:ETH_V4718:192.0.2.7"}, {"VME_CAEN_LIBRARY", kCaenLib}},
       "vme-bus: using the CAEN bridge ETH_V4718 host 192.0.2.7 node 0 through " + kCaenLib + "\n"},
      {{{"VME_BUS", "caen:V1718:00000000001:0007"}, {"VME_CAEN_LIBRARY", kCaenLib}},
       "vme-bus: using the CAEN bridge V1718 link 1 node 7 through " + kCaenLib + "\n"},
  };
  if (hasKernelMethod()) {
    cases.push_back({{{"VME_BUS", kStandin}},
                     "vme-bus: using the stand-in of the kernel VME interface over the simulated "
                     "crate (built-in default)\n"});
    cases.push_back({{{"VME_BUS", "vme_user:" + dir.path()}},
                     "vme-bus: using the kernel VME interface in " + dir.path() + "\n"});
  }
  for (const Case& c : cases) {
    const RunResult r = runProgram("trigsoak2", withInput("", c.env));
    EXPECT_EQ(r.bus, c.bus);
    if (c.bus.find("CAEN") != std::string::npos) {
      EXPECT_EQ(r.exitStatus, 0) << r.err;
    }
  }

  for (const char* value : {"pci", "caen", "caen::", "caen:V1718", "caen:V1718:0:0:0"}) {
    const RunResult bad = runProgram("qemtest", withInput("", {{"VME_BUS", value}}));
    EXPECT_EQ(bad.exitStatus, 2);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(countOf(bad.err, "\n"), 1u) << bad.err;
    EXPECT_NE(bad.err.find(std::string("VME_BUS=") + value + ": "), std::string::npos) << bad.err;
  }
  if (!hasKernelMethod()) return;

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
}

// A test binary run by hand on a computer with a VME bus: its own bus is the
// default simulated crate whatever the environment says.
TEST(BusLine, TestBinariesRunOnTheSimulatedCrateWhateverTheEnvironment) {
  TempDir dir;
  for (const char* bus : {"vme_user", "caen:V1718:0", "vme_user:standin"}) {
    RunOptions o = withInput("", {{"VME_BUS", bus},
                                  {"VME_SIM_CRATE", dir.write("bad.crate", "oops\n")},
                                  {"VME_TRACE", dir.file("trace")}});
    o.args = {"--gtest_filter=SimulatedOnly.*"};
    const RunResult r = runProgram("../tests/buslib_tests", o);
    EXPECT_EQ(r.exitStatus, 0) << bus << "\n" << r.out << r.err;
    EXPECT_EQ(r.bus, "vme-bus: using the simulated crate (built-in default)\n") << bus;
    EXPECT_NE(r.out.find("[  PASSED  ] 1 test."), std::string::npos) << bus << "\n" << r.out;
  }
  EXPECT_FALSE(std::ifstream(dir.file("trace")).good());
}

// A CAEN bridge, a VISA resource or the NI-VXI library (32-bit Windows)
// that cannot be opened: one line naming
// the bridge and the reason before anything else, status 2 and no cycle.  A
// link lost or a time-out in the middle of a run: said once, the run goes on
// and ends with status 2; a bus error there is only a bus error.  A CAEN
// library without CAENVME_Init2 opens with CAENVME_Init.
TEST(BridgeLibraries, FailuresAndTheOlderOpen) {
  TempDir dir;
  const std::string noInit2 = VME_CAEN_STANDIN_NOINIT2;
  const std::string missing = dir.file("libCAENVME.so");
  // A library of the system's own that is no CAEN library.
  const char* other = hasKernelMethod() ? "libm.so.6" : "kernel32.dll";
  struct Case {
    const char* bus;
    std::map<std::string, std::string> env;
    std::string err;  // the one line, or "" for a run that works
    int status;
  };
  const std::string v1718 = "vme-bus: CAEN bridge V1718 link 0: ";
  const std::string visa = "vme-bus: VISA resource VXI0::MEMACC through ";
  const std::string visaStandin = visa + kVisaLib + ": ";
  const std::string knob = v1718 + "CAENVME_Init2 failed: CAEN_STANDIN_";
  std::vector<Case> cases = {
      {kCaen, {{"VME_CAEN_LIBRARY", missing}}, v1718 + "cannot load the library: " + missing, 2},
      {kCaen, {{"VME_CAEN_LIBRARY", other}}, v1718 + "the library has no CAENVME_Init: ", 2},
      {"caen:V1719:0", {}, "vme-bus: CAEN bridge V1719 link 0: not a board type of the library", 2},
      {"caen:v1718:usb0", {}, "vme-bus: CAEN bridge V1718 link usb0: the link is not a number", 2},
      {"caen:A3818:0:-1", {}, "vme-bus: CAEN bridge A3818 link 0: node -1 is not a number", 2},
      {"caen:V1718:004294967296", {}, "vme-bus: CAEN bridge V1718 link 004294967296: the link", 2},
      {"caen:A3818:0:0032768", {}, "vme-bus: CAEN bridge A3818 link 0: node 0032768 is not a", 2},
      {kCaen, {{"VME_CAEN_LIBRARY", dir.path()}},
       v1718 + "cannot load the library: " + dir.path() + ": not a regular file\n", 2},
      // A stand-in setting it cannot read injects nothing: the open fails.
      {kCaen, {{"CAEN_STANDIN_OPEN_FAILS", "abc"}},
       knob + "OPEN_FAILS=abc: expected a negative error code (-3)\n", 2},
      {kCaen, {{"CAEN_STANDIN_OPEN_FAILS", "1"}}, knob + "OPEN_FAILS=1: expected a negative", 2},
      {kCaen, {{"CAEN_STANDIN_COMM_ERROR_AFTER", "1e3"}},
       knob + "COMM_ERROR_AFTER=1e3: expected a count of cycles (-3)\n", 2},
      {kCaen, {{"CAEN_STANDIN_COMM_ERROR_AFTER", "-5"}}, knob + "COMM_ERROR_AFTER=-5: expected", 2},
      {kCaen, {{"CAEN_STANDIN_COMM_ERROR_AFTER", "1000 "}}, knob + "COMM_ERROR_AFTER=1000 : ", 2},
      {kCaen, {{"CAEN_STANDIN_COMM_ERROR_AFTER", "100"}, {"CAEN_STANDIN_COMM_ERROR_CODE", "2"}},
       knob + "COMM_ERROR_CODE=2: expected a negative error code (-3)\n", 2},
      {kCaen, {{"CAEN_STANDIN_OPEN_FAILS", "-2"}},
       v1718 + "CAENVME_Init2 failed: Communication error (-2)\n", 2},
      {"caen:USB_A4818:49086", {{"VME_CAEN_LIBRARY", noInit2}},
       "vme-bus: CAEN bridge USB_A4818 PID 49086: the library has no CAENVME_Init2, and "
       "CAENVME_Init takes no number over 32767\n", 2},
      {"caen:ETH_V4718:192.0.2.7", {{"VME_CAEN_LIBRARY", noInit2}},
       "vme-bus: CAEN bridge ETH_V4718 host 192.0.2.7: the library has no CAENVME_Init2, and "
       "CAENVME_Init takes no host name\n", 2},
      {kCaen, {{"VME_CAEN_LIBRARY", noInit2}, {"CAEN_STANDIN_OPEN_FAILS", "-6"}},
       v1718 + "CAENVME_Init failed: Device already open (-6)\n", 2},
      {kCaen, {{"CAEN_STANDIN_COMM_ERROR_AFTER", "100"}},
       v1718 + "CAENVME_ReadCycle at A24 0x00F00030: Communication error (-2); the results "
       "of this run cannot be trusted\n", 2},
      {kCaen, {{"CAEN_STANDIN_COMM_ERROR_AFTER", "5000"}, {"CAEN_STANDIN_COMM_ERROR_CODE", "-5"}},
       v1718 + "CAENVME_ReadCycle at A24 0x00F091B4: Timeout error (-5); ", 2},
      {kCaen, {{"VME_CAEN_LIBRARY", noInit2}}, "", 0},
      {"caen:ETH_V4718:192.0.2.7:0", {}, "", 0},
      {kVisa, {{"VME_VISA_LIBRARY", missing}}, visa + missing + ": cannot load the library: " + missing, 2},
      {kVisa, {{"VME_VISA_LIBRARY", other}}, "vme-bus: VISA resource VXI0::MEMACC through " +
       std::string(other) + ": the library has no viStatusDesc: ", 2},
      {kVisa, {{"VME_VISA_LIBRARY", dir.path()}}, "vme-bus: VISA resource VXI0::MEMACC through " +
       dir.path() + ": cannot load the library: " + dir.path() + ": not a regular file\n", 2},
      {"visa:VXI1::MEMACC", {}, "vme-bus: VISA resource VXI1::MEMACC through " + kVisaLib +
       ": viOpen failed: Insufficient location information or the device or resource is not "
       "present in the system (0xBFFF0011)\n", 2},
      {"visa:VXI0", {}, "vme-bus: VISA resource VXI0 through " + kVisaLib +
       ": viOpen failed: Invalid resource reference specified. Parsing error (0xBFFF0012)\n", 2},
      {kVisa, {{"VISA_STANDIN_OPEN_FAILS", "0xBFFF0015"}}, visaStandin + "viOpen failed: Timeout "
       "expired before operation completed (0xBFFF0015)\n", 2},
      {kVisa, {{"VISA_STANDIN_ERROR_AFTER", "x"}}, visaStandin + "viOpen failed: "
       "VISA_STANDIN_ERROR_AFTER=x: expected a count of cycles (0xBFFF0000)\n", 2},
      {kVisa, {{"VISA_STANDIN_ERROR_AFTER", "100"}}, visaStandin + "viIn16 at A24 0x00F00030: "
       "Timeout expired before operation completed (0xBFFF0015); the results of this run cannot "
       "be trusted\n", 2},
      {kVisa, {{"VISA_STANDIN_ERROR_AFTER", "5000"}, {"VISA_STANDIN_ERROR_CODE", "0xBFFF0038"}}, "", 1},
      {"visa:vxi0::memacc", {}, "", 0},
  };
#ifdef VME_NIVXI_STANDIN
  // NI-VXI: a bus error is the crate's answer and the run goes on; a cycle
  // that fails without one (a time-out) is said once, and status 2.
  const std::string noInfo = VME_NIVXI_STANDIN_NOINFO, nivxi = "vme-bus: NI-VXI library ";
  const std::string at = nivxi + kNivxiLib + ": ", nivxiMissing = dir.file("nivxi.dll");
  const Case nivxiCases[] = {
      {kNivxi, {{"VME_NIVXI_LIBRARY", nivxiMissing}}, nivxi + nivxiMissing + ": cannot load the library: " + nivxiMissing, 2},
      {kNivxi, {{"VME_NIVXI_LIBRARY", dir.path()}},
       nivxi + dir.path() + ": cannot load the library: " + dir.path() + ": not a regular file\n", 2},
      {kNivxi, {{"VME_NIVXI_LIBRARY", "kernel32.dll"}}, nivxi + "kernel32.dll: the library has no InitVXIlibrary", 2},
      {kNivxi, {{"VME_NIVXI_LIBRARY", noInfo}}, nivxi + noInfo + ": the library has no global_vars", 2},
      {kNivxi, {{"NIVXI_STANDIN_OPEN_FAILS", "-5"}}, at + "InitVXIlibrary failed: status -5\n", 2},
      // A knob the stand-in cannot read fails the open, never passes unseen.
      {kNivxi, {{"NIVXI_STANDIN_BUS_ERROR_AFTER", "1e3"}}, at + "InitVXIlibrary failed: status -100\n", 2},
      {kNivxi, {{"NIVXI_STANDIN_TIMEOUT_AFTER", "100"}},
       at + "VXIin at A24 0x00F00030: status -9 and no bus error counted; the results of this "
            "run cannot be trusted\n", 2},
      {"nivxi:pxi0", {}, "vme-bus: VME_BUS=nivxi:pxi0: the NI-VXI method takes no arguments", 2},
      {"pci", {}, "vme-bus: VME_BUS=pci: not a bus (sim, vme_user, vme_user:DIR, vme_user:standin, "
                  "caen:MODEL:LINK[:NODE], visa[:RESOURCE], nivxi)\n", 2},
      {kNivxi, {{"NIVXI_STANDIN_BUS_ERROR_AFTER", "100"}}, "", 1},
  };
  cases.insert(cases.end(), std::begin(nivxiCases), std::end(nivxiCases));
#endif
  const RunResult sim = runProgram("qemtest", withInput(""));
  ASSERT_EQ(sim.exitStatus, 0);
  for (const Case& c : cases) {
    RunOptions o = withInput("", c.env);
    o.env["VME_BUS"] = c.bus;
    o.env.emplace("VME_CAEN_LIBRARY", kCaenLib);
    o.env.emplace("VME_VISA_LIBRARY", kVisaLib);
#ifdef VME_NIVXI_STANDIN
    o.env.emplace("VME_NIVXI_LIBRARY", kNivxiLib);
#endif
    o.env["VME_TRACE"] = dir.file("trace");
    std::remove(dir.file("trace").c_str());
    const RunResult r = runProgram("qemtest", o);
    SCOPED_TRACE(std::string(c.bus) + " " + c.err);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitStatus, c.status);
    if (c.err.empty()) {
      EXPECT_EQ(r.err, "");
      if (c.status == 0) EXPECT_EQ(r.out, sim.out);
      else EXPECT_THAT(r.out, EndsWith(": FAILED\nVXI done.\n")) << "a bus error fails a test";
#ifdef VME_NIVXI_STANDIN
      if (c.bus == std::string(kNivxi)) {
        // The crate's bus error: traced as one, counted as a failure.
        EXPECT_EQ(r.bus, "vme-bus: using the NI-VXI library " + kNivxiLib + "\n");
        const auto cycles = traceCycles(dir.file("trace"));
        EXPECT_NE(std::count_if(cycles.begin(), cycles.end(),
                                [](const std::string& l) { return l.ends_with(" BERR"); }), 0);
      }
#endif
      continue;
    }
    EXPECT_EQ(countOf(r.err, "\n"), 1u) << r.err;
    EXPECT_TRUE(r.err.starts_with(c.err)) << r.err;
    if (c.err.find(" at A24 ") != std::string::npos) {
      EXPECT_NE(traceCycles(dir.file("trace")).size(), 0u);
      EXPECT_NE(r.out.find("Fail"), std::string::npos) << "the failed cycle counts";
      EXPECT_THAT(r.out, EndsWith(": UNTRUSTED\nVXI done.\n")) << "whatever the verdicts";
    } else {
      EXPECT_EQ(r.out, "") << "stopped before its first line, as for any bad setting";
      EXPECT_TRUE(traceCycles(dir.file("trace")).empty());
    }
  }
}

#ifndef VME_NIVXI_STANDIN
// Anywhere but 32-bit Windows the method is refused in one line.
TEST(NivxiLibrary, RefusedWhereNotBuilt) {
  const RunResult r = runProgram("trigprobe", withInput("\n", {{"VME_BUS", "nivxi"}}));
  EXPECT_EQ(r.exitStatus, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "vme-bus: VME_BUS=nivxi: the NI-VXI method is built for 32-bit Windows only "
                   "and not in this build\n");
  // A bad value's list of buses names only those of this build.
  const RunResult bad = runProgram("qemtest", withInput("", {{"VME_BUS", "pci"}}));
  EXPECT_EQ(bad.err, "vme-bus: VME_BUS=pci: not a bus (sim, vme_user, vme_user:DIR, "
                     "vme_user:standin, caen:MODEL:LINK[:NODE], visa[:RESOURCE])\n");
}
#endif

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
      {dir.write("nulbyte", std::string("LOBBO 7\0 x\n", 11)), "logical address -1 return -1", "NUL"},
      // A byte-order mark is no part of the first name; a lone CR ends a line.
      {dir.write("bom", "\xEF\xBB\xBFLOBBO 7\n"), "logical address 7 return 0", ""},
      {dir.write("cr", "# name logical-address\rLOBBO 7\rX 1"), "logical address 7 return 0", ""},
      // Decimal with leading zeros, or hex after 0x.
      {dir.write("zero", "LOBBO 010\n"), "logical address 10 return 0", ""},
      {dir.write("hex", "LOBBO 0x1F\n"), "logical address 31 return 0", ""},
      {dir.write("bad", "LOBBO 08x\n"), "logical address -1 return -1", "line 1: expected"},
      // The first line of a name wins, and that is said once.
      {dir.write("twice", "LOBBO 7\nX 1\nLOBBO 9\r\nLOBBO 3\n"), "logical address 7 return 0",
       "LOBBO is on line 1 and again on lines 3, 4; line 1 wins\n"},
  };
  for (const Case& c : cases) {
    const RunResult r = runProgram("trigprobe2", withInput("\n", {{"VME_DEVICE_TABLE", c.table}}));
    EXPECT_EQ(r.exitStatus, 0) << c.table;
    EXPECT_NE(r.out.find("Device Lobbo " + c.device + "\n"), std::string::npos) << c.table;
    if (c.err.empty()) EXPECT_EQ(r.err, "") << c.table;
    else EXPECT_NE(r.err.find(c.err), std::string::npos) << c.table << ": " << r.err;
    EXPECT_LE(countOf(r.err, "\n"), 1u) << r.err;
  }
}

}  // namespace
