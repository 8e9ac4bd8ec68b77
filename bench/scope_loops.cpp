// Bus cycles per second inside the scope tools' loops on the simulated
// memory board of the default crate: the loop bodies of the read loop and
// of the write loop forms, as the scope programs run them.
#include <benchmark/benchmark.h>

#include <csignal>
#include <cstdint>

#include "buslib/nivxi.h"
#include "crate/crate.h"

namespace {

volatile std::sig_atomic_t active = 1;

// A window on the A24 memory board at 0x200000, register at byte 6.
VmePtr memoryRegister() {
  static VmePtr reg = [] {
    vmebus::useMethod(vmebus::makeSimMethod());  // never a real crate
    vmesim::installCrate(vmesim::Crate::makeDefault());
    InitVXIlibrary();
    SetVXIwindowSize(0x10000);
    std::uint32_t window = 0;
    VXIstatus status = 0;
    VmePtr p = MapVXIwindow(VXI_ACCESS_A24, 0x200000, 1000, &window, &status);
    return p + 6;
  }();
  return reg;
}

void BM_ReadLoopD16(benchmark::State& state) {
  const VmePtr r = memoryRegister();
  for (auto _ : state) {
    if (active == 1) benchmark::DoNotOptimize(r.read16());
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_ReadLoopD32(benchmark::State& state) {
  const VmePtr r = memoryRegister() + 2;
  for (auto _ : state) {
    if (active == 1) benchmark::DoNotOptimize(r.read32());
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_WriteLoopD16(benchmark::State& state) {
  const VmePtr r = memoryRegister();
  for (auto _ : state) {
    if (active == 1) r.write16(0, 0x1234);
  }
  state.SetItemsProcessed(state.iterations());
}

// Zero and read options: three cycles a pass.
void BM_WriteLoopZeroReadD16(benchmark::State& state) {
  const VmePtr r = memoryRegister();
  for (auto _ : state) {
    if (active == 1) {
      r.write16(0, 0);
      r.write16(0, 0x1234);
      benchmark::DoNotOptimize(r.read16());
    }
  }
  state.SetItemsProcessed(3 * state.iterations());
}

}  // namespace

BENCHMARK(BM_ReadLoopD16);
BENCHMARK(BM_ReadLoopD32);
BENCHMARK(BM_WriteLoopD16);
BENCHMARK(BM_WriteLoopZeroReadD16);
BENCHMARK_MAIN();
