// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <string_view>

class CReasonFilter;
class QLineEdit;

namespace Ui {
class CPreferencesDlg;
}

/// What the Preferences dialog asks for besides the filter.
struct SPreferences {
    int timeoutSeconds = 0;   ///< how long a slow host is given, 5 to 1000 once accepted
    bool bCurrentWeb = false; ///< check links as today's browsers reach them, from the next test
    bool bLocalLinks = false; ///< check the links between the pages on disk too, from the next test
    std::string skipUrls;     ///< the patterns of the URLs a test skips, one a line, as typed
    int jobs = 1;             ///< links checked at once, 1 to kMaxJobs once accepted
    int perHost = 1;          ///< of those, to one host at once, 1 to `jobs` once accepted
};

/// "Preferences": which outcomes are listed, how long a slow host is waited for,
/// whether links are checked as today's browsers reach them and whether the
/// links between the pages are checked too. The filter is edited in place: the
/// two presets and OK put a new filter into `reasons` at once, where it stays even when the dialog
/// is then cancelled, so a running test applies it to every link finished afterwards. The time-out
/// and the two modes only leave the dialog through Prefs() after OK, as do the patterns of
/// the URLs a test skips.
class CPreferencesDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMinTimeout = 5;
    static constexpr int kMaxTimeout = 1000;
    static constexpr std::string_view kHawkFilter = "011111111111111111111";
    static constexpr const char* kNotIntegerMessage = "Please enter an integer.";
    static constexpr const char* kOutOfRangeMessage = "Please enter an integer between 5 and 1000.";
    static constexpr int kMaxJobs = 256;
    static constexpr const char* kJobsRangeMessage = "Please enter an integer between 1 and 256.";
    /// %s the number of links checked at once.
    static constexpr const char* kPerHostRangeMessage = "Please enter an integer between 1 and %s.";

    CPreferencesDlg(QWidget* parent, CReasonFilter& reasons);
    ~CPreferencesDlg() override;

    /// Shows `prefs` in the controls.
    void SetPrefs(const SPreferences& prefs);
    /// What the controls held when OK was pressed.
    const SPreferences& Prefs() const { return m_prefs; }

signals:
    /// The Help button: the manual is wanted at the preferences topic.
    void HelpRequested();

private:
    /// Moves `m_prefs` to the controls (false), or reads and checks the controls
    /// into `m_prefs` (true): a time-out that is not a whole number from 5 to
    /// 1000, a number of links at once not from 1 to 256 or per host not from 1
    /// to that number, or a pattern to skip that is not a regular expression, is refused
    /// with a message naming it, its edit gets the focus and false is returned.
    bool UpdateData(bool bSaveAndValidate);
    void Warn(const QString& text);
    /// Reads `edit` as a whole number from `least` to `most`; otherwise warns,
    /// puts the focus on it and returns false.
    bool ReadNumber(QLineEdit* edit, int least, int most, const char* rangeMessage, int& value);
    void OnOK();
    void OnPreset(std::string_view filter);

    CReasonFilter& m_reasons;
    std::unique_ptr<Ui::CPreferencesDlg> const m_ui;
    SPreferences m_prefs;
};
