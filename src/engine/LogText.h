// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QLocale>
#include <string>

/// The texts a test writes to its log and shows as messages, each in one place,
/// whichever session runs the test.
namespace LogText {

inline constexpr const char* kNoFilesMessage =
    "No files found.\n\nWas your filter option set correctly?";
inline constexpr const char* kProcessingStopped = "Processing has stopped";
inline constexpr const char* kStoppedByUser = "Testing Stopped by User";

/// The date and time in the locale's long form, for the log and the HTML report:
/// weekday, month name, day, year and the time with seconds, without a time zone.
std::string LongDateTime(const QLocale& locale = QLocale::system(),
                         const QDateTime& when = QDateTime::currentDateTime());

/// The first line of a test's log, dated now, with an empty line after it.
std::string StartLine();
/// The last line of a test that ran to its end, dated now.
std::string EndLine();
/// The line that opens a file's part of the log.
std::string TestingLine(const std::string& file);
/// The line that closes a file's part of the log, with an empty line after it;
/// the links the test skipped are counted only when there are some.
std::string Summary(const std::string& file, int urls, int errors, int excluded = 0);
/// The message shown when a file of the test cannot be read.
std::string CannotOpenMessage(const std::string& file);

} // namespace LogText
