#include "results/CResultsModel.h"

#include "results/CDisplayText.h"

CResultsModel::CResultsModel(QObject* parent) : QAbstractTableModel(parent) {
}

void CResultsModel::AddResultCell(const std::string& text, int column,
                                  const std::string& currentFile) {
    if (column == ColUrl) {
        const int row = RowCount();
        beginInsertRows(QModelIndex(), row, row);
        m_rows.push_back(SRow{{text, {}, {}, {}}, 0});
        endInsertRows();
        return;
    }
    if (m_rows.empty() || (column != ColReason && column != ColSiteName))
        return;
    SRow& last = m_rows.back();
    last.cells[static_cast<std::size_t>(column)] = text;
    if (column == ColSiteName)
        last.cells[ColFileName] = currentFile;
    const int row = RowCount() - 1;
    emit dataChanged(index(row, column), index(row, column == ColSiteName ? ColFileName : column));
}

void CResultsModel::Clear() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void CResultsModel::RemoveRow(int row) {
    if (row < 0 || row >= RowCount())
        return;
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

int CResultsModel::RemoveRepairedRows() {
    int removed = 0;
    for (int row = RowCount() - 1; row >= 0; --row) {
        if (IsRepaired(Row(row).itemData)) {
            RemoveRow(row);
            ++removed;
        }
    }
    return removed;
}

std::string CResultsModel::GetPrintLine(int row) const {
    const SRow& r = Row(row);
    return r.cells[0] + " - " + r.cells[1] + " - " + r.cells[2] + " - " + r.cells[3];
}

int CResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : RowCount();
}

int CResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CResultsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= RowCount() || index.column() >= ColumnCount)
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return CDisplayText::FromBytes(
            Row(index.row()).cells[static_cast<std::size_t>(index.column())]);
    return QVariant();
}

QVariant CResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const kHeaders[] = {"URL", "Reason", "Site Name", "File Name"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromLatin1(kHeaders[section]);
}
