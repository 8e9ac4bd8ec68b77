// Cost of one register access: a raw volatile pointer, the direct path of the
// pointer type over the same host memory, the simulated path (D16 on a memory
// board of the crate), and the kernel method through the stand-in of the
// kernel interface (pread/pwrite per cycle, in process) onto the same board,
// and the CAEN method through the stand-in of the vendor's library (one
// CAENVME_ReadCycle or WriteCycle per access, into its own crate).
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "buslib/access_method.h"
#include "buslib/caen.h"
#include "buslib/nivxi.h"

namespace {

constexpr std::uint32_t kWords = 0x800;

void RawVolatileRead(benchmark::State& state) {
  std::vector<std::uint16_t> mem(kWords, 0x1234);
  volatile std::uint16_t* p = mem.data();
  std::uint32_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(p[i]);
    i = (i + 1) & (kWords - 1);
  }
}

void RawVolatileWrite(benchmark::State& state) {
  std::vector<std::uint16_t> mem(kWords, 0);
  volatile std::uint16_t* p = mem.data();
  std::uint32_t i = 0;
  for (auto _ : state) {
    p[i] = static_cast<std::uint16_t>(i);
    i = (i + 1) & (kWords - 1);
  }
}

void DirectPathRead(benchmark::State& state) {
  std::vector<std::uint16_t> mem(kWords, 0x1234);
  vmebus::DirectPtr p(mem.data());
  std::uint32_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(p.read16(2 * i));
    i = (i + 1) & (kWords - 1);
  }
}

void DirectPathWrite(benchmark::State& state) {
  std::vector<std::uint16_t> mem(kWords, 0);
  vmebus::DirectPtr p(mem.data());
  std::uint32_t i = 0;
  for (auto _ : state) {
    p.write16(2 * i, static_cast<std::uint16_t>(i));
    i = (i + 1) & (kWords - 1);
  }
}

VmePtr simulatedWindow() {
  static VmePtr p = [] {
    vmebus::useMethod(vmebus::makeSimMethod());  // never a real crate
    vmesim::installCrate(vmesim::Crate::makeDefault());
    InitVXIlibrary();
    SetVXIwindowSize(0x1000);
    std::uint32_t window = 0;
    VXIstatus status = 0;
    return MapVXIwindow(VXI_ACCESS_A24, 0x200000, 1000, &window, &status);
  }();
  return p;
}

// D16 reads, or writes, over the first kWords words of a window.
void readLoop(benchmark::State& state, VmePtr p) {
  std::uint32_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(p.read16(2 * i));
    i = (i + 1) & (kWords - 1);
  }
}

void writeLoop(benchmark::State& state, VmePtr p) {
  std::uint32_t i = 0;
  for (auto _ : state) {
    p.write16(2 * i, static_cast<std::uint16_t>(i));
    i = (i + 1) & (kWords - 1);
  }
}

void SimulatedRead(benchmark::State& state) { readLoop(state, simulatedWindow()); }

void SimulatedWrite(benchmark::State& state) { writeLoop(state, simulatedWindow()); }

// A window of another method at the memory board, beside the library's sim
// window (whose crate the stand-ins reach).
VmePtr windowOn(std::unique_ptr<vmebus::AccessMethod> method) {
  (void)simulatedWindow();
  static std::vector<std::unique_ptr<vmebus::AccessMethod>> methods;
  static std::vector<std::unique_ptr<vmebus::Window>> windows;
  auto& w = *windows.emplace_back(std::make_unique<vmebus::Window>());
  w.vmeBase = 0x200000;
  w.size = 0x1000;
  w.method = methods.emplace_back(std::move(method)).get();
  w.mapped = w.method->map(w) == 0;
  return VmePtr(&w, 0);
}

// The kernel method on the stand-in of the kernel interface.
VmePtr standinWindow() {
  static VmePtr p = [] {
    std::string error;
    return windowOn(vmebus::methodNamed("vme_user:standin", vmebus::ByteOrder::Big, error));
  }();
  return p;
}

void StandinRead(benchmark::State& state) { readLoop(state, standinWindow()); }

void StandinWrite(benchmark::State& state) { writeLoop(state, standinWindow()); }

// The CAEN method on the stand-in of the vendor's library.
VmePtr caenWindow() {
  static VmePtr p = [] {
    std::string error;
    return windowOn(vmebus::makeCaenMethod("V1718:0", VME_CAEN_STANDIN, error));
  }();
  return p;
}

void CaenStandinRead(benchmark::State& state) { readLoop(state, caenWindow()); }

void CaenStandinWrite(benchmark::State& state) { writeLoop(state, caenWindow()); }

}  // namespace

BENCHMARK(RawVolatileRead);
BENCHMARK(DirectPathRead);
BENCHMARK(SimulatedRead);
BENCHMARK(StandinRead);
BENCHMARK(CaenStandinRead);
BENCHMARK(RawVolatileWrite);
BENCHMARK(DirectPathWrite);
BENCHMARK(SimulatedWrite);
BENCHMARK(StandinWrite);
BENCHMARK(CaenStandinWrite);
BENCHMARK_MAIN();
