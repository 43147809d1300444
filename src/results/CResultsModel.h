// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/SResultRow.h"

#include <QAbstractTableModel>
#include <string>
#include <vector>

/// The rows of the results list: the only record of a test's results.
///
/// Rows are appended during a test and removed only as a whole list, singly, or
/// as the repaired rows at closing, so the rows of one file always stand
/// together. Each row carries two marks in its item data: the repaired mark in
/// the low 16 bits and the file-finished mark in the high 16 bits; setting one
/// keeps the other.
class CResultsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum EColumn : int { kColUrl = 0, kColReason, kColSiteName, kColFileName, kColumnCount };

    explicit CResultsModel(QObject* parent = nullptr);

    void AddRow(const SResultRow& row);
    /// Appends `rows` in one insertion.
    void AddRows(std::vector<SResultRow> rows);
    void Clear();
    void RemoveRow(int row);
    /// Removes every row whose repaired mark is set, in one pass; returns how
    /// many went.
    int RemoveRepairedRows();

    int RowCount() const { return static_cast<int>(m_rows.size()); }
    const SResultRow& Row(int row) const { return m_rows[static_cast<std::size_t>(row)]; }

    bool IsRepaired(int row) const { return (Row(row).itemData & kLowHalf) == kMarkSet; }
    bool IsFileFinished(int row) const { return (Row(row).itemData >> 16) == kMarkSet; }
    void SetRepaired(int row, bool bSet);
    void SetFileFinished(int row, bool bSet);

    /// A row as printed: the four cells joined by " - ".
    std::string GetPrintLine(int row) const;
    /// The bytes of one cell.
    static const std::string& Cell(const SResultRow& row, int column);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    static constexpr std::uint32_t kLowHalf = 0xFFFF;
    static constexpr std::uint32_t kMarkSet = 1;

    std::vector<SResultRow> m_rows;
};
