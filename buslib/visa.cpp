// The VISA method.  The library is loaded at run time and one session opened
// on the bridge's memory-access resource; a window is only an address range
// on it, and every access is one viIn or viOut of its width at the window's
// space and VME address, so that a bus error comes back as a status.
#include "buslib/visa.h"

#include <cstdio>

#include "buslib/nivxi.h"
#include "buslib/vendor_library.h"
#include "buslib/visa_abi.h"

namespace vmebus {

namespace {

constexpr const char* kDefaultLibrary = VME_VISA_DEFAULT_LIBRARY;
constexpr const char* kDefaultResource = "VXI0::MEMACC";

class VisaMethod : public AccessMethod {
 public:
  VisaMethod(const std::string& resource, const std::string& library)
      : resource_(resource.empty() ? kDefaultResource : resource),
        library_(library.empty() ? kDefaultLibrary : library) {}
  // A program that ends without closing the library closes its session.
  ~VisaMethod() override { close(); }

  // The library loaded once, then the resource manager and the session.
  bool open(std::string& error) override {
    if (open_) return true;
    failure_.clear();
    if (dl_ != nullptr || load()) openSession();
    if (failure_.empty()) return true;
    error = "vme-bus: " + where() + ": " + failure_;
    return false;
  }
  // viClose of the session, then of the resource manager, once per open.
  void close() override {
    if (!open_) return;
    open_ = false;
    for (const ViObject o : {session_, manager_}) {
      const ViStatus s = close_(o);
      if (s < 0) say("viClose failed: " + describe(s));
    }
  }

  const char* name() const override { return "visa"; }
  std::string describe() const override { return "the " + where(); }

  VmeStatus map(Window&) override {
    if (!open_) {
      if (!failureSaid_) say(failure_.empty() ? "the session is closed" : failure_);
      failureSaid_ = true;
      // Nothing is tested, whatever a program makes of a window it cannot map.
      markRunUntrusted();
      return VXI_FAILURE;
    }
    return VXI_SUCCESS;
  }
  void unmap(Window&) override {}

  bool read(const Window& w, std::uint32_t offset, Width width, std::uint32_t& value) override {
    value = vmesim::allOnes(width);
    if (!open_) return false;
    const ViBusAddress at = w.vmeBase + offset;
    ViStatus s = visa::kSystemError;
    const char* call = "viIn32";
    switch (width) {
      case Width::D8: {
        std::uint8_t d = 0;
        call = "viIn8";
        s = in8_(session_, space(w), at, &d);
        if (s >= 0) value = d;
        break;
      }
      case Width::D16: {
        std::uint16_t d = 0;
        call = "viIn16";
        s = in16_(session_, space(w), at, &d);
        if (s >= 0) value = d;
        break;
      }
      case Width::D32: {
        std::uint32_t d = 0;
        s = in32_(session_, space(w), at, &d);
        if (s >= 0) value = d;
        break;
      }
    }
    return cycleDone(s, call, w, w.vmeBase + offset);
  }

  bool write(const Window& w, std::uint32_t offset, Width width, std::uint32_t value) override {
    if (!open_) return false;
    const ViBusAddress at = w.vmeBase + offset;
    ViStatus s = visa::kSystemError;
    const char* call = "viOut32";
    switch (width) {
      case Width::D8:
        call = "viOut8";
        s = out8_(session_, space(w), at, static_cast<std::uint8_t>(value));
        break;
      case Width::D16:
        call = "viOut16";
        s = out16_(session_, space(w), at, static_cast<std::uint16_t>(value));
        break;
      case Width::D32:
        s = out32_(session_, space(w), at, value);
        break;
    }
    return cycleDone(s, call, w, w.vmeBase + offset);
  }

 private:
  static std::uint16_t space(const Window& w) {
    return w.space == Space::A24 ? visa::kA24Space : visa::kA32Space;
  }
  std::string where() const { return "VISA resource " + resource_ + " through " + library_; }
  void say(const std::string& what) const {
    std::fprintf(stderr, "vme-bus: %s: %s\n", where().c_str(), what.c_str());
  }
  // The library's text of a status, and the status as the standard writes it.
  std::string describe(ViStatus s) const {
    char text[visa::kDescSize + 1] = {};
    if (desc_ == nullptr || desc_(open_ ? session_ : manager_, s, text) < 0 || text[0] == '\0')
      std::snprintf(text, sizeof text, "no text");
    text[visa::kDescSize] = '\0';
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(s));
    return std::string(text) + " (" + code + ")";
  }

  // A bus error is a bus error; a warning is a cycle done.  Any other error
  // (a time-out, a lost bridge) leaves the run's results untrusted: said
  // once, the cycle failed, and the run ends with status 2.
  bool cycleDone(ViStatus s, const char* call, const Window& w, std::uint32_t address) {
    if (s >= 0) return true;
    if (s == visa::kBusError) return false;
    if (!untrustedSaid_) {
      char at[64];
      std::snprintf(at, sizeof at, " at %s 0x%08X: ", w.space == Space::A24 ? "A24" : "A32",
                    address);
      say(call + std::string(at) + describe(s) + "; the results of this run cannot be trusted");
    }
    untrustedSaid_ = true;
    markRunUntrusted();
    return false;
  }

  template <typename Fn>
  bool symbol(Fn& fn, const char* name) {
    return vendorSymbol(dl_, fn, name, true, failure_);
  }

  bool load() {
    dl_ = loadVendorLibrary(library_, failure_);
    return dl_ != nullptr && symbol(desc_, "viStatusDesc") &&
           symbol(openRM_, "viOpenDefaultRM") && symbol(open_fn_, "viOpen") &&
           symbol(close_, "viClose") && symbol(in8_, "viIn8") && symbol(in16_, "viIn16") &&
           symbol(in32_, "viIn32") && symbol(out8_, "viOut8") && symbol(out16_, "viOut16") &&
           symbol(out32_, "viOut32");
  }

  void openSession() {
    ViStatus s = openRM_(&manager_);
    if (s < 0) {
      manager_ = 0;
      failure_ = "viOpenDefaultRM failed: " + describe(s);
      return;
    }
    s = open_fn_(manager_, resource_.c_str(), visa::kNoLock, visa::kOpenTimeoutMs, &session_);
    if (s < 0) {
      failure_ = "viOpen failed: " + describe(s);
      close_(manager_);
      return;
    }
    open_ = true;
  }

  std::string resource_, library_;
  void* dl_ = nullptr;
  ViStatusDescFn desc_ = nullptr;
  ViOpenDefaultRMFn openRM_ = nullptr;
  ViOpenFn open_fn_ = nullptr;
  ViCloseFn close_ = nullptr;
  ViIn8Fn in8_ = nullptr;
  ViIn16Fn in16_ = nullptr;
  ViIn32Fn in32_ = nullptr;
  ViOut8Fn out8_ = nullptr;
  ViOut16Fn out16_ = nullptr;
  ViOut32Fn out32_ = nullptr;
  bool open_ = false;
  ViSession manager_ = 0, session_ = 0;
  std::string failure_;  // why no window can be mapped
  bool failureSaid_ = false;
  bool untrustedSaid_ = false;
};

}  // namespace

std::unique_ptr<AccessMethod> makeVisaMethod(const std::string& resource,
                                             const std::string& library) {
  return std::make_unique<VisaMethod>(resource, library);
}

}  // namespace vmebus
