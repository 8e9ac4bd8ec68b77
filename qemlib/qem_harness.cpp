#include "qemlib/qem_harness.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "foundation/pattern_rand.h"
#include "foundation/verdicts.h"
#include "foundation/waves.h"
#include "qemlib/qem_waves.h"

int idCurrent = ID_UNREAD;
int idPrevious = NO_VALUE;
int idNext = NO_VALUE;
int bcidLast = NO_VALUE;
int harnessSeed = 0;

namespace {
constexpr int kPrintWords = 16;
constexpr int kL1IDMask = 0xFFFFFF;
}  // namespace

void harnessReset() {
  idCurrent = ID_UNREAD;
  idPrevious = NO_VALUE;
  idNext = NO_VALUE;
  bcidLast = NO_VALUE;
  harnessSeed = 0;
  verdictsReset();
}

int checkEqual(const char* label, int actual, int expected) {
  if (actual == expected) return 0;
  printErrorLine("ERROR: %s (%06x, %06x)\n", label, static_cast<unsigned>(actual),
              static_cast<unsigned>(expected));
  return 1;
}

int checkID(int flags, int value) {
  if (idCurrent == ID_UNREAD) idNext = qemOldFirmware;
  idCurrent = qemReadL1ID();
  if (idPrevious == NO_VALUE) idPrevious = idCurrent;
  int errors = 0;
  if (flags == 0) {
    idNext = value;
  } else if (flags & SEQ_ECR) {
    if (qemVersion < 9)
      errors = checkEqual("checkID: post ECR, L1ID non-zero: l1id=", idCurrent, 0);
    else
      errors = checkEqual("checkID: post ECR, LIID value unexpected: (l1id, last)=", idCurrent,
                          idPrevious);
    idNext = qemOldFirmware;
  } else if (flags & SEQ_L1A) {
    errors = checkEqual("checkID: post L1A, LIID value unexpected: (l1id, next)=", idCurrent, idNext);
    idNext = (idCurrent + 1) & kL1IDMask;
  } else {
    errors = checkEqual("checkID: post non-ECR/L1A, L1ID changed: (l1id, last)=", idCurrent,
                        idPrevious);
  }
  idPrevious = idCurrent;
  return errors;
}

int checkBCID(int flags, int value) {
  const int bcid = static_cast<int>(regmap::fieldEx(reg_BCid.get(), qemreg::bcid::kCount));
  if (bcidLast == NO_VALUE) bcidLast = 0;
  int errors = 0;
  if (flags == 0) {
    // only records
  } else if (flags & SEQ_L1A) {
    if (value != NO_VALUE)
      errors = checkEqual("checkBCID: post L1A: (bcid, next)", bcid, value);
    else if (bcid == bcidLast)
      std::printf("Info: checkBCID: post L1A, BCIDs equal: bcid %04X\n", bcid);
  } else {
    errors = checkEqual("checkBCID: post (bcid, last)", bcid, bcidLast);
  }
  if (flags != 0 || profile().qem.bcidRecordAlways) bcidLast = bcid;
  return errors;
}

int checkCounters(int flags, int value) {
  const int errors = checkID(flags, value);
  return errors + checkBCID(flags, value);
}

void reportTest(const char* name, int errors, long loops) { reportVerdict(name, errors, loops); }

void printWords(const char* title, const std::uint16_t* words, int count) {
  std::printf("%s\n", title);
  for (int i = 0; i < std::min(count, kPrintWords); ++i) std::printf("%4X ", words[i]);
  std::printf("\n");
}

void printWords(const char* title, VmePtr words, int count) {
  std::printf("%s\n", title);
  for (int i = 0; i < std::min(count, kPrintWords); ++i)
    std::printf("%4X ", words.read16(2u * static_cast<unsigned>(i)));
  std::printf("\n");
}

void pressReturn() {
  std::printf("Press RETURN to continue :");
  std::fflush(stdout);
  std::getchar();
  std::printf("\n");
}

int writeReadCompare(VmePtr target, std::int32_t* record, int count, int loops, int maskPeriod,
                     const std::uint16_t* masks) {
  if (count <= 0 || loops <= 0) return 0;
  if (maskPeriod <= 0) maskPeriod = 1;
  auto mask = [&](int k) { return static_cast<int>(masks[k % maskPeriod]); };
  auto at = [](int k) { return 2u * static_cast<unsigned>(k); };
  int errors = 0;
  vmeSrand(static_cast<std::uint32_t>(harnessSeed));
  for (int i = 0; i < loops; ++i) {
    for (int j = 0; j < count; ++j) {
      const int k = i == 0 ? j : vmeRand() % count;
      const int v = vmeRand();
      record[k] = v;
      target.write16(at(k), static_cast<std::uint16_t>(v & mask(k)));
      const int read = target.read16(at(k)) & mask(k);
      if (read != (v & mask(k))) {
        printErrorLine("wrote %04X, read %04X, byte %x loop %d mask %04x\n", v, read, at(k), i,
                    mask(k));
        ++errors;
      }
    }
    for (int j = 0; j < count; ++j) {
      const int read = target.read16(at(j)) & mask(j);
      if (read != (record[j] & mask(j))) {
        printErrorLine("wrote %04X, read %04X, byte %x loop %d\n", static_cast<unsigned>(record[j]),
                    read, at(j), i);
        ++errors;
      }
    }
  }
  harnessSeed = record[count - 1];
  return errors;
}

#if !defined(QEM_SEQ_FORMS)
int test_sink(std::int32_t* expected, int compareWords, int playWords) {
  compareWords = std::clamp(compareWords, 0, SEQ_WORDS);
  playWords = std::clamp(playWords, 0, SEQ_WORDS);
  reg_output.set(0);
  qemSeqStart(playWords);
  int errors = qemCheckStandaloneClock();
  qemWait_seqBusys();
  int orBits = 0;
  for (int i = 0; i < playWords; ++i) {
    const int b = expected[i] & 0xFF;
    expected[i] = b * 0x0101;
    orBits |= b;
  }
  // The words read, and where they differed, for the waveform.
  static std::int32_t readBack[SEQ_WORDS];
  std::vector<int> mismatches;
  for (int i = 0; i < compareWords; ++i) {
    const int read = seqRAM.read16(2u * static_cast<unsigned>(i));
    readBack[i] = read;
    if (read != (expected[i] & 0xFFFF)) {
      printErrorLine("test_sink: wrote %04X, read %04X, byte %x\n", static_cast<unsigned>(expected[i]),
                  read, 2u * static_cast<unsigned>(i));
      ++errors;
      if (wavesWanted()) mismatches.push_back(i);
    }
  }
  writeSinkWaves(readBack, expected, compareWords, mismatches);
  const int output = reg_output.get();
  if (output != orBits) {
    printErrorLine("test_sink: reg_output %04X, output %04X, SeqWords %04X\n", output, orBits,
                playWords);
    ++errors;
  }
  return errors;
}
#endif
