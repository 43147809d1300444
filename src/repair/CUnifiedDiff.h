// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

/// A unified diff of one file pair, built as the old file's lines come, each
/// with what the new file has in its place.
///
/// Lines are bytes with their own line end ("\n", "\r\n", or none for a last
/// line without one). A line the new file keeps byte for byte is context; any
/// other is removed and what replaces it added. Hunks keep three lines of
/// context and merge where their contexts would meet; their headers count as
/// `diff -u` does (a count of 1 left out, an empty side numbered by the line
/// before it), and a side whose last line has no line end is marked
/// "\ No newline at end of file". The file headers name the pair `a/NAME` and
/// `b/NAME`. A pair without a change writes nothing at all.
///
/// It streams: each hunk goes to the sink once it is whole, so memory is
/// bounded by the largest hunk.
class CUnifiedDiff {
public:
    using FnSink = std::function<void(std::string_view bytes)>;
    static constexpr std::size_t kContext = 3;

    /// `name` is the file's path as `patch -p1` and `git apply` are to find it
    /// after the "a/" and "b/".
    CUnifiedDiff(std::string name, FnSink sink);

    /// The next line of the old file and the bytes the new file has in its
    /// place: one or more lines, or none when the line is removed.
    void AddLine(std::string_view oldLine, std::string_view newText);
    /// Writes the last hunk.
    void Finish();

    /// `prefix` and `name` as a file header writes them: quoted in C style, as
    /// git quotes names, when a byte cannot stand there as it is (a control
    /// byte, a double quote, a backslash), and followed by a TAB when the name
    /// holds a blank, so that `patch` takes the blank as part of the name.
    static std::string HeaderName(std::string_view prefix, std::string_view name);

private:
    void AddChange(std::string_view oldLine, std::string_view newText);
    void AddKept(std::string_view line);
    void OpenHunk();
    void CloseChange();
    void WriteHunk(std::size_t trailing);
    static void Append(std::string& to, char mark, std::string_view line);

    std::string m_strName;
    FnSink m_sink;
    bool m_bHeadersWritten = false;
    long m_nOldLines = 0; ///< old lines taken so far
    long m_nNewLines = 0; ///< new lines they gave
    /// The last kept lines outside a hunk: the next hunk's leading context.
    std::deque<std::string> m_before;

    bool m_bInHunk = false;
    long m_nOldStart = 0;
    long m_nNewStart = 0;
    long m_nOldCount = 0;
    long m_nNewCount = 0;
    std::string m_strHunk;
    /// The change being taken: its removed and its added lines.
    std::string m_strRemoved;
    std::string m_strAdded;
    /// Kept lines after the hunk's last change: its context, or the gap to the next change.
    std::vector<std::string> m_after;
};
