#pragma once

#include <string>

namespace velmorant {

class ExchangePort;
class ImportLoop;
class TransferLoop;

// The local staging folder of the exchange: the program folder followed by "exchange/".
std::string ExchangeFolder();

// Exports the documents into the exchange folder (PDATo1C.xml, or PDATo1C.zip with UseZip)
// and uploads the file with FtpTransfer, running `loop` while it waits. False at once,
// without a log line, when UseFTP is off; false when the export or the upload failed or was
// cancelled (a failed upload leaves the exported file).
bool SendByFtp(ExchangePort& screen, TransferLoop& loop);

// Downloads ToPDA.sqd (ToPDA.zip with UseZip) into the exchange folder and runs the import on
// it. An unpacked answer with the 0003 header brings its ToPDA.sql by a second download (a
// companion left by an earlier answer is removed first), and with the option AnswerKey set
// also ToPDA.sig. False at once, without a log line, when UseFTP is off; false when a download
// failed or was cancelled (nothing is imported then), and false when the import of the
// downloaded answer failed or was stopped (it has shown why). True when both worked.
// `importLoop` (when given) serves the program while the import runs and lets the person stop
// it.
bool FetchByFtp(ExchangePort& screen, TransferLoop& loop, ImportLoop* importLoop = nullptr);

}  // namespace velmorant
