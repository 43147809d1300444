// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/SResultRow.h"

#include <string>

/// What the Testing Progress window shows: two bars and up to eight texts.
struct SProgressValues {
    int fileBarMax = 0;
    int fileBarPos = 0;
    int urlBarMax = 0;
    int urlBarPos = 0;
    std::string currentFile;
    std::string fileIndex;
    std::string fileTotal;
    std::string currentUrl;
    std::string siteName;
    std::string urlIndex;
    std::string urlTotal;
    /// When several links are checked at once: "N of M links checked, K in
    /// flight", shown instead of the link's place in its page.
    std::string summary;
};

/// What the engine asks of the side that shows it: the window, or the headless
/// program. The engine never touches a widget; everything it shows goes through
/// here, and every call comes on the thread that runs the test.
///
/// Calls that only show something have empty bodies, so a host overrides only
/// what it can show; messages, questions, the log and the results must be kept.
class ISessionHost {
public:
    enum class EBeepKind {
        Default, ///< the end of a test
        Warning, ///< an outcome without a known reason
    };

    /// Status bar panes written by the engine.
    enum class EPane { Connection = 1, Method = 2 };

    virtual ~ISessionHost() = default;

    /// A message the user must acknowledge (an OK box captioned "Linkvet").
    virtual void ShowMessage(const std::string& text) = 0;
    /// A question the user answers with Yes (true) or No (false).
    virtual bool AskYesNo(const std::string& question) = 0;
    virtual void Beep(EBeepKind) {}

    /// Appends `text` and a line end to the log.
    virtual void AppendLog(const std::string& text) = 0;
    /// Empties the log and the results list (the start of a test).
    virtual void ClearLogAndResults() {}
    /// Appends one listed result to the results.
    virtual void AddResultRow(const SResultRow& row) = 0;
    /// Every link the test settles, listed or not, in test order: `url` of
    /// `page`, and when `bListed`, after its row was added.
    virtual void LinkSettled(const std::string& /*url*/, const std::string& /*page*/,
                             bool /*bListed*/) {}

    virtual void SetStatusPane(EPane, const std::string&) {}

    /// The Testing Progress window: shown at the start of a test, updated with
    /// every change, closed at its end or stop.
    virtual void ShowProgress() {}
    virtual void UpdateProgress(const SProgressValues&) {}
    virtual void CloseProgress() {}

    /// The activity indicator in the status bar: 0 empty, 1 full.
    virtual void SetActivityIndicator(int) {}

    /// The wait cursor, shown while a connection is being made.
    virtual void BeginWaitCursor() {}
    virtual void EndWaitCursor() {}
};
