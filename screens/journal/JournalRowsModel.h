#pragma once

#include <QAbstractTableModel>
#include <QStringList>

#include <vector>

#include "core/journal/JournalRows.h"
#include "screens/widgets/ImageList.h"

namespace velmorant {

// The journal's list over the rows as they were read: a row's texts are made only when the
// view asks for them, that is when the row is drawn, so that a period of many thousands of
// documents costs the reading of its rows and little more.
//
// Columns: the state icon (its text two blanks and the GUID), "Дата", "Клиент", "Кол-во" and,
// when the model was made with sums, "Сумма", whose cells stay blank while sums are off.
// Qt::UserRole of every cell gives the row's index in the result.
class JournalRowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    JournalRowsModel(const ImageList& states, QStringList captions, QObject* parent = nullptr);

    // Replaces every row; `sums` says whether the sum cells are filled.
    void setRows(std::vector<TJournalRow> rows, bool sums);
    const std::vector<TJournalRow>& rows() const { return m_rows; }
    // The rows themselves, to be given back with setRows().
    std::vector<TJournalRow> takeRows();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    const ImageList& m_states;
    QStringList m_captions;
    std::vector<TJournalRow> m_rows;
    bool m_sums = false;
};

}  // namespace velmorant
