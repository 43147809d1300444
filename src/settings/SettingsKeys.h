// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// A setting whose default the caller works out when it reads it.
struct SSettingName {
    const char* section;
    const char* name;
};

/// A number setting and the value it reads as when it is missing or unusable.
struct SIntSetting {
    const char* section;
    const char* name;
    int defaultValue;
};

/// A text setting and the value it reads as when it is missing or unusable.
struct SStringSetting {
    const char* section;
    const char* name;
    const char* defaultValue;
};

/// A text setting of any length (the others read as their default from 260
/// bytes on); empty when missing.
struct STextSetting {
    const char* section;
    const char* name;
};

/// Every setting the program reads or writes. Code names a setting only through
/// these, so a misspelt section or name cannot quietly read a default.
namespace SettingsKeys {

// The Select Files command: the last path tested and the dialog's check boxes.
inline constexpr SStringSetting kFileSelStarter{"FileSel", "Starter", ""};
inline constexpr SIntSetting kFileSelRecurse{"FileSel", "Recurse", 0};
inline constexpr SIntSetting kFileSelAllFiles{"FileSel", "AllFiles", 0};
inline constexpr SIntSetting kFileSelFilter{"FileSel", "Filter", 0};

// The main window's place and size in pixels; 0 everywhere means "not yet placed".
inline constexpr SIntSetting kScreenX{"Screen", "x", 0};
inline constexpr SIntSetting kScreenY{"Screen", "y", 0};
inline constexpr SIntSetting kScreenCx{"Screen", "cx", 0};
inline constexpr SIntSetting kScreenCy{"Screen", "cy", 0};
/// Height of the results pane; 0 means half the window.
inline constexpr SIntSetting kScreenHigh{"Screen", "High", 0};

/// Widths of the four results columns; the default depends on the list's width.
inline constexpr SSettingName kGridColumns[4] = {
    {"Grid", "col0"}, {"Grid", "col1"}, {"Grid", "col2"}, {"Grid", "col3"}};

/// One '0' (hide) or '1' (list) per known outcome, in the outcome table's order.
inline constexpr SStringSetting kSettingsFilter{"Settings", "Filter", "011111111111111111111"};
/// Seconds a host is given to answer.
inline constexpr SIntSetting kSettingsTimeout{"Settings", "Timeout", 15};
/// 1 checks links as today's browsers reach them (https, Host, redirects); read
/// at the start of each test.
inline constexpr SIntSetting kSettingsCurrentWeb{"Settings", "CurrentWeb", 0};
/// 1 checks the links between the pages as well (relative links and #anchors,
/// on disk); read at the start of each test.
inline constexpr SIntSetting kSettingsLocalLinks{"Settings", "LocalLinks", 0};
/// The patterns of the URLs a test skips, one a line: one value whose line feeds
/// the INI file keeps as "\n", so the entry stays on one line. Read at the start
/// of each test.
inline constexpr STextSetting kSettingsSkipUrls{"Settings", "SkipUrls"};
/// How many links the window checks at once, 1 (paced, one at a time) to 256;
/// read at the start of each test.
inline constexpr SIntSetting kSettingsJobs{"Settings", "Jobs", 1};
/// How many of those may go to one host at once, 1 to "Jobs"; when missing,
/// the smaller of 16 and "Jobs".
inline constexpr SSettingName kSettingsPerHost{"Settings", "PerHost"};

// The Export command: the last report path and its format (0 text, 1 HTML).
inline constexpr SStringSetting kXportSelStarter{"XportSel", "Starter", "results.txt"};
inline constexpr SIntSetting kXportSelText{"XportSel", "Text", 0};

// The Repair command: 0 comments the line out, 1 puts the file name in place of
// the URL, 2 removes the line; Save keeps the bad URLs in a file of their own.
inline constexpr SIntSetting kRepairType{"Repair", "Type", 0};
inline constexpr SIntSetting kRepairSave{"Repair", "Save", 1};

} // namespace SettingsKeys
