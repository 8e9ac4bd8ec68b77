// The board kinds a crate file may name.
#include "crate/boards/memory.h"
#include "crate/boards/qem.h"
#include "crate/boards/ttcvi.h"
#include "crate/boards/trigger.h"

namespace vmesim {

const std::vector<BoardKind>& boardKinds() {
  static const std::vector<BoardKind> kinds = {
      {"memory", 0x10000, &MemoryBoard::make},
      {"qem", 0x10000, &QemBoard::make},
      {"ttcvi", 0x800, &TtcviBoard::make},
      {"trigger", 0x10, &TriggerBoard::make},
  };
  return kinds;
}

}  // namespace vmesim
