#pragma once

#include <QAbstractTableModel>
#include <array>
#include <string>
#include <vector>

/// The rows of the results list: the only record of a test's results.
///
/// Each row holds four byte strings (URL, reason, site name, file name) and a
/// 32-bit item value: the low 16 bits are the repaired mark, the high 16 bits the
/// file-finished mark. Rows are appended during a test and removed only as a
/// whole list, singly, or as the repaired rows at closing, so the rows of one
/// file always stand together.
class CResultsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColUrl = 0, ColReason, ColSiteName, ColFileName, ColumnCount };

    struct SRow {
        std::array<std::string, ColumnCount> cells;
        quint32 itemData = 0;
    };

    explicit CResultsModel(QObject* parent = nullptr);

    /// Column 0 appends a row; columns 1 and 2 fill the last row, and column 2
    /// also puts `currentFile` into the file-name column. Other columns, and cells
    /// of a list without rows, are ignored.
    void AddResultCell(const std::string& text, int column, const std::string& currentFile);
    void Clear();
    void RemoveRow(int row);
    /// Removes every row whose repaired mark is set; returns how many went.
    int RemoveRepairedRows();

    int RowCount() const { return static_cast<int>(m_rows.size()); }
    const SRow& Row(int row) const { return m_rows[static_cast<std::size_t>(row)]; }
    void SetItemData(int row, quint32 value) {
        m_rows[static_cast<std::size_t>(row)].itemData = value;
    }
    static bool IsRepaired(quint32 itemData) { return (itemData & 0xFFFF) == 1; }

    /// A row as printed: the four cells joined by " - ".
    std::string GetPrintLine(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::vector<SRow> m_rows;
};
