// The simulated-crate method and the registry of methods by name.
#include <cstdio>

#include "buslib/access_method.h"
#include "buslib/caen.h"
#include "buslib/visa.h"
#include "buslib/nivxi_bridge.h"
#include "buslib/vme_user.h"
#include "crate/crate.h"

namespace vmebus {

namespace {

class CrateNames : public DeviceLookup {
 public:
  int lookup(const std::string& name) const override {
    const int index = vmesim::crate().findName(name);
    return index < 0 ? -1 : index + 1;
  }
};

class SimMethod : public AccessMethod {
 public:
  explicit SimMethod(std::string crateFile) : crateFile_(std::move(crateFile)) {}
  const char* name() const override { return "sim"; }
  std::string describe() const override { return "the simulated crate " + vmesim::crateSource(); }
  // A crate put in place before (a test's) is kept.
  bool open(std::string& error) override {
    if (vmesim::gCrate != nullptr || vmesim::loadCrate(crateFile_, error)) return true;
    error = "vme-sim: " + error;
    return false;
  }
  void close() override {}
  VmeStatus map(Window&) override { return 0; }
  void unmap(Window&) override {}
  bool read(const Window& w, std::uint32_t offset, Width width, std::uint32_t& value) override {
    return vmesim::crate().read(w.space, w.vmeBase + offset, width, value);
  }
  bool write(const Window& w, std::uint32_t offset, Width width, std::uint32_t value) override {
    return vmesim::crate().write(w.space, w.vmeBase + offset, width, value);
  }
  const DeviceLookup* deviceLookup() const override { return &crateNames(); }
  const ForcedStatuses* forcedStatuses() const override { return &vmesim::crate().library(); }

 private:
  std::string crateFile_;
};

std::unique_ptr<AccessMethod> makeSim(const BusConfig& config, std::string& error) {
  if (!config.arguments.empty()) {
    error = "VME_BUS=sim:" + config.arguments + ": the simulated crate takes no arguments "
            "(VME_SIM_CRATE chooses the crate)";
    return nullptr;
  }
  return makeSimMethod(config.crateFile);
}

struct MethodEntry {
  const char* name;   // VME_BUS before the colon
  const char* forms;  // its VME_BUS values, for the message on a bad one ("": not listed)
  std::unique_ptr<AccessMethod> (*make)(const BusConfig& config, std::string& error);
};

// Every method, by name.  A method of its own files adds one line here.
const MethodEntry kMethods[] = {
    {"sim", "sim", makeSim},
    {"vme_user", "vme_user, vme_user:DIR, vme_user:standin", makeVmeUserBus},
    {"caen", "caen:MODEL:LINK[:NODE]",
     [](const BusConfig& c, std::string& e) { return makeCaenMethod(c.arguments, c.caenLibrary, e); }},
    {"visa", "visa[:RESOURCE]",
     [](const BusConfig& c, std::string&) { return makeVisaMethod(c.arguments, c.visaLibrary); }},
    {"nivxi", kNivxiForms, makeNivxiMethod},
};

}  // namespace

std::unique_ptr<AccessMethod> makeSimMethod(const std::string& crateFile) {
  return std::make_unique<SimMethod>(crateFile);
}

const DeviceLookup& crateNames() {
  static const CrateNames names;
  return names;
}

std::unique_ptr<AccessMethod> makeMethod(const BusConfig& config, std::string& error) {
  for (const MethodEntry& m : kMethods)
    if (config.method == m.name) return m.make(config, error);
  std::string forms;
  for (const MethodEntry& m : kMethods)
    if (*m.forms != '\0') forms += (forms.empty() ? "" : ", ") + std::string(m.forms);
  error = "VME_BUS=" + config.method + (config.arguments.empty() ? "" : ":" + config.arguments) +
          ": not a bus (" + forms + ")";
  return nullptr;
}

std::unique_ptr<AccessMethod> methodNamed(const std::string& bus, ByteOrder order,
                                          std::string& error) {
  BusConfig config;
  if (!parseBusName(bus, config, error)) return nullptr;
  config.order = order;
  return makeMethod(config, error);
}

}  // namespace vmebus
