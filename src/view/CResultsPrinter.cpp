// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/CResultsPrinter.h"

#include "results/CDisplayText.h"
#include "results/CResultsModel.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QTextOption>
#include <algorithm>
#include <cmath>

CResultsPrinter::SLayout CResultsPrinter::Layout(QPrinter& printer) const {
    SLayout layout{};
    layout.unit = printer.resolution() / 100.0;
    const QFontMetricsF metrics(m_font, &printer);
    // The line height is that of "Fg" plus 0.05 inch.
    layout.lineHeight = metrics.boundingRect(QStringLiteral("Fg")).height() + 5 * layout.unit;
    const double pageHeight = printer.pageLayout().paintRectPixels(printer.resolution()).height();
    const double usable = pageHeight - 2 * layout.lineHeight; // two lines of top margin
    layout.rowsPerPage = std::max(1, static_cast<int>(std::floor(usable / layout.lineHeight)));
    return layout;
}

int CResultsPrinter::RowsPerPage(QPrinter& printer) const {
    return Layout(printer).rowsPerPage;
}

int CResultsPrinter::PageCount(QPrinter& printer) const {
    const int rows = m_model.RowCount();
    const int perPage = RowsPerPage(printer);
    return std::max(1, (rows + perPage - 1) / perPage);
}

int CResultsPrinter::Print(QPrinter& printer) const {
    const SLayout layout = Layout(printer);
    const int pages = PageCount(printer);
    QPainter painter;
    if (!painter.begin(&printer))
        return 0;
    painter.setFont(QFont(m_font, &printer));
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setTabStopDistance(100 * layout.unit);
    const double left = 75 * layout.unit;
    const double width = printer.pageLayout().paintRectPixels(printer.resolution()).width() - left;
    // The pages the print dialog asked for, if any.
    const int first = printer.fromPage() > 0 ? std::min(printer.fromPage(), pages) : 1;
    const int last = printer.toPage() > 0 ? std::clamp(printer.toPage(), first, pages) : pages;
    for (int page = first; page <= last; ++page) {
        if (page > first)
            printer.newPage();
        for (int i = 0; i < layout.rowsPerPage; ++i) {
            const int row = (page - 1) * layout.rowsPerPage + i;
            if (row >= m_model.RowCount())
                break;
            const QRectF line(left, (2 + i) * layout.lineHeight, width, layout.lineHeight);
            painter.drawText(line, CDisplayText::FromBytes(m_model.GetPrintLine(row)), option);
        }
    }
    painter.end();
    return last - first + 1;
}
