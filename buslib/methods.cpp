// The simulated-crate method and the choice of a method by name.
#include <cstdio>

#include "buslib/access_method.h"
#include "buslib/caen.h"

namespace vmebus {

namespace {

class SimMethod : public AccessMethod {
 public:
  const char* name() const override { return "sim"; }
  std::string describe() const override { return "the simulated crate " + vmesim::crateSource(); }
  VmeStatus map(Window&) override { return 0; }
  void unmap(Window&) override {}
  bool read(const Window& w, std::uint32_t offset, vmesim::Width width,
            std::uint32_t& value) override {
    return vmesim::crate().read(w.space, w.vmeBase + offset, width, value);
  }
  bool write(const Window& w, std::uint32_t offset, vmesim::Width width,
             std::uint32_t value) override {
    return vmesim::crate().write(w.space, w.vmeBase + offset, width, value);
  }
  // The boards with a name= are the device table; the logical address is
  // the board's position in the crate, from 1.
  int lookup(const std::string& name) override {
    const int index = vmesim::crate().findName(name);
    return index < 0 ? -1 : index + 1;
  }
  vmesim::LibraryForce force() const override { return vmesim::crate().library(); }
};

}  // namespace

std::unique_ptr<AccessMethod> makeSimMethod() { return std::make_unique<SimMethod>(); }

std::unique_ptr<AccessMethod> methodNamed(const std::string& bus, ByteOrder order,
                                          std::string& error) {
  if (bus == "sim") return makeSimMethod();
  const std::string kernel = "vme_user";
  if (bus == kernel) return makeVmeUserMethod(kernelSys(), "/dev/bus/vme", order);
  if (bus.compare(0, kernel.size() + 1, kernel + ":") == 0 && bus.size() > kernel.size() + 1) {
    const std::string dir = bus.substr(kernel.size() + 1);
    if (dir == StandinSys::kFolder) {
      auto sys = std::make_unique<StandinSys>();
      VmeSys& s = *sys;
      return makeVmeUserMethod(s, dir, order, std::move(sys));
    }
    return makeVmeUserMethod(kernelSys(), dir, order);
  }
  if (bus.compare(0, 5, "caen:") == 0) return makeCaenMethod(bus.substr(5), error);
  error = "VME_BUS=" + bus + ": not a bus (sim, vme_user, vme_user:DIR, vme_user:standin or "
          "caen:MODEL:LINK[:NODE])";
  return nullptr;
}

}  // namespace vmebus
