// The NI-VXI method.  The library is loaded at run time and initialised
// once per open.  Each window is one of the library's (MapVXIAddressSize,
// then MapVXIAddress), so its range and its status are the library's own;
// every access is one VXIin or VXIout at the window's VME address plus the
// offset, with the non-privileged data access of its space.  A negative
// cycle status that the information block counts as a bus error is a bus
// error; any other (a time-out, a refused argument) leaves the run untrusted.
#include "buslib/nivxi_bridge.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "buslib/bus_trace.h"
#include "buslib/nivxi.h"
#include "buslib/nivxi_bridge_abi.h"
#include "platform/platform.h"

namespace vmebus {

namespace {

constexpr const char* kDefaultLibrary = "nivxi.dll";
constexpr NivxiInt32 kMapTimeout = 1000;

class NivxiMethod;

// FindDevLA by name, every other selector -1.
class NivxiNames : public DeviceLookup {
 public:
  explicit NivxiNames(const NivxiMethod& m) : m_(m) {}
  int lookup(const std::string& name) const override;

 private:
  const NivxiMethod& m_;
};

class NivxiMethod : public AccessMethod {
 public:
  explicit NivxiMethod(std::string library) : library_(std::move(library)), names_(*this) {
    if (library_.empty()) library_ = kDefaultLibrary;
  }
  // A program that ends without closing the library closes it.
  ~NivxiMethod() override { close(); }

  const char* name() const override { return "nivxi"; }
  std::string describe() const override { return "the NI-VXI library " + library_; }

  // The library loaded and its calls found once, then initialised.
  bool open(std::string& error) override {
    if (open_) return true;
    if (failure_.empty() && (dl_ != nullptr || load())) initialise();
    if (failure_.empty()) return true;
    error = "vme-bus: " + where() + ": " + failure_;
    return false;
  }
  // CloseVXIlibrary, once per open.
  void close() override {
    if (!open_) return;
    open_ = false;
    const NivxiInt16 s = close_();
    if (s < 0) say("CloseVXIlibrary failed: status " + std::to_string(s));
  }

  VmeStatus map(Window& w) override {
    if (!open_) return refuse(failure_.empty() ? "the library is closed" : failure_);
    char what[160];
    NivxiInt16 s = mapSize_(w.size);
    if (s < 0) {
      std::snprintf(what, sizeof what, "MapVXIAddressSize 0x%X failed: status %d", w.size, s);
      return refuse(what);
    }
    NivxiUint32 window = 0;
    s = 0;
    void* host = map_(access(w), w.vmeBase, kMapTimeout, &window, &s);
    if (s < 0 || host == nullptr) {
      std::snprintf(what, sizeof what, "MapVXIAddress %s 0x%08X failed: status %d",
                    spaceName(w.space), w.vmeBase, s);
      return refuse(what);
    }
    // The library's window must hold every offset the suite's window has.
    NivxiUint32 first = 0, last = 0;
    s = range_(window, &first, &last);
    const std::uint64_t end = static_cast<std::uint64_t>(w.vmeBase) + w.size - 1;
    if (s < 0 || first > w.vmeBase || last < end) {
      unmap_(window);
      std::snprintf(what, sizeof what,
                    "window %lu at %s 0x%08X: range 0x%08lX-0x%08lX (status %d) does not "
                    "hold 0x%X bytes",
                    static_cast<unsigned long>(window), spaceName(w.space), w.vmeBase,
                    static_cast<unsigned long>(first), static_cast<unsigned long>(last), s,
                    w.size);
      return refuse(what);
    }
    w.token = static_cast<std::uint32_t>(window);
    return VXI_SUCCESS;
  }
  void unmap(Window& w) override {
    if (!open_) return;
    const NivxiInt16 s = unmap_(w.token);
    if (s < 0) untrusted("UnMapVXIAddress " + std::to_string(w.token) + ": status " +
                         std::to_string(s));
  }

  bool read(const Window& w, std::uint32_t offset, Width width,
            std::uint32_t& value) override {
    const std::uint32_t address = w.vmeBase + offset;
    value = allOnes(width);
    if (!open_) return false;
    const NivxiUint32 before = busErrors();
    NivxiInt16 s = -1;
    switch (width) {
      case Width::D8: {
        std::uint8_t d = 0;
        s = in_(access(w), address, 1, &d);
        value = d;
        break;
      }
      case Width::D16: {
        std::uint16_t d = 0;
        s = in_(access(w), address, 2, &d);
        value = d;
        break;
      }
      case Width::D32: {
        std::uint32_t d = 0;
        s = in_(access(w), address, 4, &d);
        value = d;
        break;
      }
    }
    if (s < 0) value = allOnes(width);
    return cycleDone(s, before, "VXIin", w, address);
  }

  bool write(const Window& w, std::uint32_t offset, Width width,
             std::uint32_t value) override {
    const std::uint32_t address = w.vmeBase + offset;
    if (!open_) return false;
    const NivxiUint32 before = busErrors();
    const NivxiInt16 s = out_(access(w), address, static_cast<NivxiUint16>(width), value);
    return cycleDone(s, before, "VXIout", w, address);
  }

  const DeviceLookup* deviceLookup() const override { return &names_; }

