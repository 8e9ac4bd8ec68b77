// The scan report on any command stream with any parameters a program can
// pass; built once with each form of the module library.  The buffer holds
// exactly the words scanned, so any read past them is caught.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "qemlib/qem_scan.h"

namespace {

int take(const std::uint8_t*& data, std::size_t& size) {
  std::int32_t v = 0;
  const std::size_t n = size < 4 ? size : 4;
  std::memcpy(&v, data, n);
  data += n;
  size -= n;
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The report lines are not wanted, only what the scan does to get them.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) return 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  const int flags = take(data, size);
  const int orbit = take(data, size);
  ScanParams p = scanDefaults();
  p.byte = flags & 1;
  p.verbose = (flags >> 1) & 1;
  p.orbit = (flags & 4) ? orbit : 3565;  // the console passes any orbit
  p.pipeline = (flags & 8) ? 29 + ((flags >> 8) & 0xFF) : 99;
#if !defined(QEM_SEQ_FORMS)
  if (flags & 16) p.nextL1ID = (flags >> 16) & 0xFFFFFF;
  if (flags & 32) p.nextTTID = (flags >> 20) & 0x3FF;
  p.ttcTiming = (flags >> 6) & 1;  // qemttc's recordings
#endif
  // Two bytes a word: source and sink lanes.
  const int count = static_cast<int>(size / 2);
  if (count > SEQ_WORDS) return 0;
  std::unique_ptr<std::int32_t[]> words(new std::int32_t[static_cast<std::size_t>(count) + 0]);
  for (int k = 0; k < count; ++k) words[static_cast<std::size_t>(k)] = data[2 * k] | data[2 * k + 1] << 8;
  p.count = count;
  const ScanResult r = scanReport(words.get(), p);
  if (r.countL1A < 0 || r.errors < 0) __builtin_trap();
  return 0;
}
