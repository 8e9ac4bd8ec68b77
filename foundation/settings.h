// Per-program settings of the foundation.  Each program defines
// vmeSettings once, at namespace scope, with its own values; the choice is
// made when the program is built, never at run time.
#pragma once

enum class PromptStyle {
  ReadLine,       // prompts read through readLine
  ReadLineFlush,  // readLine, flushing all output streams first
  SelfRead,       // every prompt reads its own line
};

enum class SelectVariant {
  A24Default,  // "Select VME A32  address mode? [A24]"
  A32Default,  // "Select VME A24  address mode? [A32]", fixed 0x20000 window, FFFF check
};

struct VmeSettings {
  PromptStyle prompts = PromptStyle::ReadLine;
  SelectVariant select = SelectVariant::A24Default;
};

extern VmeSettings vmeSettings;
