// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/CResultsModel.h"

#include "results/CDisplayText.h"

#include <algorithm>

CResultsModel::CResultsModel(QObject* parent) : QAbstractTableModel(parent) {
}

void CResultsModel::AddRow(const SResultRow& row) {
    const int at = RowCount();
    beginInsertRows(QModelIndex(), at, at);
    m_rows.push_back(row);
    m_rows.back().itemData = 0;
    endInsertRows();
}

void CResultsModel::AddRows(std::vector<SResultRow> rows) {
    if (rows.empty())
        return;
    const int at = RowCount();
    beginInsertRows(QModelIndex(), at, at + static_cast<int>(rows.size()) - 1);
    for (SResultRow& row : rows) {
        row.itemData = 0;
        m_rows.push_back(std::move(row));
    }
    endInsertRows();
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
    auto repaired = [](const SResultRow& row) { return (row.itemData & kLowHalf) == kMarkSet; };
    const auto count = std::count_if(m_rows.begin(), m_rows.end(), repaired);
    if (count == 0)
        return 0;
    // Scattered rows removed one by one would cost a move of the tail each.
    beginResetModel();
    m_rows.erase(std::remove_if(m_rows.begin(), m_rows.end(), repaired), m_rows.end());
    endResetModel();
    return static_cast<int>(count);
}

void CResultsModel::SetRepaired(int row, bool bSet) {
    std::uint32_t& data = m_rows[static_cast<std::size_t>(row)].itemData;
    data = (data & ~kLowHalf) | (bSet ? kMarkSet : 0);
}

void CResultsModel::SetFileFinished(int row, bool bSet) {
    std::uint32_t& data = m_rows[static_cast<std::size_t>(row)].itemData;
    data = (data & kLowHalf) | (bSet ? kMarkSet << 16 : 0);
}

const std::string& CResultsModel::Cell(const SResultRow& row, int column) {
    switch (column) {
    case kColUrl:
        return row.url;
    case kColReason:
        return row.reason;
    case kColSiteName:
        return row.siteName;
    default:
        return row.fileName;
    }
}

std::string CResultsModel::GetPrintLine(int row) const {
    const SResultRow& r = Row(row);
    return r.url + " - " + r.reason + " - " + r.siteName + " - " + r.fileName;
}

int CResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : RowCount();
}

int CResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CResultsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= RowCount() || index.column() >= kColumnCount)
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return CDisplayText::FromBytes(Cell(Row(index.row()), index.column()));
    return QVariant();
}

QVariant CResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const kHeaders[] = {"URL", "Reason", "Site Name", "File Name"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromLatin1(kHeaders[section]);
}
