// libFuzzer target for the import interpreter: the input is the bytes of a ToPDA.sqd, run
// against a scratch database that is reset before every input.
//   build-fuzz/tests/fuzz/import_script_fuzz -dict=tests/fuzz/import_script.dict CORPUS SEEDS
// The script runs on the connection confined to what an answer may do, so ATTACH, VACUUM,
// PRAGMA, triggers and recursive queries are explored too: the confinement must refuse what
// would reach outside the scratch folder, and a query that does not end is stopped through
// the import's loop as the person would stop it. Inputs whose cost grows with a number they
// hold (a blob's size, a format's width, joins) are still skipped, as properties of SQL and
// not of the interpreter.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/db/Database.h"
#include "core/db/Notifier.h"
#include "core/exchange/Import.h"
#include "core/exchange/ImportLoop.h"
#include "support/RecordingScreen.h"

namespace {

using namespace velmorant;

class SilentNotifier : public Notifier {
public:
    MessageAnswer show(const std::string&, MessageIcon, MessageButtons buttons) override {
        return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
    }
};

namespace fs = std::filesystem;

struct Scratch {
    fs::path home;
    std::string cleanDatabase;  // the bytes of a freshly prepared base.sdb

    Scratch() {
        std::string templ = (fs::temp_directory_path() / "import-fuzz-XXXXXX").string();
        home = mkdtemp(templ.data());
        fs::current_path(home);  // whatever the SQL creates by a relative name stays here
        SetProgramFolder(home.string());
        PrepareDatabase();
        std::ifstream in(home / "data" / "base.sdb", std::ios::binary);
        cleanDatabase.assign(std::istreambuf_iterator<char>(in), {});
    }

    void reset() {
        for (const char* extra : {"base.sdb-wal", "base.sdb-shm", "base.sdb-journal"}) {
            std::error_code ec;
            fs::remove(home / "data" / extra, ec);
        }
        std::ofstream out(home / "data" / "base.sdb", std::ios::binary | std::ios::trunc);
        out.write(cleanDatabase.data(), static_cast<std::streamsize>(cleanDatabase.size()));
    }
};

// Stops a run after a few looks, as a person tapping " Прервать " at once would.
class ImpatientLoop : public ImportLoop {
public:
    void running(bool) override { m_looks = 0; }
    bool serve() override { return ++m_looks > 2; }

private:
    int m_looks = 0;
};

bool sqlWeSkip(const std::string& upper) {
    for (const char* word : {"RANDOMBLOB", "ZEROBLOB", "PRINTF", "FORMAT", "REPLACE",
                             "GROUP_CONCAT", "JOIN", "LIKE", "GLOB", "JSON"}) {
        if (upper.find(word) != std::string::npos) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SilentNotifier silent;
    static Notifier* previous = setNotifier(&silent);
    (void)previous;
    static Scratch scratch;

    std::string script(reinterpret_cast<const char*>(data), size);
    std::string upper = script;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (sqlWeSkip(upper)) return -1;

    scratch.reset();
    {
        std::ofstream out(scratch.home / "ToPDA.sqd", std::ios::binary | std::ios::trunc);
        out.write(script.data(), static_cast<std::streamsize>(script.size()));
    }
    test::RecordingScreen screen;  // one per input: its log does not grow over the run
    ImpatientLoop loop;
    ImportHooks hooks;
    hooks.loop = &loop;
    ImportScript(screen, scratch.home.string(), hooks);
    return 0;
}
