// qemseq: the sequencer console of the QEM module.  Keyword commands build a
// command stream in a host buffer, load it into the sequencer RAM, run it,
// scan it and dump the module; typed at the console or read from a command
// file whose first numbered line gives the module's VME base address.
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/console.h"
#include "foundation/exit_status.h"
#include "foundation/file_player.h"
#include "foundation/program.h"
#include "foundation/vme_window.h"
#include "foundation/waves.h"
#include "programs/qemseq/command_line.h"
#include "qemlib/qem_registers.h"
#include "qemlib/qem_scan.h"

namespace {

constexpr std::uint32_t kWindowSize = regmap::qem::kWindow;
constexpr int kL1AOffset = 7;  // BCID of a placed L1A: index - BCR index - 7
constexpr int kTTID = regmap::bits(regmap::qem::ttid::kType);  // every trigger-type bit

constexpr Question kAskFromFile{"Select input from file?", "N (Y: Enter filename [qemky.dat])"};
constexpr Question kAskRunMode{"Select Run mode?  [VME mode]", "N: VME mode (Y: TTC run mode)"};
constexpr Question kAskKeyword{"Enter keyword [value] (eg MENU)",
                               "DUMP 1, then the last command; MENU\n"
                               "lists the keywords, HELP describes\n"
                               "them; the end of input ends it"};
constexpr Question kQuestions[] = {kAskFromFile, askModeQuestion(SelectVariant::A24Default),
                                   askBaseQuestion(SelectVariant::A24Default), kAskRunMode,
                                   kAskKeyword};

enum Key { HELP, MENU, L1A, ECR, BCR, CAL, DUMP, FILL, LOAD, RUN, SCAN, SIZE, KEYS };
constexpr std::array<const char*, KEYS> kKeywords = {"HELP", "MENU", "L1A",  "ECR",  "BCR", "CAL",
                                                     "DUMP", "FILL", "LOAD", "RUN", "SCAN", "SIZE"};

const char kHelp[] =
    "HELP: description of commands\n"
    "MENU: list of commands\n"
    "L1A  [index]: add L1A in buffer[index]\n"
    "ECR  [index]: add ECR in buffer[index]\n"
    "BCR  [index]: add BCR in buffer[index]\n"
    "CAL  [index]: add CAL in buffer[index]\n"
    "DUMP [byte ]: dump QEM registers byte 0 = source, 1 = sink\n"
    "FILL [value]: fill buffer with value\n"
    "LOAD: load QEM sequencer with buffer\n"
    "RUN : run  QEM sequencer\n"
    "SCAN: scan buffer\n"
    "SIZE: set  buffer size\n";

std::int32_t seqBuffer[SEQ_WORDS];
int seqLength = SEQ_WORDS;
int bcrIndex = NO_VALUE;
int l1aCount = 0;
std::array<int, 3> fieldValues = {0, 0, kTTID};
constexpr std::array<int, 2> kGaps = {1, 1};
bool ttcRunMode = false;

int lookupKey(const char* keyword) {
  for (int k = 0; k < KEYS; ++k)
    if (std::strcmp(keyword, kKeywords[static_cast<std::size_t>(k)]) == 0) return k;
  return NO_VALUE;
}

// Asks a missing value.  An empty answer, and the end of input, keep the
// default.
int askValue(const char* question, int def) {
  std::uint32_t v = 0;
  askHex(question, static_cast<std::uint32_t>(def), &v);
  return static_cast<int>(v);
}

// An index of ECR, BCR or CAL must lie in the buffer.
bool indexInside(const char* keyword, int index) {
  if (index >= 0 && index < seqLength) return true;
  std::printf("%s: index %d is outside the buffer (0 to %d), nothing changed\n", keyword, index,
              seqLength - 1);
  return false;
}

void placeL1A(int index) {
  if (bcrIndex == NO_VALUE) std::printf("\n Trouble at Mill \n");
  ++l1aCount;
  fieldValues[0] = l1aCount;
  // Only the low twelve bits are sent; wide operands must not overflow.
  fieldValues[1] = static_cast<int>(static_cast<std::uint32_t>(
      static_cast<std::int64_t>(index) - bcrIndex - kL1AOffset));
  fieldValues[2] = kTTID;
  if (index < 0 || index >= seqLength)
    std::printf("L1A: index %d is outside the buffer (0 to %d), not placed\n", index,
                seqLength - 1);
  seqAddL1A(seqBuffer, seqLength, index, fieldValues, kGaps);
}

void loadRAM() {
  for (int i = 0; i < seqLength; ++i)
    seqRAM.write16(2u * static_cast<unsigned>(i), static_cast<std::uint16_t>(seqBuffer[i]));
}

void printMenu() {
  for (int k = 0; k < KEYS; ++k)
    std::printf("%4s%c", kKeywords[static_cast<std::size_t>(k)], (k + 1) % 16 == 0 ? '\n' : ' ');
  std::printf("\n");
}

}  // namespace

