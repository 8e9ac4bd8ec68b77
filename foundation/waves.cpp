#include "foundation/waves.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "buslib/bus_trace.h"
#include "crate/open_file.h"
#include "foundation/verdicts.h"
#include "foundation/version.h"
#include "platform/platform.h"

namespace {

struct Other {
  const char* what;
  std::string path;
};

struct Waves {
  bool on = false;
  std::string program, folder, step;
  std::uint64_t limit = 0, bytes = 0;
  int files = 0;
  // Files of the run a waveform must never replace.
  std::vector<Other> others;
};
Waves waves;

std::string utcNow() {
  const std::time_t t = std::time(nullptr);
  char text[32] = "unknown";
  if (const std::tm* tm = std::gmtime(&t)) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", tm);
  return text;
}

// Ends the files of the run with its one line.
void stop(const std::string& line) {
  std::fprintf(stderr, "vme-waves: %s; no more waveform files are written\n", line.c_str());
  waves.on = false;
}

// What file of the run path already is, or null.
const char* clash(const std::string& path) {
  platform::FileInfo st;
  if (!platform::fileInfo(path.c_str(), st) || st.kind == platform::FileKind::CharDevice)
    return nullptr;
  for (const vmesim::InputFile& f : vmesim::inputFiles())
    if (f.id == st.id) return f.what;
  for (const Other& o : waves.others) {
    platform::FileInfo other;
    if (!o.path.empty() && platform::fileInfo(o.path.c_str(), other) && other.id == st.id)
      return o.what;
  }
  return nullptr;
}

std::string refusal(const std::string& folder, const char* why) {
  return waves.program + ": VME_WAVES=" + folder + " " + why + ", nothing tested";
}

}  // namespace

bool wavesUseFolder(const char* program, const std::string& folder, const std::string& limit,
                    std::string& error) {
  waves.on = false;
  waves.program = program;
  waves.folder = folder;
  waves.files = 0;
  waves.bytes = 0;
  if (folder.empty()) return true;
  // A bad limit is the trace's to refuse; the default holds here.
  if (!vmebus::traceLimitBytes(limit, waves.limit)) (void)vmebus::traceLimitBytes("", waves.limit);
  platform::FileInfo st;
  if (!platform::fileInfo(folder.c_str(), st)) {
    error = refusal(folder, (std::string("cannot be used: ") + std::strerror(errno)).c_str());
    return false;
  }
  if (st.kind != platform::FileKind::Directory) {
    error = refusal(folder, "is not a folder");
    return false;
  }
  // The folder must take a new file now, not after the first tests.
  platform::Replacement probe;
  if (!platform::startReplacement(folder + "/vme-waves-check", probe)) {
    error = refusal(folder, (std::string("cannot be written: ") + std::strerror(errno)).c_str());
    return false;
  }
  platform::dropReplacement(probe);
  waves.on = true;
  return true;
}

bool wavesOpen(const char* program, const vmebus::BusConfig& bus, const char* played,
               std::string& error) {
  const char* folder = std::getenv("VME_WAVES");
  auto named = [](const std::string& path) {
    return path.find_first_of("/\\") != std::string::npos ? path : std::string();
  };
  waves.others = {{"crate file", bus.crateFile},
                  {"device table", bus.deviceTable},
                  {"input file", played != nullptr ? played : ""},
                  {"CAEN library", named(bus.caenLibrary)},
                  {"VISA library", named(bus.visaLibrary)},
                  {"trace file", bus.tracePath}};
  for (const char* record : {"VME_RESULTS", "VME_JUNIT"})
    if (const char* path = std::getenv(record)) waves.others.push_back({"run record", path});
  return wavesUseFolder(program, folder != nullptr ? folder : "", bus.traceLimit, error);
}

bool wavesWanted() { return waves.on; }

void wavesStep(const char* name) { waves.step = name != nullptr ? name : ""; }

std::string wavesNextName() {
  std::string name = waves.program;
  if (verdictModule.known) {
    char serial[16];
    std::snprintf(serial, sizeof serial, "-%02X", static_cast<unsigned>(verdictModule.serial) & 0xFF);
    name += serial;
  }
  // A command read from a file may hold anything: letters and digits only.
  std::string step;
  for (const char c : waves.step)
    if (std::isalnum(static_cast<unsigned char>(c))) step += c;
  if (!step.empty()) name += "-" + step;
  std::string number = std::to_string(waves.files + 1);
  return name + "-" + std::string(number.size() < 4 ? 4 - number.size() : 0, '0') + number + ".vcd";
}

std::string wavesText(Vcd& vcd, std::uint64_t end, const std::string& what) {
  return vcd.text(utcNow(), std::string("VME bench suite ") + kSuiteVersion + ", " + waves.program,
                  what, "1 ns", end);
}

void wavesWrite(Vcd& vcd, std::uint64_t end, const std::string& what) {
  if (!waves.on) return;
  if (waves.files >= kWaveMaxFiles) {
    stop(std::to_string(kWaveMaxFiles) + " files were written, the most for one run");
    return;
  }
  const std::string text = wavesText(vcd, end, what);
  if (text.size() > waves.limit - waves.bytes) {
    stop("the next file would take the run's files past " + std::to_string(waves.limit) +
         " bytes (VME_TRACE_LIMIT)");
    return;
  }
  const std::string path = waves.folder + "/" + wavesNextName();
  if (const char* other = clash(path)) {
    stop(path + " is the run's " + other + ": a waveform file never replaces a file of the run");
    return;
  }
  platform::Replacement file;
  const bool started = platform::startReplacement(path, file);
  const bool written = started && platform::writeAll(file.fd, text.data(), text.size());
  const int e = errno;
  if (!started || !platform::finishReplacement(file, written)) {
    stop(path + " cannot be written: " + std::strerror(started && !written ? e : errno));
    return;
  }
  ++waves.files;
  waves.bytes += text.size();
}

void wavesReset() { waves = Waves{}; }
