#include "foundation/usage.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "buslib/bus_config.h"
#include "foundation/results.h"
#include "foundation/run_end.h"
#include "foundation/version.h"
#include "foundation/waves.h"
#include "standins/offer.h"

const char kStatusVerdicts[] =
    "  0  every test ran at least one loop and passed\n"
    "  1  a verdict failed\n"
    "  2  nothing was tested: no window, a bad setting, argument or record, or\n"
    "     input that ended before the first test; or the run cannot be trusted:\n"
    "     the bus failed, or the output or the trace could not be written\n"
    "  3  no verdict failed, but a test did not run (0 loops)\n";

const char kStatusCounts[] =
    "  0  the soak ran to its end and counted no error\n"
    "  1  an error was counted\n"
    "  2  nothing was tested: no window, a bad setting, argument or record, or\n"
    "     input that ended before the loop count; or the run cannot be trusted:\n"
    "     the bus failed, or the output or the trace could not be written\n";

const char kStatusDialogue[] =
    "  0  the dialogue or the load ran to its end (end of input included)\n"
    "  2  nothing was reached: no window, or a bad setting or argument\n";

const char kStatusFiles[] =
    "  0  the script ran to its end\n"
    "  1  the script could not be read or was refused (a NUL byte, a base\n"
    "     wider than 32 bits), or its window could not be mapped\n"
    "  2  a bad setting or argument: nothing was read\n";

const char kStatusConsole[] =
    "  0  the command file or the console ran to its end\n"
    "  1  the command file could not be read or was refused (a NUL byte, no\n"
    "     base address), or its window could not be mapped\n"
    "  2  the console's window could not be mapped, or a bad setting or argument\n";

namespace {

const char kAnswers[] =
    "\nReturn keeps the default in brackets; [4xF00000] shows the hex default\n"
    "F00000.  Numbers are hex unless the answer starts with I (decimal),\n"
    "N (binary), O (octal) or H (hex): 10 is sixteen, I10 is ten.\n";

const char kBus[] =
    "  VME_BUS           sim, vme_user, vme_user:DIR, vme_user:standin,\n"
    "                    caen:MODEL:LINK[:NODE] or visa[:RESOURCE]; unset: sim when\n"
    "                    VME_SIM_CRATE is set, else vme_user when /dev/bus/vme/ctl\n"
    "                    exists, else sim\n"
    "  VME_SIM_CRATE     the simulated crate's file (unset: the built-in crate)\n"
    "  VME_TRACE         append every bus cycle to this file\n"
    "  VME_TRACE_LIMIT   the trace's size limit in bytes, K, M or G (default 1G)\n";

const char kDeviceTable[] =
    "  VME_DEVICE_TABLE  the device lookup's table, NAME LOGICAL-ADDRESS a line\n";

const char kResults[] =
    "  VME_RESULTS       append the run's record to this file, one JSON line\n"
    "  VME_JUNIT         write the run to this file as JUnit XML\n";

const char kWaves[] =
    "  VME_WAVES         write each sequencer stream scanned or read back into\n"
    "                    this folder as a waveform file (VCD)\n";

const char kBridge[] =
    "  VME_BYTE_ORDER    big (default) or little, for a bridge that swaps bytes\n"
    "  VME_CAEN_LIBRARY  the bridge library of VME_BUS=caen:... (" VME_CAEN_DEFAULT_LIBRARY ")\n"
    "  VME_VISA_LIBRARY  the VISA library of VME_BUS=visa (" VME_VISA_DEFAULT_LIBRARY ")\n";

// The prompt padded to its column, then the note; the note's further lines
// start in that column.
void printQuestions(std::FILE* out, const ProgramUsage& u) {
  if (u.questions.empty()) return;
  std::fprintf(out, "\n%s\n", u.questionsTitle);
  for (const Question& q : u.questions) {
    if (q.above != nullptr) std::fprintf(out, "%s\n", q.above);
    std::fprintf(out, "  %-38s", q.prompt);
    for (const char* n = q.note; *n != '\0'; ++n) {
      std::fputc(*n, out);
      if (*n == '\n') std::fprintf(out, "%40s", "");
    }
    std::fputc('\n', out);
  }
}

void printUsage(std::FILE* out, const ProgramUsage& u) {
  std::fprintf(out, "Usage: %s [-h | --help | --version]%s%s\n\n%s", u.name,
               *u.operands != '\0' ? " " : "", u.operands, u.text);
  printQuestions(out, u);
  if (u.asks) std::fprintf(out, "%s", kAnswers);
  std::fprintf(out, "\nEnvironment:\n%s%s%s%s%s\nExit status:\n%s", kBus,
               u.deviceTable ? kDeviceTable : "", u.results ? kResults : "",
               u.waves ? kWaves : "", kBridge, u.statuses);
}

// Help asked for: the answer goes to standard output, which must take it.
int answer(const ProgramUsage& u, bool version) {
  if (version) std::printf("%s (VME bench suite) %s\n", u.name, kSuiteVersion);
  else printUsage(stdout, u);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "%s: standard output cannot be written\n", u.name);
    return 2;
  }
  return 0;
}