  // FindDevLA's logical address of a name, -1 when it has none.
  int find(const std::string& name) const {
    if (!open_) return -1;
    std::vector<NivxiInt8> text(name.begin(), name.end());
    text.push_back(0);
    NivxiInt16 la = -1;
    const NivxiInt16 s = find_(text.data(), -1, -1, -1, -1, -1, -1, &la);
    return s < 0 ? -1 : la;
  }

 private:
  static NivxiUint16 access(const Window& w) {
    return w.space == Space::A24 ? nivxi::kA24 : nivxi::kA32;
  }
  std::string where() const { return "NI-VXI library " + library_; }
  void say(const std::string& what) const {
    std::fprintf(stderr, "vme-bus: %s: %s\n", where().c_str(), what.c_str());
  }
  // A window the library would not give: said once, and nothing is tested,
  // whatever a program makes of it.
  VmeStatus refuse(const std::string& what) {
    if (!failureSaid_) say(what);
    failureSaid_ = true;
    markRunUntrusted();
    return VXI_FAILURE;
  }
  void untrusted(const std::string& what) {
    if (!untrustedSaid_) say(what + "; the results of this run cannot be trusted");
    untrustedSaid_ = true;
    markRunUntrusted();
  }

  // The information block's count of bus errors.
  NivxiUint32 busErrors() const {
    const void* block = *info_;
    std::uint32_t n = 0;
    if (block != nullptr)
      std::memcpy(&n, static_cast<const char*>(block) + nivxi::kBusErrorRecvOffset, sizeof n);
    return n;
  }

  bool cycleDone(NivxiInt16 s, NivxiUint32 before, const char* call, const Window& w,
                 std::uint32_t address) {
    if (s >= 0) return true;
    if (busErrors() != before) return false;
    char what[96];
    std::snprintf(what, sizeof what, "%s at %s 0x%08X: status %d and no bus error counted", call,
                  spaceName(w.space), address, s);
    untrusted(what);
    return false;
  }

  template <typename Fn>
  bool symbol(Fn& fn, const char* name) {
    fn = reinterpret_cast<Fn>(platform::librarySymbol(dl_, name));
    if (fn != nullptr) return true;
    const char* e = platform::libraryError();
    failure_ = std::string("the library has no ") + name + (e != nullptr ? ": " : "") +
               (e != nullptr ? e : "");
    return false;
  }

  bool load() {
    platform::FileInfo st;
    if (library_.find_first_of("/\\") != std::string::npos &&
        platform::fileInfo(library_.c_str(), st) && st.kind != platform::FileKind::Regular) {
      failure_ = "cannot load the library: " + library_ + ": not a regular file";
      return false;
    }
    dl_ = platform::loadLibrary(library_.c_str());
    if (dl_ == nullptr) {
      const char* e = platform::libraryError();
      failure_ = "cannot load the library: " + std::string(e != nullptr ? e : library_);
      return false;
    }
    return symbol(init_, "InitVXIlibrary") && symbol(close_, "CloseVXIlibrary") &&
           symbol(map_, "MapVXIAddress") && symbol(mapSize_, "MapVXIAddressSize") &&
           symbol(unmap_, "UnMapVXIAddress") && symbol(range_, "GetWindowRange") &&
           symbol(peek_, "VXIpeek") && symbol(poke_, "VXIpoke") && symbol(find_, "FindDevLA") &&
           symbol(busStatus_, "GetVXIbusStatusInd") && symbol(in_, "VXIin") &&
           symbol(out_, "VXIout") && symbol(info_, "global_vars");
  }

  // InitVXIlibrary: a warning (already initialised) is an open library.
  void initialise() {
    const NivxiInt16 s = init_();
    if (s < 0) {
      failure_ = "InitVXIlibrary failed: status " + std::to_string(s);
      return;
    }
    if (*info_ == nullptr) {
      close_();
      failure_ = "global_vars points to no information block after InitVXIlibrary";
      return;
    }
    open_ = true;
  }

  std::string library_;
  NivxiNames names_;
  void* dl_ = nullptr;
  NivxiInitFn init_ = nullptr;
  NivxiCloseFn close_ = nullptr;
  NivxiMapFn map_ = nullptr;
  NivxiMapSizeFn mapSize_ = nullptr;
  NivxiUnmapFn unmap_ = nullptr;
  NivxiRangeFn range_ = nullptr;
  NivxiPeekFn peek_ = nullptr;
  NivxiPokeFn poke_ = nullptr;
  NivxiFindFn find_ = nullptr;
  NivxiBusStatusFn busStatus_ = nullptr;
  NivxiInFn in_ = nullptr;
  NivxiOutFn out_ = nullptr;
  void* const* info_ = nullptr;  // global_vars: the block's address
  bool open_ = false;
  std::string failure_;  // why the library cannot be opened
  bool failureSaid_ = false;
  bool untrustedSaid_ = false;
};

int NivxiNames::lookup(const std::string& name) const { return m_.find(name); }

}  // namespace

const char* const kNivxiForms = "nivxi";

std::unique_ptr<AccessMethod> makeNivxiMethod(const BusConfig& config, std::string& error) {
  if (!config.arguments.empty()) {
    error = "VME_BUS=nivxi:" + config.arguments +
            ": the NI-VXI method takes no arguments (VME_NIVXI_LIBRARY names the library)";
    return nullptr;
  }
  return std::make_unique<NivxiMethod>(config.nivxiLibrary);
}

}  // namespace vmebus
