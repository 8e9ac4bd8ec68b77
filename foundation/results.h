// The record of a run for the production database: VME_RESULTS=FILE appends
// one JSON object per run (JSON Lines), VME_JUNIT=FILE writes the run as
// JUnit XML.  Both are opened before the first bus cycle; a run that ends by
// a fatal signal appends its record with the outcome "interrupted".
#pragma once

#include <cstddef>
#include <cstdint>

// Opens the files named in the environment.  False when one cannot be
// opened: said in one line on standard error, nothing is to be tested.
bool resultsOpen(const char* program);
// True once a file is open.
bool resultsWanted();

// What the record learns during the run.
void resultsNoteWindow(std::uint32_t address, bool a32, std::uint32_t size);
// An answer typed at a prompt; text null at end of input (the default kept).
void resultsNoteAnswer(const char* question, const char* text, std::size_t n);
struct SoakCounts {
  unsigned long long iterations = 0;
  long calt = 0, cali = 0, trig = 0, other = 0, bus = 0;
};
void resultsNoteSoak(const SoakCounts& counts);
// Brings the record kept for an interrupt up to date (after each event).
void resultsChanged();

// Writes the records of the finished run with its exit status.  Returns the
// status, or RUN_UNTESTED when a record could not be written.
int resultsFinish(int status);
// Writes the records with the outcome "interrupted", before the program
// dies of a signal.
void resultsFinishInterrupted();