void runCommand(const char* keyword, int value) {
  const int key = lookupKey(keyword);
  if (value == NO_VALUE) {
    switch (key) {
      case L1A: case ECR: case BCR: case CAL:
        value = askValue("Enter index", 0);
        break;
      case DUMP:
        value = askValue("Enter byte ", 1);
        break;
      case FILL:
        value = askValue("Enter value", 0);
        break;
      case SIZE:
        value = askValue("Enter sequencer RAM size", seqLength);
        break;
      default:
        break;
    }
  }
  std::printf(" cmd: token %s value %i %04x key %i\n", keyword, value, static_cast<unsigned>(value),
              key);
  // The command names its waveform file: "qemseq-scan-0001.vcd".
  std::string step = keyword;
  for (char& c : step) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  wavesStep(step.c_str());

  switch (key) {
    case HELP:
      std::printf("\n%s\n", kHelp);
      break;
    case MENU:
      printMenu();
      break;
    case L1A:
      placeL1A(value);
      break;
    case ECR:
      if (indexInside(keyword, value)) seqBuffer[value] = SEQ_ECR;
      break;
    case BCR:
      if (value >= seqLength) {
        indexInside(keyword, value);
        break;
      }
      if (value >= 0) seqBuffer[value] = SEQ_BCR;
      bcrIndex = value;
      break;
    case CAL:
      if (indexInside(keyword, value)) seqBuffer[value] = SEQ_CAL;
      break;
    case DUMP:
      qemRegisterDump(seqLength, value);
      break;
    case FILL:
      for (int i = 0; i < seqLength; ++i) seqBuffer[i] = value;
      break;
    case LOAD:
      loadRAM();
      break;
    case RUN:
      qemSeqStart(seqLength - 1);
      break;
    case SCAN:
      scanBuffer(seqBuffer, seqLength, {seqLength, 0, 1, kL1AOffset, bcrIndex + 1, 27});
      break;
    case SIZE:
      if (value < 1 || value > SEQ_WORDS) {
        std::printf("SIZE: %d is outside 1 to %d, size stays %d\n", value, SEQ_WORDS, seqLength);
        break;
      }
      seqLength = value;
      break;
    default:
      std::printf("NONE\n");
      break;
  }
}

