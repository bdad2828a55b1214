#pragma once

#include <string>

namespace velmorant {

class ExchangePort;

// Writes every document in state 1 with its order lines into PDATo1C.xml in `folder`
// (Windows-1251, CR LF), and packs it into PDATo1C.zip (deleting the XML file) when the
// screen's UseZip is on. An empty folder is asked for with screen.ChooseFolder(); a cancelled
// choice gives false without a message. The file is written under a temporary name in the
// same folder and renamed into place only when it is complete, so a failed run never leaves
// a truncated PDATo1C.xml. Progress goes to the screen's log and its progress bar; failures
// are shown through notifier(). Documents are only read, never changed.
// Returns true when the file (or its archive) was written completely.
bool ExportDocuments(ExchangePort& screen, const std::string& folder);

}  // namespace velmorant
