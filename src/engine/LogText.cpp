// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/LogText.h"

#include <QRegularExpression>

namespace {

// A time format without its time-zone field, and without the brackets and
// blanks around that field ("H:mm:ss (t)" becomes "H:mm:ss"). Quoted text is
// kept as it stands.
QString WithoutTimeZone(const QString& format) {
    static const QRegularExpression kZone(
        QStringLiteral("\\s*(\\(\\s*t+\\s*\\)|\\[\\s*t+\\s*\\]|t+)"));
    QString out;
    qsizetype start = 0;
    while (start < format.size()) {
        qsizetype quote = format.indexOf(QLatin1Char('\''), start);
        if (quote < 0)
            quote = format.size();
        out += format.mid(start, quote - start).remove(kZone);
        if (quote == format.size())
            break;
        qsizetype close = format.indexOf(QLatin1Char('\''), quote + 1);
        close = close < 0 ? format.size() - 1 : close;
        out += format.mid(quote, close - quote + 1);
        start = close + 1;
    }
    return out.trimmed();
}

} // namespace

std::string LogText::LongDateTime(const QLocale& locale, const QDateTime& when) {
    // Locale text for the log's start and end lines only; no page bytes pass here.
    const QString text = locale.toString(when.date(), QLocale::LongFormat) + QLatin1Char(' ') +
                         locale.toString(when.time(), WithoutTimeZone(locale.timeFormat()));
    return text.toStdString();
}

std::string LogText::StartLine() {
    return "Start of test " + LongDateTime() + "\r\n";
}

std::string LogText::EndLine() {
    return "End of test: " + LongDateTime();
}

std::string LogText::TestingLine(const std::string& file) {
    return "Testing: " + file;
}

std::string LogText::Summary(const std::string& file, int urls, int errors, int excluded) {
    std::string line = "Results for " + file + ": URLs tested: " + std::to_string(urls) +
                       ". URL errors: " + std::to_string(errors) + ".";
    if (excluded > 0)
        line += " URLs excluded: " + std::to_string(excluded) + ".";
    return line + "\r\n";
}

std::string LogText::CannotOpenMessage(const std::string& file) {
    return "Error: Cannot open file:\n\n" + file;
}
