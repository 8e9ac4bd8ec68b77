// qemtest: maps one QEM module, resets it and runs the eleven production
// tests in their fixed order.
#include "foundation/program.h"
#include "foundation/vme_window.h"
#include "qemtest.h"

namespace {

int run(const char*, const char*) { return qemtestRun(); }

constexpr Question kQuestions[] = {askModeQuestion(SelectVariant::A24Default),
                                   askBaseQuestion(SelectVariant::A24Default), kAskDebugLevel,
                                   kAskTestLoops};

// The A24-default address question (the window size goes to vmeSelect as its
// argument), prompts that flush all output first, the BCID recorded only
// after a command, and the dump's CAL pipeline taken from reg_delays.
constexpr Profile kProfile{
    .usage = {
        .name = "qemtest",
        .text =
            "The QEM module production test: maps the module, resets it and runs RST,\n"
            "CLK, REG, RAM, SEQ, L1ID, BCID, SER, CMD, BRST and SEQall in that order,\n"
            "one verdict line each (\"REG test: Pass\").  With standard input at its end\n"
            "every question keeps its default: qemtest < /dev/null runs it unattended.\n",
        .statuses = kStatusVerdicts,
        .asks = true,
        .results = true,
        .waves = true,
        .questions = kQuestions,
    },
    .prompts = PromptStyle::ReadLineFlush,
    .select = SelectVariant::A24Default,
    .qem = {.bcidRecordAlways = false, .dumpPipelineFromDelays = true},
    .body = run,
};
static_assert(kProfile.qem.seqForms == kQemSeqForms, "qemtest links qemlib");

}  // namespace

int main(int argc, char** argv) { return runProgram(argc, argv, kProfile); }
