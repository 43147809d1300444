#pragma once

#include <string>

/// What the Testing Progress window shows: two bars and seven texts.
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
};

/// What the engine asks of the side that shows it: the window, or the headless
/// program. The engine never touches a widget; everything it shows goes through
/// here, and every call comes on the thread that runs the test.
class ISessionHost {
public:
    enum class BeepKind {
        Default, ///< the end of a test
        Warning, ///< an outcome without a known reason
    };

    /// Status bar panes written by the engine.
    enum class Pane { Connection = 1, Method = 2 };

    virtual ~ISessionHost() = default;

    /// A message the user must acknowledge (an OK box captioned "Linkvet").
    virtual void ShowMessage(const std::string& text) = 0;
    virtual void Beep(BeepKind kind) = 0;

    /// Appends `text` and a line end to the log.
    virtual void AppendLog(const std::string& text) = 0;
    /// Empties the log and the results list (the start of a test).
    virtual void ClearLogAndResults() = 0;
    /// Column 0 starts a new result row; columns 1 and 2 fill the last row, and
    /// column 2 also puts `currentFile` into the row's fourth column.
    virtual void AddResultCell(const std::string& text, int column,
                               const std::string& currentFile) = 0;

    virtual void SetStatusPane(Pane pane, const std::string& text) = 0;

    /// The Testing Progress window: shown at the start of a test, updated with
    /// every change, closed at its end or stop.
    virtual void ShowProgress() = 0;
    virtual void UpdateProgress(const SProgressValues& values) = 0;
    virtual void CloseProgress() = 0;

    /// The activity indicator in the status bar: 0 empty, 1 full.
    virtual void SetActivityIndicator(int position) = 0;

    /// The wait cursor, shown while a connection is being made.
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
};