namespace {

bool mapModule(VmePtr window) {
  if (!window) return false;
  qemMapRegisters(window);
  seqRAM = window + QEM_RAM_OFFSET;
  return true;
}

// A number wider than 32 bits has no meaning for any command.
void refuseWide(const char* keyword, const Parsed& parsed) {
  std::printf("%s: value %.*s is wider than 32 bits, not carried out\n", keyword,
              parsed.numberLength, parsed.number);
}

// The command-file player.  Returns RUN_PASSED after a file played to its
// end, its window closed; RUN_FAILED, with the window left as it is, for a
// file it cannot use or a window it cannot map.
int playFile(const char* program, const char* fileName) {
  std::FILE* file = playerOpen(program, fileName);
  if (file == nullptr) return RUN_FAILED;
  runCommand("FILL", 0);

  bool firstLine = true;
  char line[kLineSize];
  char keyword[kLineSize] = "";
  long lineNo = 0;
  bool nul = false;
  while (playerNextLine(file, line, nul)) {
    ++lineNo;
    if (nul) {
      playerRefuseNul(file, program, fileName, lineNo);
      return RUN_FAILED;
    }
    const Parsed parsed = parseLine(line, keyword);
    playerEcho(line, parsed.n);

    if (firstLine && parsed.n > 0) {
      firstLine = false;
      if (parsed.wide) {
        std::printf("%s: line %ld: base address %.*s is wider than 32 bits, no window mapped\n",
                    program, lineNo, parsed.numberLength, parsed.number);
        std::fclose(file);
        return RUN_FAILED;
      }
      if (parsed.n < 2) {
        // Without a number there is no address to map: refuse the file
        // before any register is touched.
        std::printf("%s: line %ld: the first line must give the module's VME base address "
                    "(e.g. BASE 0xF00000); nothing done\n",
                    program, lineNo);
        std::fclose(file);
        return RUN_FAILED;
      }
      std::printf("addr: %x\n", static_cast<unsigned>(parsed.value));
      if (!mapModule(vmeOpen(static_cast<std::uint32_t>(parsed.value), VME_A24))) {
        std::printf("error mapping window\n");
        return RUN_FAILED;
      }
      qemDisableTTC();
    } else if (parsed.wide) {
      refuseWide(keyword, parsed);
    } else if (parsed.n == 2) {
      runCommand(keyword, parsed.value);
    }

    pauseIfAsked(line);
  }
  if (!playerFinish(file, program, fileName)) return RUN_FAILED;
  if (firstLine) {
    std::printf("%s: no VME base address in file %s; nothing loaded\n", program, fileName);
    return RUN_FAILED;
  }
  runCommand("LOAD", 0);
  vmeClose();
  return RUN_PASSED;
}

void dialogue() {
  char commandLine[kLineSize] = "DUMP 1";
  char keyword[kLineSize] = "";
  runCommand("FILL", 0);
  if (askYesNo(kAskRunMode.prompt, 'N') == ANSWER_YES) {
    qemEnableTTC();
    ttcRunMode = true;
  } else {
    qemDisableTTC();
  }
  for (;;) {
    if (askUpper(kAskKeyword.prompt, commandLine, commandLine) < 0) {
      // End of console input ends the dialogue.
      std::printf("\n");
      return;
    }
    const Parsed parsed = parseLine(commandLine, keyword);
    if (parsed.wide) refuseWide(keyword, parsed);
    else runCommand(keyword, parsed.n == 2 ? parsed.value : NO_VALUE);
  }
}

int run(const char* program, const char* operand) {
  if (operand != nullptr) return playFile(program, operand);
  if (askYesNo(kAskFromFile.prompt, 'N') == ANSWER_YES) {
    char fileName[kLineSize] = "qemky.dat";
    askString("Enter filename", fileName, fileName);
    return playFile(program, fileName);
  }
  // The console has no verdicts.
  const bool mapped = mapModule(vmeSelect());
  if (mapped) dialogue();
  else std::printf("Error opening VME window\n");
  vmeClose();
  return mapped ? RUN_PASSED : RUN_UNTESTED;
}

constexpr Profile kProfile{
    .usage = {
        .name = "qemseq",
        .operands = "[--] [FILE]",
        .text =
            "The QEM sequencer console: builds a command stream in a host buffer with\n"
            "keywords (L1A, ECR, BCR, CAL at word indexes, FILL, SIZE), SCANs it, LOADs\n"
            "and RUNs it on the module and DUMPs the registers and the recorded sink.\n"
            "With FILE it plays that command file: the first line is the module's A24\n"
            "base, each later line KEYWORD NUMBER.  A FILE that starts with '-' goes\n"
            "after --, and - alone is a file named -.\n",
        .statuses = kStatusConsole,
        .asks = true,
        .waves = true,
        .questionsTitle = "Questions without FILE, in order, with their defaults:",
        .questions = kQuestions,
    },
    .windowSize = kWindowSize,
    .qem = {.seqForms = true},
    .body = run,
};
static_assert(kProfile.qem.seqForms == kQemSeqForms, "qemseq links qemlib_seq");

}  // namespace

int main(int argc, char** argv) { return runProgram(argc, argv, kProfile); }
