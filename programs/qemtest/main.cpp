// qemtest: maps one QEM module, resets it and runs the eleven production
// tests in their fixed order.
#include "foundation/exit_status.h"
#include "foundation/results.h"
#include "qemtest.h"

int main() {
  if (!resultsOpen("qemtest")) return RUN_UNTESTED;
  return resultsFinish(qemtestRun());
}
