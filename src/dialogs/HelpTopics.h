// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

/// A window with a topic of its own in the manual: its object name and the
/// context number it asks for help with.
struct SHelpTopic {
    const char* window;
    int context;
};

/// The manual's topics by context number. A context number is the help base
/// of a window (0x20000) plus its resource number; the manual has an anchor
/// named after each, such as "0x20088".
namespace HelpTopics {

inline constexpr int kContents = 0; // Help Topics: the manual from its beginning
inline constexpr int kMainFrame = 0x20080;
inline constexpr int kPreferences = 0x20088;
inline constexpr int kRepair = 0x20089;
inline constexpr int kRepairPreview = 0x2008b;

inline constexpr SHelpTopic kWindows[] = {
    {"CMainFrame", kMainFrame},
    {"CAboutDlg", 0x20064},
    {"CSelectFilesDlg", 0x20082},
    {"CTestProgressDlg", 0x20086},
    {"CExportDlg", 0x20087},
    {"CPreferencesDlg", kPreferences},
    {"CRepairDlg", kRepair},
    {"CRepairFailureDlg", 0x2008a},
    {"CRepairPreviewDlg", kRepairPreview},
};

/// The anchor of a context number in the manual; empty for the contents.
inline std::string Anchor(int context) {
    if (context == kContents)
        return {};
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned value = static_cast<unsigned>(context); value != 0; value /= 16)
        hex.insert(hex.begin(), kDigits[value % 16]);
    return "0x" + hex;
}

/// The context number of the window with this object name; the contents for
/// a window without a topic.
inline int ContextOf(std::string_view window) {
    for (const SHelpTopic& topic : kWindows)
        if (window == topic.window)
            return topic.context;
    return kContents;
}

} // namespace HelpTopics
