// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>

class CResultsModel;
class QPainter;
class QPrinter;

/// Prints the results list: one row a line ("URL - reason - site name - file"),
/// 0.75 inch from the left, two lines down from the top, as many rows a page as
/// fit, and no headers, footers or page numbers. An empty list prints one empty
/// page.
class CResultsPrinter {
public:
    CResultsPrinter(const CResultsModel& model, QFont font) : m_model(model), m_font(font) {}

    /// Prints on `printer` every page, or the range its print dialog chose;
    /// returns the number of pages printed.
    int Print(QPrinter& printer) const;

    int RowsPerPage(QPrinter& printer) const;
    int PageCount(QPrinter& printer) const;

private:
    struct SLayout {
        double unit;       // device pixels in 0.01 inch
        double lineHeight; // device pixels
        int rowsPerPage;
    };
    SLayout Layout(QPrinter& printer) const;

    const CResultsModel& m_model;
    QFont m_font;
};
