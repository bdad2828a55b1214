#pragma once

#include <string>

namespace velmorant {

class ExchangePort;
class ImportLoop;
class ImportObserver;

// What a caller may add to a run besides the screen: an observer that hears what the run
// meets and does, and a folder of its own to unpack ToPDA.zip into (the script and its
// companion are then read from there), so that the folder of the answer is only read.
struct ImportHooks {
    ImportObserver* observer = nullptr;
    std::string unpackFolder;    // empty: the answer's own folder
    ImportLoop* loop = nullptr;  // serves the program while the answer runs, and stops it
};

// Runs the office's answer ToPDA.sqd (Windows-1251, CR line ends) found in `folder` against
// base.sdb, unpacking it first from ToPDA.zip when the screen's UseZip is on. An empty folder
// is asked for with screen.ChooseFolder(). The outcome is that of every statement taking
// effect when it is executed (they are committed in batches, see BatchedStatements);
// a failing statement stops the run and the statements before it stay. Afterwards runs the
// companion ToPDA.sql (0003 header; not when it is more than a minute older than the script,
// which makes it one left by an earlier answer), the requested deletions of old documents, shows
// the office's messages and stores the time of the load as LLD_Def. Then the day's copy of the
// database is made (by the hooks' loop after the run, when it takes it: ImportLoop::copyDayLater),
// unless the answer's statements changed only the office's directories and messages (the
// deletions of old documents do not count) and the day has a copy already: that copy is then
// marked behind (MarkCopiesBehind) and the next start makes it anew in the background. The
// answer runs on a connection confined to what an answer may do (ConfineToAnswer). With a loop in
// the hooks the run can be stopped: the open batch is rolled back, "Прервано." is logged and what
// was committed stays, as after a failing statement. An answer that leaves its own transaction open
// stops the run too. Progress goes to the screen's log and its progress bar, failures through
// notifier(). Returns true exactly when the run got as far as logging "Загрузка завершена.";
// callers that only need to start the import may ignore the result.
bool ImportScript(ExchangePort& screen, const std::string& folder,
                  const ImportHooks& hooks = ImportHooks());

// Whether the script at `scriptPath` has the 0003 header, which runs ToPDA.sql beside it too.
bool ScriptRunsCompanion(const std::string& scriptPath);

}  // namespace velmorant
