#include "core/db/Clock.h"
#include "core/db/Guid.h"
#include "core/db/Money.h"
#include "core/db/Notifier.h"
#include "core/db/QueryResult.h"
#include "core/db/Text.h"
#include "core/documents/Document.h"
#include "core/documents/DocumentSql.h"

namespace velmorant {

namespace {

// Before an existing header is rewritten, its stored row must still be there and still be
// open for changes: the exchange may have moved it on, or the journal removed it, while the
// editor held it. Rewriting it then would change a document the office already has, or leave
// lines without a header.
bool StoredDocumentWritable(TQueryResult& q, TDocHead& doc) {
    if (!ExecShowingStatement(q, docsql::SelectStoredState(doc.GUID))) return false;
    if (q.RowCount() == 0) {
        notifier().message(kDocHeaderNotRead);
        return false;
    }
    q.First();
    const std::int32_t stored = DocStateFromText(q.Value("DOC_STATE", ""));
    if (stored > 1) {
        doc.DOC_STATE = stored;
        doc.statusText = DocStateText(doc.DOC_STATE);
        notifier().message(kDocSaveRefused, MessageIcon::Warning);
        return false;
    }
    return true;
}

bool WriteDocument(TDocHead& doc, bool isNew, const docsql::Totals& totals, DateTime today) {
    auto q = TQueryResult::Create(DatabasePath(), true);
    if (!q) return false;
    Transaction transaction(*q);
    if (!transaction.Begin()) return false;

    if (!isNew && !StoredDocumentWritable(*q, doc)) return false;

    const std::string header =
        isNew ? docsql::InsertHead(doc, totals, today) : docsql::UpdateHead(doc, totals);
    if (!ExecShowingStatement(*q, header)) return false;
    if (!ExecShowingStatement(*q, docsql::DeleteLines(doc.GUID))) return false;
    for (std::size_t i = 0; i < doc.Lines.size(); ++i) {
        if (!ExecShowingStatement(*q, docsql::InsertLine(doc.GUID, i, doc.Lines[i]))) return false;
    }
    // Leaving without a commit rolls every statement above back.
    return transaction.Commit();
}

}  // namespace

bool SaveDocument(TDocHead& doc, const Clock& clock) {
    if (Trim(doc.CLI_NAME).empty() || Trim(doc.CLI_GUID).empty()) {
        notifier().message(kDocNoClient, MessageIcon::Warning);
        return false;
    }
    const bool isNew = Trim(doc.GUID).empty();
    if (!isNew && doc.DOC_STATE > 1) {
        notifier().message(kDocSaveRefused, MessageIcon::Warning);
        return false;
    }

    docsql::Totals totals;
    if (!docsql::ComputeTotals(doc, totals)) {
        notifier().message(kDocTotalsTooLarge, MessageIcon::Warning);
        return false;
    }

    const std::string previousGuid = doc.GUID;
    if (isNew) doc.GUID = NewGuidText();
    if (!WriteDocument(doc, isNew, totals, clock.Today())) {
        // Nothing was stored, so a new document stays new and the next save inserts again.
        doc.GUID = previousGuid;
        return false;
    }
    if (isNew) {
        doc.DOC_STATE = 1;
        doc.statusText = kDocStatusWritten;
    }
    doc.Modified = false;
    return true;
}

}  // namespace velmorant
