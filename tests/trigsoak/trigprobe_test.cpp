// The probe programs end to end: the start-up order, the bus-error probe
// with and without a board, the device lookup, the register-block loads
// checked on the bus trace, and the library's failure statuses.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include <map>

#include "program_runner.h"

namespace {

using vmetest::RunOptions;
using vmetest::runProgram;

using vmetest::withInput;

// The board that answers at 0x180000 is the crate's second board line.
const char kCrate[] =
    "trigger    A24    0xFF0000\n"
    "trigger    A24    0x180000   name=LOBBO\n"
    "memory     A24    0x200000   size=0x10000\n";

const char kProbeWithBoard[] =
    "Enter VME base address: 0xAddress = 180000, base Addr = 10100000 \n"
    "Base VME address = 180000, End VME address = 18ffff\n"
    "Device Lobbo logical address 2 return 0\n"
    "BusErrorRecv 0\n"
    "   peek address 10100000 value 0\n"
    "VMEbus error status 0 ret 0\n"
    "BusErrorRecv 0\n"
    "VXIpeek address 10100000 value 0\n"
    "VMEbus error status 0 ret 0\n"
    "BusErrorRecv 0\n"
    "mapped address = 10100000 \n";

const char kClosedClean[] =
    "VMEbus error status 0 ret 0\n"
    "BusErrorRecv 0\n"
    "\nVXI_VME library closed 0\n";

struct Probe {
  vmetest::TempDir dir;
  std::string trace = dir.file("t.trace");
  vmetest::RunResult run(const std::string& program, const std::string& input,
                         const std::string& extraCrateLines = "") {
    const std::string crate = dir.write("c.crate", kCrate + extraCrateLines);
    return runProgram(program,
                      withInput(input, {{"VME_SIM_CRATE", crate}, {"VME_SIM_TRACE", trace}}));
  }
};

std::vector<std::string> loads(const std::vector<std::pair<unsigned, unsigned>>& writes) {
  std::vector<std::string> out;
  char line[48];
  for (auto [off, v] : writes) {
    std::snprintf(line, sizeof line, "W A24 D16 %08X %04X", 0x180000 + off, v);
    out.emplace_back(line);
  }
  return out;
}

const std::vector<std::string> kProbeReads = {"R A24 D16 00180000 0000",
                                              "R A24 D16 00180000 0000"};

TEST(Trigprobe, LooksUpLobboThenSoaksCleanOnTheDefaultCrate) {
  auto r = runProgram("trigprobe", withInput("\n"));
  EXPECT_EQ(r.exitStatus, 0);
  const char sizes[] = "long 4 int 4 short 2 char 1 bytes\n";
  std::string expected = kProbeWithBoard;
  // "Lobbo" is not in the default crate's table, which names "LOBBO".
  expected.replace(expected.find("logical address 2 return 0"), 26,
                   "logical address -1 return -1");
  // The soak's D32 read is a bus error on this D16 board: 100000 of them.
  EXPECT_EQ(r.out, expected + sizes +
                       "error counts = 0 0 0\nother errors = 0\n  bus count  = 0\n"
                       "trigprobe: 100000 iterations, errors calt 0 cali 0 trig 0 other 0: PASSED\n"
                       "VMEbus error status 1 ret 0\nBusErrorRecv 186a0\n"
                       "\nVXI_VME library closed 0\n");
}

TEST(Trigprobe2, LoadsTheFullSequenceAfterTheProbeReads) {
  Probe p;
  auto r = p.run("trigprobe2", "180000\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, std::string(kProbeWithBoard) + kClosedClean);
  auto expected = kProbeReads;
  for (auto& l : loads({{2, 0},      {2, 0x20},   {2, 0},      {0, 1},      {6, 0},
                        {8, 0},      {0xA, 0},    {2, 0},      {4, 3},      {2, 0x100},
                        {2, 0},      {4, 0x15},   {2, 0x200},  {2, 0},      {4, 0x25},
                        {2, 0x400},  {2, 0},      {4, 0x1875}, {2, 0x800},  {2, 0},
                        {4, 0xC0},   {2, 0x1000}, {2, 0},      {2, 0x4000}, {2, 0},
                        {4, 0xE675}, {2, 0x2000}, {2, 0},      {4, 0xAAAA}, {2, 0x2000},
                        {2, 0},      {4, 0x5555}, {2, 0x2000}, {2, 0},      {4, 0xEAAA},
                        {2, 0x2000}, {2, 0},      {4, 0}}))
    expected.push_back(l);
  EXPECT_EQ(expected.size(), 2u + 38u);
  EXPECT_EQ(vmetest::traceCycles(p.trace), expected);
}

TEST(Trigprobe3, LoadsTheShortSequence) {
  Probe p;
  auto r = p.run("trigprobe3", "180000\n");
  EXPECT_EQ(r.out, std::string(kProbeWithBoard) + kClosedClean);
  auto expected = kProbeReads;
  for (auto& l : loads({{0, 1},      {6, 0},  {8, 0},      {0xA, 0},   {2, 0},     {4, 3},
                        {2, 0x100},  {2, 0},  {4, 0x15},   {2, 0x200}, {2, 0},     {4, 0x25},
                        {2, 0x400},  {2, 0},  {4, 0x1875}, {2, 0x800}, {2, 0},     {4, 0xC0},
                        {2, 0x1000}, {2, 0}}))
    expected.push_back(l);
  EXPECT_EQ(expected.size(), 2u + 20u);
  EXPECT_EQ(vmetest::traceCycles(p.trace), expected);
}

TEST(Trigprobe3, ProbeShowsTheBusErrorsWhereNoBoardAnswers) {
  Probe p;
  // Nothing at 0x300000; the digits are taken as they are typed.
  auto r = p.run("trigprobe3", "\n\n300000\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out,
            "Enter VME base address: 0xAddress = 300000, base Addr = 10100000 \n"
            "Base VME address = 300000, End VME address = 30ffff\n"
            "Device Lobbo logical address 2 return 0\n"
            "BusErrorRecv 0\n"
            "   peek address 10100000 value ffff\n"
            "VMEbus error status 1 ret 0\n"
            "BusErrorRecv 1\n"
            "VXIpeek address 10100000 value ffff\n"
            "VMEbus error status 1 ret 0\n"
            "BusErrorRecv 2\n"
            "mapped address = 10100000 \n"
            "VMEbus error status 1 ret 0\n"
            "BusErrorRecv 16\n"
            "\nVXI_VME library closed 0\n");
}

TEST(Trigprobe3, BaseAnswers) {
  Probe p;
  // Memory answers all ones without a bus error.
  auto r = p.run("trigprobe3", "200000\n");
  EXPECT_NE(r.out.find("Address = 200000,"), std::string::npos);
  EXPECT_NE(r.out.find("   peek address 10100000 value ffff\nVMEbus error status 0 ret 0\n"),
            std::string::npos);
  // Not a number: the default base.
  r = p.run("trigprobe3", "zz\n");
  EXPECT_NE(r.out.find("Address = 180000,"), std::string::npos);
  r = p.run("trigprobe3", "");
  EXPECT_NE(r.out.find("Address = 180000,"), std::string::npos);
  // Leading zeros are no width; more than 32 bits map nothing at all.
  r = p.run("trigprobe3", "\n  000000000200000\n");
  EXPECT_NE(r.out.find("Address = 200000,"), std::string::npos);
  for (const char* prog : {"trigprobe", "trigprobe2", "trigprobe3"}) {
    Probe q;
    r = q.run(prog, "100FF0000\n");
    EXPECT_EQ(r.exitStatus, 2) << prog;
    EXPECT_EQ(r.out,
              "Enter VME base address: 0xbase address 100FF0000 is wider than 32 bits, "
              "nothing mapped\n")
        << prog;
    EXPECT_EQ(vmetest::readFile(q.trace), "") << "the bus library is never touched";
  }
}

TEST(Trigprobe2, LibraryFailures) {
  struct Case {
    const char* library;
    const char* output;  // what the run prints, after the base prompt
    int exitStatus;
  };
  const std::string tail = std::string(kProbeWithBoard).substr(26);
  const Case cases[] = {
      {"init=-1", "InitVXIlibrary failed, stop\nmapped address = 00000000 \n", 2},
      {"map=-4", "Failed to get memory map -4\nmapped address = 00000000 \n", 2},
      {"range=-1",
       "Address = 180000, base Addr = 10100000 \nFailed to get window info -1\n"
       "mapped address = 00000000 \n",
       2},
  };
  for (const Case& c : cases) {
    Probe p;
    auto r = p.run("trigprobe2", "\n", std::string("library ") + c.library + "\n");
    EXPECT_EQ(r.out, std::string("Enter VME base address: 0x") + c.output) << c.library;
    EXPECT_EQ(r.exitStatus, c.exitStatus) << c.library;
    EXPECT_TRUE(vmetest::traceCycles(p.trace).empty()) << c.library;
  }

  // Failures that the probe reports and goes past.
  Probe p;
  auto r = p.run("trigprobe2", "\n", "library init=1\n");
  EXPECT_EQ(r.out.rfind("Enter VME base address: 0xInitVXIlibrary already initializedAddress = "
                        "180000, base Addr = 10100000 \n",
                        0),
            0u);
  EXPECT_NE(r.out.find(kClosedClean), std::string::npos);
  r = p.run("trigprobe2", "\n", "library lookup=-6 status=-3 unmap=-1 close=-2\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_NE(r.out.find("Device Lobbo logical address 2 return -6\n"), std::string::npos);
  EXPECT_EQ(vmetest::countOf(r.out, "ret -3\n"), 3u);
  EXPECT_NE(r.out.find("BusErrorRecv 0\n\nVXI_VME library closed -2\n"), std::string::npos);
}

}  // namespace
