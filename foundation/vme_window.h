// Mapping and closing the VME window, with the bus-access check, and the
// address questions.  One window state per program.
#pragma once

#include <cstdint>

#include "buslib/nivxi.h"
#include "foundation/profile.h"

// Address modes: index into the access-code table.
inline constexpr int VME_A32 = 0;
inline constexpr int VME_A24 = 1;

extern std::uint32_t vmeWindow;      // handle of the last window mapped
extern std::int16_t vmeStatus;       // status of the last library call made here
extern int vmeLibraryFirst;          // set until the first standard open

// The InitVXIlibrary wrapper: returns the status unchanged and keeps the
// pointer to the library's information block.
VXIstatus vmeInitLibrary();
// The bus-error word at byte 0x28 of the information block.
std::uint32_t vmeBusErrorRecv();

// The address questions of vmeSelect, by SelectVariant, and their usage
// notes.
inline constexpr const char* kAskModePrompt[] = {"Select VME A32  address mode? [A24]",
                                                 "Select VME A24  address mode? [A32]"};
inline constexpr char kAskBasePrompt[] = "Enter  VME base address";
constexpr Question askModeQuestion(SelectVariant v) {
  return {kAskModePrompt[static_cast<int>(v)],
          v == SelectVariant::A24Default ? "N: A24 (Y: A32)" : "N: A32 (Y: A24)"};
}
constexpr Question askBaseQuestion(SelectVariant v) {
  return {kAskBasePrompt,
          v == SelectVariant::A24Default ? "F00000 (A32: D000000)" : "D000000 (A24: F00000)"};
}

// The window of profile().windowSize.
VmePtr vmeOpen(std::uint32_t address, int mode);
VmePtr vmeOpen(std::uint32_t size, std::uint32_t address, int mode);
// Asks the address mode and base address, then opens (the window of
// profile().windowSize).
VmePtr vmeSelect();
VmePtr vmeSelect(std::uint32_t size);
// The simple A24 open: no size call, library initialised at every call.
VmePtr vmeOpenA24(std::uint32_t address);
// Unmaps the last window mapped and closes the library.
void vmeClose();
