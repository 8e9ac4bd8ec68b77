// One whole qemtest run on the default crate, all answers defaulted: the bus
// cycles it makes, its wall time and the bus cycles per second.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "crate/crate.h"
#include "foundation/vme_window.h"
#include "qemtest.h"

namespace {

// Standard input at end of file and standard output discarded for the run.
class QuietConsole {
 public:
  QuietConsole() {
    std::fflush(stdout);
    savedIn_ = dup(STDIN_FILENO);
    savedOut_ = dup(STDOUT_FILENO);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    close(null);
    std::clearerr(stdin);
  }
  ~QuietConsole() {
    std::fflush(stdout);
    dup2(savedIn_, STDIN_FILENO);
    dup2(savedOut_, STDOUT_FILENO);
    close(savedIn_);
    close(savedOut_);
    std::clearerr(stdin);
  }
  QuietConsole(const QuietConsole&) = delete;
  QuietConsole& operator=(const QuietConsole&) = delete;

 private:
  int savedIn_ = -1;
  int savedOut_ = -1;
};

// qemtest's forms of the shared code.
const Profile kQemtestForms{.prompts = PromptStyle::ReadLineFlush,
                            .qem = {.bcidRecordAlways = false, .dumpPipelineFromDelays = true}};

void QemtestDefaultCrate(benchmark::State& state) {
  useProfile(kQemtestForms);
  std::uint64_t cycles = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (vmebus::currentMethod() == nullptr || std::string(vmebus::method().name()) != "sim")
      vmebus::useMethod(vmebus::makeSimMethod());  // never a real crate
    vmesim::installCrate(vmesim::Crate::makeDefault());
    vmeLibraryFirst = 1;  // a fresh process initialises the library
    state.ResumeTiming();
    {
      QuietConsole quiet;
      benchmark::DoNotOptimize(qemtestRun());
    }
    state.PauseTiming();
    const std::uint64_t made = vmesim::crate().cycles();
    if (cycles != 0 && made != cycles) state.SkipWithError("runs differ in bus cycles");
    cycles = made;
    state.ResumeTiming();
  }
  // A run that found no module makes only a handful of cycles.
  if (cycles < 1000) state.SkipWithError("no module answered");
  state.counters["bus_cycles"] = static_cast<double>(cycles);
  state.counters["cycles_per_s"] = benchmark::Counter(static_cast<double>(cycles) *
                                                          static_cast<double>(state.iterations()),
                                                      benchmark::Counter::kIsRate);
}

// The bus library maps at most 64 windows per process, one per run: 3 x 20.
BENCHMARK(QemtestDefaultCrate)
    ->Iterations(20)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
