// Shared set-up of the module library tests: a crate with a memory board at
// the module's address, the register map on it, and stdout capture.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "buslib/bus_trace.h"
#include "crate/crate.h"
#include "output_capture.h"
#include "program_runner.h"
#include "qemlib/qem_harness.h"
#include "qemlib/qem_registers.h"
#include "qemlib/qem_scan.h"

namespace qemtest_support {

inline constexpr std::uint32_t kModule = 0xF00000;

using vmetest::printed;
using vmetest::errorLines;

// A memory board where the module sits, registers mapped on it.
class ModuleOnMemory : public testing::Test {
 protected:
  void SetUp() override { install(""); }

  void install(const std::string& faults) {
    std::string error;
    auto c = vmesim::Crate::parse("memory A24 0xF00000 size=0x10000 " + faults + "\n", "test",
                                  error);
    ASSERT_TRUE(c) << error;
    vmesim::installCrate(std::move(c));
    window_ = vmebus::Window{vmesim::Space::A24, kModule, 0x10000, 0x10000000, 1, true, vmebus::currentMethod()};
    qemMapRegisters(VmePtr(&window_, 0));
    seqRAM = VmePtr(&window_, QEM_RAM_OFFSET);
    qemVersion = 0;
    qemOldFirmware = 0;
    harnessReset();
    seqAddL1AReset();
  }

  void setFirmware(int version) {
    qemVersion = version;
    qemOldFirmware = version < 9 ? 1 : 0;
  }

  std::uint64_t cycles() const { return vmesim::crate().cycles(); }

  // The bus cycles body makes, as trace lines ("W A24 D16 00F00002 1000").
  template <typename Body>
  std::vector<std::string> traced(Body body) {
    vmetest::TempDir dir;
    const std::string path = dir.file("cycles.trace");
    EXPECT_TRUE(vmebus::openTrace(path.c_str()));
    body();
    vmebus::closeTrace();
    return vmetest::traceCycles(path);
  }

  vmebus::Window window_;
};

// Writes a serial train by hand: start bit at start, fields LSB first.
inline void putTrain(std::int32_t* buf, int start, int bit, std::initializer_list<std::pair<int, int>> fields,
                     int lane = 0) {
  const int shifted = bit << (8 * lane);
  buf[start] |= shifted;
  int p = start + 1;
  for (auto [value, width] : fields)
    for (int i = 0; i < width; ++i, ++p)
      if ((value >> i) & 1) buf[p] |= shifted;
}

// An L1A at k with both trains starting at k + 1.
inline void putL1A(std::int32_t* buf, int k, int l1id, int bcid, int ttid, int lane = 0) {
  buf[k] |= SEQ_L1A << (8 * lane);
  putTrain(buf, k + 1, SEQ_SERID, {{l1id, 24}, {bcid, 12}}, lane);
  putTrain(buf, k + 1, SEQ_SERTT, {{ttid, 10}}, lane);
}

}  // namespace qemtest_support
