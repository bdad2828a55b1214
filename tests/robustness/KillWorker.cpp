// Saves order documents without end: new ones of 40 lines, and every third time an update of
// an earlier one with one line more. After each completed save prints "<n> <GUID> <lines>",
// the number of saves so far and the document saved with its number of lines, so that whoever
// kills it knows what must be in the database. Usage: kill_worker HOME
#include <cstdio>
#include <string>
#include <vector>

#include "core/db/Clock.h"
#include "core/db/Database.h"
#include "core/db/Guid.h"
#include "core/documents/Document.h"

using namespace velmorant;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kill_worker HOME\n");
        return 2;
    }
    SetProgramFolder(argv[1]);
    if (!PrepareDatabase()) return 1;
    const SystemClock clock;
    std::vector<std::string> saved;
    for (long n = 1;; ++n) {
        TDocHead doc;
        if (n % 3 == 0 && !saved.empty()) {
            if (!LoadDocument(doc, saved[static_cast<size_t>(n) % saved.size()], clock)) return 1;
            doc.Lines.push_back({NewGuidText(), "Добавленный товар", "1.00", 100, ""});
        } else {
            NewDocument(doc, clock);
            doc.CLI_GUID = NewGuidText();
            doc.CLI_NAME = "Клиент " + std::to_string(n);
            doc.STR_PRIM = "Примечание";
            for (int i = 0; i < 40; ++i) {
                doc.Lines.push_back(
                    {NewGuidText(), "Товар " + std::to_string(i), "2.50", 1234, ""});
            }
        }
        doc.Modified = true;
        if (!SaveDocument(doc, clock)) return 1;
        if (saved.empty() || saved.back() != doc.GUID) saved.push_back(doc.GUID);
        std::printf("%ld %s %zu\n", n, doc.GUID.c_str(), doc.Lines.size());
        std::fflush(stdout);
    }
}
