#include "screens/journal/JournalRowsModel.h"

#include <utility>

#include "screens/widgets/QtText.h"

namespace velmorant {

namespace {
// The columns, as JournalWindow numbers them.
enum Column { kState, kDate, kClient, kWeight, kSum };
}  // namespace

JournalRowsModel::JournalRowsModel(const ImageList& states, QStringList captions, QObject* parent)
    : QAbstractTableModel(parent), m_states(states), m_captions(std::move(captions)) {}

void JournalRowsModel::setRows(std::vector<TJournalRow> rows, bool sums) {
    beginResetModel();
    m_rows = std::move(rows);
    m_sums = sums;
    endResetModel();
}

std::vector<TJournalRow> JournalRowsModel::takeRows() {
    beginResetModel();
    std::vector<TJournalRow> rows = std::move(m_rows);
    m_rows.clear();
    endResetModel();
    return rows;
}

int JournalRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int JournalRowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_captions.size());
}

QVariant JournalRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const TJournalRow& row = m_rows[static_cast<std::size_t>(index.row())];
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
            switch (column) {
                case kState:
                    return QStringLiteral("  ") + ToQString(row.GUID);
                case kDate:
                    return ToQString(JournalDayMonth(row.DOC_DATE));
                case kClient:
                    return ToQString(row.CLI_NAME);
                case kWeight:
                    return ToQString(JournalWeight(row));
                case kSum:
                    return m_sums ? ToQString(JournalSum(row)) : QString();
                default:
                    return {};
            }
        case Qt::DecorationRole:
            if (column == kState && row.state >= 0 && row.state < m_states.count())
                return m_states.icon(static_cast<int>(row.state));
            return {};
        case Qt::TextAlignmentRole:
            if (column == kWeight || column == kSum) return int(Qt::AlignRight | Qt::AlignVCenter);
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        case Qt::UserRole:
            return index.row();
        default:
            return {};
    }
}

QVariant JournalRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= m_captions.size()) return {};
    if (role == Qt::DisplayRole) return m_captions[section];
    if (role == Qt::TextAlignmentRole) {
        const int side = section == kWeight || section == kSum ? Qt::AlignRight : Qt::AlignLeft;
        return side | Qt::AlignVCenter;
    }
    return {};
}

}  // namespace velmorant
