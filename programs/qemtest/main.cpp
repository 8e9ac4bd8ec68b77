// qemtest: maps one QEM module, resets it and runs the eleven production
// tests in their fixed order.
#include "foundation/run_end.h"
#include "qemtest.h"
#include "foundation/usage.h"

const ProgramUsage kUsage{
    .name = "qemtest",
    .operands = "",
    .text =
        "The QEM module production test: maps the module, resets it and runs RST,\n"
        "CLK, REG, RAM, SEQ, L1ID, BCID, SER, CMD, BRST and SEQall in that order,\n"
        "one verdict line each (\"REG test: Pass\").  With standard input at its end\n"
        "every question keeps its default: qemtest < /dev/null runs it unattended.\n"
        "\n"
        "Questions, in order, with their defaults:\n"
        "  Select VME A32  address mode? [A24]   N: A24 (Y: A32)\n"
        "  Enter  VME base address               F00000 (A32: D000000)\n"
        "  Enter debug level                     0; 1 to 3 add dumps and step lines\n"
        "  NAME test: Enter number of loops      RST 3, CLK 1, REG 3, RAM 2, SEQ 2,\n"
        "                                        L1ID 3, BCID 3, SER 3, CMD 3, BRST 3\n"
        "                                        (SEQall runs once, unasked)\n",
    .statuses = kStatusVerdicts,
    .asks = true,
    .results = true,
};

int main(int argc, char** argv) {
  if (const int status = handleArguments(argc, argv, kUsage); status >= 0) return status;
  return finishRun(qemtestRun());
}
