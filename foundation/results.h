// The record of a run for the production database: VME_RESULTS=FILE appends
// one JSON object per run (JSON Lines), VME_JUNIT=FILE writes the run as
// JUnit XML.  Both are opened before the first bus cycle; a run that ends by
// a fatal signal appends its record with the outcome "interrupted".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "buslib/bus_config.h"
#include "foundation/run_end.h"

// Checks and opens the records named in the environment, before the bus
// starts.  A record is never one of the run's inputs (the crate file, the
// device table, the CAEN library, the file played), the trace or the other
// record.  False with the one line to say in error: nothing is to be tested.
bool resultsOpen(const char* program, const vmebus::BusConfig& bus, const char* played,
                 std::string& error);
// True once a file is open.
bool resultsWanted();

// What the record learns during the run.
void resultsNoteWindow(std::uint32_t address, bool a32, std::uint32_t size);
// An answer typed at a prompt; text null at end of input (the default kept).
void resultsNoteAnswer(const char* question, const char* text, std::size_t n);
struct SoakCounts {
  std::uint64_t iterations = 0;
  std::uint64_t calt = 0, cali = 0, trig = 0, other = 0, bus = 0;
};
void resultsNoteSoak(const SoakCounts& counts);
// Brings the record kept for an interrupt up to date (after each event).
void resultsChanged();

// Writes the records of the run's end, once; says on standard error where
// each went, or that it was lost.
void resultsFinish(const RunEnd& end);
