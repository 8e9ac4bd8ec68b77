// The CAEN bridge method.  The vendor's library is loaded at run time and the
// bridge opened once; a window is only an address range on it, and every
// access is one CAENVME_ReadCycle or CAENVME_WriteCycle with the
// non-privileged data modifier of its space.
#include "buslib/caen.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "buslib/bus_trace.h"
#include "buslib/caen_vme_abi.h"
#include "buslib/nivxi.h"
#include "buslib/vendor_library.h"
#include "platform/platform.h"

namespace vmebus {

namespace {

constexpr const char* kDefaultLibrary = VME_CAEN_DEFAULT_LIBRARY;

std::vector<std::string> split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = text.find(sep, from);
    parts.push_back(text.substr(from, at - from));
    if (at == std::string::npos) return parts;
    from = at + 1;
  }
}

// A decimal number up to max, of any number of digits (leading zeros too).
bool parseDecimal(const std::string& text, std::uint64_t max, std::uint64_t& value) {
  if (text.empty()) return false;
  std::uint64_t v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<unsigned>(c - '0');
    if (v > max) return false;  // max is at most 32 bits: no overflow
  }
  value = v;
  return true;
}

int boardTypeNamed(const std::string& name) {
  for (const caen::BoardType& b : caen::kBoardTypes) {
    const std::string n = b.name;
    if (n.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < n.size() && same; ++i)
      same = std::toupper(static_cast<unsigned char>(name[i])) == n[i];
    if (same) return b.value;
  }
  return -1;
}

class CaenMethod : public AccessMethod {
 public:
  CaenMethod(const std::string& model, const std::string& link, const std::string* node,
             const std::string& library)
      : model_(model), link_(link) {
    library_ = library.empty() ? kDefaultLibrary : library;
    type_ = boardTypeNamed(model);
    if (type_ < 0) {
      failure_ = "not a board type of the library";
      return;
    }
    model_ = caen::kBoardTypes[type_].name;
    kind_ = caen::linkKind(type_);
    std::uint64_t n = 0;
    if (kind_ != caen::LinkKind::Host && !parseDecimal(link_, 0xFFFFFFFFu, n)) {
      failure_ = std::string("the ") + kindWord() + " is not a number";
      return;
    }
    if (kind_ == caen::LinkKind::Host && link_.empty()) {
      failure_ = "no host name";
      return;
    }
    number_ = static_cast<std::uint32_t>(n);
    if (kind_ != caen::LinkKind::Host) link_ = std::to_string(number_);  // 007 is link 7
    std::uint64_t nodeNumber = 0;
    if (node != nullptr && !parseDecimal(*node, 0x7FFF, nodeNumber)) {
      failure_ = "node " + *node + " is not a number from 0 to 32767";
      return;
    }
    node_ = static_cast<short>(nodeNumber);
  }
  // A program that ends without closing the library ends its bridge.
  ~CaenMethod() override { close(); }

  // The library loaded once, then the bridge opened.
  bool open(std::string& error) override {
    if (open_) return true;
    if (failure_.empty() && (dl_ != nullptr || load())) openBridge();
    if (failure_.empty()) return true;
    error = "vme-bus: " + where() + ": " + failure_;
    return false;
  }
  // CAENVME_End, once per open.
  void close() override {
    if (!open_) return;
    open_ = false;
    const CVErrorCodes e = end_(handle_);
    if (e != caen::kSuccess) say("CAENVME_End failed: " + decode(e));
  }

  const char* name() const override { return "caen"; }
  std::string describe() const override {
    return "the CAEN bridge " + model_ + " " + kindWord() + " " + link_ + " node " +
           std::to_string(node_) + " through " + library_;
  }

  VmeStatus map(Window&) override {
    if (!open_) {
      if (!failureSaid_) say(failure_.empty() ? "the bridge is closed" : failure_);
      failureSaid_ = true;
      // Nothing is tested, whatever a program makes of a window it cannot map.
      markRunUntrusted();
      return VXI_FAILURE;
    }
    return VXI_SUCCESS;
  }
  void unmap(Window&) override {}

  bool read(const Window& w, std::uint32_t offset, vmesim::Width width,
            std::uint32_t& value) override {
    const std::uint32_t address = w.vmeBase + offset;
    CVErrorCodes e = caen::kGenericError;
    value = vmesim::allOnes(width);
    if (!open_) return false;
    switch (width) {
      case vmesim::Width::D8: {
        std::uint8_t d = 0;
        e = read_(handle_, address, &d, modifier(w), caen::kD8);
        if (e == caen::kSuccess) value = d;
        break;
      }
      case vmesim::Width::D16: {
        std::uint16_t d = 0;
        e = read_(handle_, address, &d, modifier(w), caen::kD16);
        if (e == caen::kSuccess) value = d;
        break;
      }
      case vmesim::Width::D32: {
        std::uint32_t d = 0;
        e = read_(handle_, address, &d, modifier(w), caen::kD32);
        if (e == caen::kSuccess) value = d;
        break;
      }
    }
    if (e != caen::kSuccess) value = vmesim::allOnes(width);
    return cycleDone(e, "CAENVME_ReadCycle", w, address);
  }

