// qemtest: maps one QEM module, resets it and runs the eleven production
// tests in their fixed order.
#include "qemtest.h"

int main() { return qemtestRun(); }
