#include "screens/documents/GoodsRowsModel.h"

#include "core/db/Money.h"
#include "screens/widgets/TwoLineDelegate.h"

namespace velmorant {

namespace {
enum Column { ColName = 0, ColCount = 1, ColPrice = 2, ColSum = 3 };

QString Money2(Money value) { return QString::fromStdString(MoneyToText(value, 2, true)); }
}  // namespace

GoodsRowsModel::GoodsRowsModel(const Catalogue& catalogue, QObject* parent)
    : QAbstractTableModel(parent), m_catalogue(catalogue) {}

void GoodsRowsModel::setCaptions(const QStringList& captions) {
    beginResetModel();
    m_captions = captions;
    endResetModel();
}

void GoodsRowsModel::setCaption(int column, const QString& caption) {
    if (column < 0 || column >= m_captions.size()) return;
    m_captions[column] = caption;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

void GoodsRowsModel::setRows(std::vector<int> records, QStringList notes) {
    beginResetModel();
    m_records = std::move(records);
    m_notes =
        notes.size() == static_cast<qsizetype>(m_records.size()) ? std::move(notes) : QStringList();
    endResetModel();
}

int GoodsRowsModel::recordAt(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= m_records.size()) return -1;
    const int record = m_records[static_cast<std::size_t>(row)];
    if (record < 0 || static_cast<std::size_t>(record) >= m_catalogue.Records().size()) return -1;
    return record;
}

void GoodsRowsModel::rowChanged(int row) {
    if (recordAt(row) < 0) return;
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

int GoodsRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_records.size());
}

int GoodsRowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_captions.size());
}

QVariant GoodsRowsModel::data(const QModelIndex& index, int role) const {
    const int record = recordAt(index.row());
    if (record < 0) return {};
    const TTreeData& r = m_catalogue.Records()[static_cast<std::size_t>(record)];
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case ColName:
                    return QString::fromStdString(r.ANAME);
                case ColCount:
                    return Money2(r.quantity);
                case ColPrice:
                    return Money2(r.PRICE);
                case ColSum:
                    return Money2(MoneyMul(r.PRICE, r.quantity));
                default:
                    return {};
            }
        case Qt::TextAlignmentRole:
            if (index.column() == ColName) return {};
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        case Qt::UserRole:
            return record;
        case TwoLineDelegate::kSecondLineRole:
            if (index.column() != ColName) return {};
            if (!m_notes.isEmpty()) return m_notes[index.row()];
            return QString::fromStdString(m_catalogue.FolderName(record));
        default:
            return {};
    }
}

QVariant GoodsRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= m_captions.size()) return {};
    if (role == Qt::DisplayRole) return m_captions[section];
    if (role == Qt::TextAlignmentRole && section > 0) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    }
    return {};
}

}  // namespace velmorant