  bool write(const Window& w, std::uint32_t offset, vmesim::Width width,
             std::uint32_t value) override {
    const std::uint32_t address = w.vmeBase + offset;
    if (!open_) return false;
    CVErrorCodes e = caen::kGenericError;
    switch (width) {
      case vmesim::Width::D8: {
        const auto d = static_cast<std::uint8_t>(value);
        e = write_(handle_, address, &d, modifier(w), caen::kD8);
        break;
      }
      case vmesim::Width::D16: {
        const auto d = static_cast<std::uint16_t>(value);
        e = write_(handle_, address, &d, modifier(w), caen::kD16);
        break;
      }
      case vmesim::Width::D32: {
        const std::uint32_t d = value;
        e = write_(handle_, address, &d, modifier(w), caen::kD32);
        break;
      }
    }
    return cycleDone(e, "CAENVME_WriteCycle", w, address);
  }

 private:
  const char* kindWord() const {
    return kind_ == caen::LinkKind::Host ? "host" : kind_ == caen::LinkKind::Pid ? "PID" : "link";
  }
  static CVAddressModifier modifier(const Window& w) {
    return w.space == vmesim::Space::A24 ? caen::kA24UserData : caen::kA32UserData;
  }
  std::string where() const { return "CAEN bridge " + model_ + " " + kindWord() + " " + link_; }
  void say(const std::string& what) const {
    std::fprintf(stderr, "vme-bus: %s: %s\n", where().c_str(), what.c_str());
  }
  std::string decode(CVErrorCodes e) const {
    const char* text = decode_ != nullptr ? decode_(e) : nullptr;
    return std::string(text != nullptr ? text : "no text") + " (" + std::to_string(e) + ")";
  }

  // A bus error is a bus error.  Anything else (a lost link, a time-out)
  // leaves the run's results untrusted: said once, the cycle failed, and the
  // run ends with status 2.
  bool cycleDone(CVErrorCodes e, const char* call, const Window& w, std::uint32_t address) {
    if (e == caen::kSuccess) return true;
    if (e == caen::kBusError) return false;
    if (!untrustedSaid_) {
      char where[64];
      std::snprintf(where, sizeof where, " at %s 0x%08X: ",
                    w.space == vmesim::Space::A24 ? "A24" : "A32", address);
      say(call + std::string(where) + decode(e) + "; the results of this run cannot be trusted");
    }
    untrustedSaid_ = true;
    markRunUntrusted();
    return false;
  }

  template <typename Fn>
  bool symbol(Fn& fn, const char* name, bool required) {
    return vendorSymbol(dl_, fn, name, required, failure_);
  }

  bool load() {
    dl_ = loadVendorLibrary(library_, failure_);
    if (dl_ == nullptr) return false;
    if (!symbol(init2_, "CAENVME_Init2", false) ||
        !symbol(init_, "CAENVME_Init", init2_ == nullptr) ||
        !symbol(read_, "CAENVME_ReadCycle", true) || !symbol(write_, "CAENVME_WriteCycle", true) ||
        !symbol(end_, "CAENVME_End", true) || !symbol(decode_, "CAENVME_DecodeError", true))
      return false;
    return true;
  }

  void openBridge() {
    std::int32_t h = 0;
    CVErrorCodes e;
    const char* call = "CAENVME_Init2";
    if (init2_ != nullptr) {
      const std::uint32_t n = number_;
      e = kind_ == caen::LinkKind::Host ? init2_(type_, link_.c_str(), node_, &h)
                                        : init2_(type_, &n, node_, &h);
    } else {
      call = "CAENVME_Init";
      // The older call takes a short link and knows no host names.
      if (kind_ == caen::LinkKind::Host || number_ > 0x7FFF) {
        failure_ = std::string("the library has no CAENVME_Init2, and CAENVME_Init takes no ") +
                   (kind_ == caen::LinkKind::Host ? "host name" : "number over 32767");
        return;
      }
      e = init_(type_, static_cast<short>(number_), node_, &h);
    }
    if (e != caen::kSuccess) {
      failure_ = std::string(call) + " failed: " + decode(e);
      return;
    }
    handle_ = h;
    open_ = true;
  }

  std::string model_, link_, library_;
  int type_ = -1;
  caen::LinkKind kind_ = caen::LinkKind::Link;
  std::uint32_t number_ = 0;
  short node_ = 0;
  void* dl_ = nullptr;
  CaenInit2Fn init2_ = nullptr;
  CaenInitFn init_ = nullptr;
  CaenReadCycleFn read_ = nullptr;
  CaenWriteCycleFn write_ = nullptr;
  CaenEndFn end_ = nullptr;
  CaenDecodeErrorFn decode_ = nullptr;
  bool open_ = false;
  std::int32_t handle_ = 0;
  std::string failure_;  // why no window can be mapped
  bool failureSaid_ = false;
  bool untrustedSaid_ = false;
};

}  // namespace

std::unique_ptr<AccessMethod> makeCaenMethod(const std::string& arguments,
                                             const std::string& library, std::string& error) {
  const std::vector<std::string> f = split(arguments, ':');
  if (f.size() < 2 || f.size() > 3 || f[0].empty()) {
    // As given: "caen" alone has no colon.
    error = "VME_BUS=caen" + (arguments.empty() ? "" : ":" + arguments) +
            ": expected caen:MODEL:LINK[:NODE]";
    return nullptr;
  }
  return std::make_unique<CaenMethod>(f[0], f[1], f.size() == 3 ? &f[2] : nullptr, library);
}

}  // namespace vmebus
