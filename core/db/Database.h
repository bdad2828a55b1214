#pragma once

#include <string>

namespace velmorant {

// The program folder: it holds data/base.sdb and the exchange/ staging folder. One of the
// three globals of the program (with the database path and the notifier): it is a fact of the
// installation that every run has exactly one of, read where files are placed beside the
// program (PrepareDatabase, the exchange folder, the temporary file of a packing). Set once
// at start-up: the GUI program and velmorant-cli set ResolveProgramFolder() (db/DataFolder.h:
// beside the executable, or the user's data folder), velmorant-cli its --home folder when one
// is given; tests set a temporary folder (test::TempProgramFolder). Until then it is the
// executable's folder. Always ends with "/" (the setter adds it). User-interface thread only.
std::string ProgramFolder();
void SetProgramFolder(const std::string& folder);

// Creates the data folder and base.sdb when missing, sets the global database path and
// creates every one of the nine tables that is missing, then the device's indexes that are
// missing (db/Indexes.h). Returns false when the file cannot
// be opened or a table cannot be created (the messages have been shown).
bool PrepareDatabase();

}  // namespace velmorant
