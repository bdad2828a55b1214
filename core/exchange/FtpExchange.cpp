#include "core/exchange/FtpExchange.h"

#include <filesystem>

#include "core/db/Database.h"
#include "core/exchange/ExchangePort.h"
#include "core/exchange/Export.h"
#include "core/exchange/FtpTransfer.h"
#include "core/exchange/Import.h"

namespace velmorant {

namespace {
constexpr const char* kExchangeSubfolder = "exchange/";
constexpr const char* kExportBase = "PDATo1C.";
constexpr const char* kImportBase = "ToPDA.";
}  // namespace

std::string ExchangeFolder() { return ProgramFolder() + kExchangeSubfolder; }

bool SendByFtp(ExchangePort& screen, TransferLoop& loop) {
    const TAppOptions& options = screen.Options();
    if (!options.UseFTP) return false;
    const std::string folder = ExchangeFolder();
    if (!ExportDocuments(screen, folder)) return false;
    const std::string localPath = folder + kExportBase + (options.UseZip ? "zip" : "xml");
    return FtpTransfer(screen, loop, FtpDirection::Send, FtpConnectionFor(options), localPath);
}

bool FetchByFtp(ExchangePort& screen, TransferLoop& loop, ImportLoop* importLoop) {
    const TAppOptions& options = screen.Options();
    if (!options.UseFTP) return false;
    const std::string folder = ExchangeFolder();
    const std::string localPath = folder + kImportBase + (options.UseZip ? "zip" : "sqd");
    const FtpConnection connection = FtpConnectionFor(options);
    const std::string companion = folder + kImportBase + "sql";
    if (!options.UseZip) {
        // Only a companion that came with this answer may run with it.
        std::error_code ec;
        std::filesystem::remove(companion, ec);
    }
    if (!FtpTransfer(screen, loop, FtpDirection::Fetch, connection, localPath)) return false;
    // An unpacked 0003 answer names its companion ToPDA.sql, which travels beside it; the
    // answer is not run without it.
    if (!options.UseZip && ScriptRunsCompanion(localPath) &&
        !FtpTransfer(screen, loop, FtpDirection::Fetch, connection, companion)) {
        return false;
    }
    // Signed answers: the signature lies beside the script on the server (inside the archive
    // with UseZip). One left by an earlier answer never stands in for it; a signature that
    // cannot be fetched leaves none, and the import refuses the answer.
    if (!options.AnswerKey.empty() && !options.UseZip) {
        const std::string signature = folder + kImportBase + "sig";
        std::error_code ec;
        std::filesystem::remove(signature, ec);
        FtpTransfer(screen, loop, FtpDirection::Fetch, FtpConnectionFor(options), signature);
    }
    // The import is handed the folder without its final separator. A fetch whose answer could
    // not be run (or was stopped) has failed, however well the download went.
    ImportHooks hooks;
    hooks.loop = importLoop;
    return ImportScript(screen, folder.substr(0, folder.size() - 1), hooks);
}

}  // namespace velmorant
