#pragma once

#include <string>

namespace velmorant {

// The folder that stands for the program's own folder: it holds data/base.sdb and the
// exchange/ staging folder. The GUI sets it to the executable's folder, velmorant-cli to
// --home. Always ends with "/".
std::string ProgramFolder();
void SetProgramFolder(const std::string& folder);

// Creates the data folder and base.sdb when missing, sets the global database path and
// creates every one of the nine tables that is missing. Returns false when the file cannot
// be opened or a table cannot be created (the messages have been shown).
bool PrepareDatabase();

}  // namespace velmorant
