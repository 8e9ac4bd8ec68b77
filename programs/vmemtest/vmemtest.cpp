// vmemtest: pseudo-random pattern tests of a block of D16 words in A24 space,
// a RAM or the first registers of a known module type.
#include <cstdint>
#include <cstdio>

#include "foundation/console.h"
#include "foundation/exit_status.h"
#include "foundation/program.h"
#include "foundation/verdicts.h"
#include "foundation/vme_window.h"
#include "programs/vmemtest/memtest.h"

namespace {

// vmeOpenA24 makes no window-size call: the window has the library's size.
constexpr std::uint64_t kWindowSize = VXI_DEFAULT_WINDOW_SIZE;
constexpr std::uint32_t kDefaultAddress = 0xFF0000;
constexpr int kDefaultModule = 2;

std::uint32_t vmeAddress = kDefaultAddress;
std::uint32_t blockOffset = 0;  // D16 words
std::uint32_t blockSize = 0x10;  // D16 words
int moduleCode = kDefaultModule;
std::uint32_t loopCount = 1;

constexpr Question kAskBase{"Enter VME base address", "FF0000"};
constexpr Question kAskOffset{"Enter start offset of memory to test", "0, in D16 words"};
constexpr Question kAskSize{"Enter size of memory to test in D16s", "10"};
constexpr Question kAskModule{"Enter module code", "2 (the codes are listed first)"};
constexpr Question kAskTrace{"Select trace mode option?", "N"};
constexpr Question kAskLoops{"Enter number of loops", "1"};
constexpr Question kQuestions[] = {kAskBase, kAskOffset, kAskSize, kAskModule, kAskTrace, kAskLoops};

// Each question returns false at end of input: the dialogue then ends and
// nothing is written to a board nobody chose.
bool askBlock() {
  for (;;) {
    if (askHex(kAskOffset.prompt, 0, &blockOffset) < 0) return false;
    if (askHex(kAskSize.prompt, 0x10, &blockSize) < 0) return false;
    if (2ull * blockOffset + 2ull * blockSize <= kWindowSize) return true;
    std::printf("0x%x D16s from offset 0x%x do not fit the window of 0x%llx D16s, not tested\n",
                blockSize, blockOffset, static_cast<unsigned long long>(kWindowSize / 2));
  }
}

bool askModule() {
  for (;;) {
    for (int code = 0; code < kModuleCount; ++code)
      std::printf("%x %s\n", code, kModuleTypes[static_cast<std::size_t>(code)].name);
    std::uint32_t code = 0;
    if (askHex(kAskModule.prompt, static_cast<std::uint32_t>(moduleCode), &code) < 0)
      return false;
    if (code < kModuleCount) {
      moduleCode = static_cast<int>(code);
      return true;
    }
    std::printf("module code %x is not one of 0 to %x\n", code, kModuleCount - 1);
  }
}

bool dialogue(VmePtr window) {
  std::printf("long %d  int %d  short %d  char %d  bytes\n", static_cast<int>(sizeof(std::int32_t)),
              static_cast<int>(sizeof(int)), static_cast<int>(sizeof(std::int16_t)),
              static_cast<int>(sizeof(std::int8_t)));
  if (!askBlock()) return false;
  std::printf("Testing 0x%x D16s from offset 0x%x in window\n", blockSize, blockOffset);
  if (!askModule()) return false;
  if (std::uint64_t{blockOffset} + blockSize > 16) std::printf("\nregister_masks exceeded*\n");

  const std::uint32_t shown = blockSize < 16 ? blockSize : 16;
  const VmePtr block = window + 2 * blockOffset;
  std::printf("Register mask  contents: %s\n", kModuleTypes[static_cast<std::size_t>(moduleCode)].name);
  for (std::uint32_t i = 0; i < shown; ++i)
    std::printf("%4x ", moduleMask(moduleCode, std::uint64_t{blockOffset} + i));
  std::printf("\n");
  std::printf("Current memory contents:\n");
  for (std::uint32_t i = 0; i < shown; ++i) std::printf("%4x ", block.read16(2 * i));
  std::printf("\n");

  const int trace = askYesNo(kAskTrace.prompt, 'N');
  if (trace < 0) return false;
  traceMode = trace == ANSWER_YES;
  return askHex(kAskLoops.prompt, 1, &loopCount) >= 0;
}

// A test ran when it made a loop over at least one item.
void report(const char* name, int errors, std::uint32_t items) {
  reportVerdict(name, errors, loopCount, loopCount > 0 && items > 0);
}

void runTests(VmePtr window) {
  const VmePtr block = window + 2 * blockOffset;
  const std::uint32_t bytes = 2 * blockSize;
  blockRoom = kWindowSize - 2ull * blockOffset;

  if (moduleCode == kShiftModule) {
    if (blockRoom < 16) {
      std::printf("Shift test: registers 1 to 7 lie outside the window, not tested\n");
      noteNotRun("Shift");
    } else {
      report("Shift", testShift(block, loopCount), 1);
    }
  }
  report("Masks", testMasks(block, bytes, loopCount, moduleCode, blockOffset), bytes / 2);
  report("Short", testShort(block, bytes, loopCount), bytes / 2);
  report("Char", testChar(block, bytes, loopCount), bytes);
  // D32 cycles need a block on a D32 boundary of the bus.
  const std::uint64_t start = std::uint64_t{vmeAddress} + 2ull * blockOffset;
  if (start % 4 != 0 && bytes >= 4) {
    std::printf("Long test: block at VME address %llx is not on a D32 boundary, not tested\n",
                static_cast<unsigned long long>(start));
    noteNotRun("Long");
  } else {
    report("Long", testLong(block, bytes, loopCount), bytes / 4);
  }
}

int run(const char*, const char*) {
  // At end of input the open only peeks; the dialogue then ends before any
  // write.
  askHex(kAskBase.prompt, kDefaultAddress, &vmeAddress);
  const VmePtr window = vmeOpenA24(vmeAddress);
  const bool answered = !window.isNull() && dialogue(window);
  if (answered) runTests(window);
  // Without a window, or with input that ended before the loop count,
  // nothing was tested.
  const int status = endVerdictRun("vmemtest");
  vmeClose();
  return status;
}

constexpr Profile kProfile{
    .usage = {
        .name = "vmemtest",
        .text =
            "Pseudo-random pattern tests (Shift, Masks, Short, Char, Long) of a block of\n"
            "D16 words in A24 space with D16, D8 and D32 accesses, masked by a module\n"
            "type's register layout; one verdict line each.  Input that ends before the\n"
            "loop count tests nothing.\n",
        .statuses = kStatusVerdicts,
        .asks = true,
        .results = true,
        .questions = kQuestions,
    },
    .prompts = PromptStyle::SelfRead,
    .body = run,
};

}  // namespace

int main(int argc, char** argv) { return runProgram(argc, argv, kProfile); }