bool recordAsked(const char* variable) {
  const char* v = std::getenv(variable);
  return v != nullptr && *v != '\0';
}

int refuse(const ProgramUsage& u, const char* what, const char* arg) {
  std::fprintf(stderr, "%s: %s %s\n", u.name, what, arg);
  printUsage(stderr, u);
  return 2;
}

}  // namespace

int handleArguments(int argc, char** argv, const ProgramUsage& u, const char** file) {
  if (const int status = readArguments(argc, argv, u, file); status >= 0) return status;
  return startRun(u, file != nullptr ? *file : nullptr);
}

int readArguments(int argc, char** argv, const ProgramUsage& u, const char** file) {
  if (file != nullptr) *file = nullptr;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (options && std::strcmp(a, "--") == 0) {
      options = false;
    } else if (options && (std::strcmp(a, "-h") == 0 || std::strcmp(a, "--help") == 0)) {
      return answer(u, false);
    } else if (options && std::strcmp(a, "--version") == 0) {
      return answer(u, true);
    } else if (options && a[0] == '-' && a[1] != '\0') {
      return refuse(u, "unknown option", a);
    } else if (file == nullptr || *file != nullptr) {
      // An argument nobody reads could be a mistyped option: never run on it.
      return refuse(u, "unexpected argument", a);
    } else {
      *file = a;
    }
  }
  return -1;
}

int startRun(const ProgramUsage& u, const char* file) {
  // The run goes on.  Its records are checked and opened first, so that a
  // run stopped by a bad setting still leaves a true record; then the bus
  // starts, so that a bad setting (a crate file, a trace, VME_BUS, a bridge)
  // stops the program before its first output.
  // A test binary reads no setting: its bus is the default simulated crate.
  if (vmebus::busForcedSimulated()) return -1;
  vmebus::offerStandins();
  vmebus::BusConfig config;
  std::string error;
  const bool configured = vmebus::busConfigFromEnvironment(config, error);
  if (u.results) {
    std::string refused;
    if (!resultsOpen(u.name, config, file, refused))
      return stopBeforeTests(refused);
  } else if (recordAsked("VME_RESULTS") || recordAsked("VME_JUNIT")) {
    std::fprintf(stderr, "%s writes no run record\n", u.name);
  }
  if (!configured) return stopBeforeTests("vme-bus: " + error);
  if (u.waves) {
    std::string refused;
    if (!wavesOpen(u.name, config, file, refused)) return stopBeforeTests(refused);
  } else if (recordAsked("VME_WAVES")) {
    std::fprintf(stderr, "%s writes no waveform files\n", u.name);
  }
  if (!vmebus::startBus(config, error)) return stopBeforeTests(error);
  return -1;
}
