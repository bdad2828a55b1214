#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <vector>

#include "core/documents/Catalogue.h"

namespace velmorant {

// The rows of the goods picker's search results and of its earlier-orders view: goods of the
// catalogue by record index, with the same cells as the folder list (name, quantity and,
// with sums, price and sum) and a second line under the name: the text given for the row,
// or else the name of the goods' folder. Quantities are read from the catalogue each time a
// cell is drawn, so they always agree with the tree. The catalogue must outlive the model's
// rows (clear() before releasing it).
class GoodsRowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit GoodsRowsModel(const Catalogue& catalogue, QObject* parent = nullptr);

    // The columns: the captions (two, or four with sums).
    void setCaptions(const QStringList& captions);
    void setCaption(int column, const QString& caption);

    // Shows `records`; `notes` (one per row, or none) are the second lines.
    void setRows(std::vector<int> records, QStringList notes = {});
    void clear() { setRows({}); }

    // The record of `row`, -1 out of range.
    int recordAt(int row) const;
    // Redraws the cells of `row` after its quantity changed.
    void rowChanged(int row);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const Catalogue& m_catalogue;
    QStringList m_captions;
    std::vector<int> m_records;
    QStringList m_notes;
};

}  // namespace velmorant
