#pragma once
// The record files vert.kvt ... radi.kvt in the home folder as one set (util/FileSet.h):
// Save, Rip and ASC import replace them together through the journal "kvt.journal", and
// Load and every command of the command-line program first complete a journal a killed
// run left behind.

#include <vector>

#include "util/FileSet.h"

constexpr const char* kRecordJournal = "kvt.journal";

// Replaces the named record files of the home folder together.
void WriteRecordFiles(const std::vector<TFileSetItem>& items);

// Completes an interrupted replacement; true when there was one.
bool RecoverRecordFiles();
