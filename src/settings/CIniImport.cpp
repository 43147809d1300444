// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/CIniImport.h"

#include "base/AsciiText.h"
#include "base/CPosixFile.h"
#include "settings/CSettingsStore.h"

#include <algorithm>
#include <cstdint>
#include <sys/stat.h>
#include <vector>

namespace {

std::string TrimmedC(std::string_view s) {
    return std::string(AsciiText::Trim(s, AsciiText::ESpace::CSpace));
}

// The import file is read only when it is a regular file of sane size: a named
// pipe there would block the start for ever, and a device may never end.
bool ReadImportFile(const std::string& path, std::string& out) {
    CPosixFile file = CPosixFile::OpenRegularForReading(path);
    struct stat st {};
    if (!file.IsOpen() || ::fstat(file.Fd(), &st) != 0 ||
        static_cast<std::uintmax_t>(st.st_size) > CIniImport::kMaxFileSize)
        return false;
    out.clear();
    char buffer[65536];
    for (;;) { // ends: each turn reads at least one byte, and the total is capped
        const std::size_t room = CIniImport::kMaxFileSize + 1 - out.size();
        const ssize_t got = file.Read(buffer, std::min(sizeof buffer, room));
        if (got <= 0)
            return got == 0;
        out.append(buffer, static_cast<std::size_t>(got));
        if (out.size() > CIniImport::kMaxFileSize)
            return false; // it grew while being read
    }
}

} // namespace

void CIniImport::Parse(std::string_view bytes, const FnEntry& onEntry) {
    std::string section;
    bool bInSection = false;
    std::size_t lineEnd = 0; // just past the line feed that ends pos's line; found once per line
    for (std::size_t pos = 0; pos < bytes.size();) {
        // As a 520-byte line buffer reads it: up to and including the line feed,
        // but at most 519 bytes; the rest of a longer line follows as a piece of
        // its own. A NUL ends the text of a piece.
        if (pos >= lineEnd) {
            lineEnd = bytes.find('\n', pos);
            lineEnd = lineEnd == std::string_view::npos ? bytes.size() : lineEnd + 1;
        }
        const std::size_t end = std::min(lineEnd, pos + kPieceSize);
        std::string_view piece = bytes.substr(pos, end - pos);
        pos = end;
        piece = piece.substr(0, piece.find('\0'));

        std::string line = TrimmedC(piece);
        const std::size_t open = line.find('[');
        const std::size_t close = line.find(']');
        if (!line.empty() && open == 0 && close == line.size() - 1) {
            line[open] = ' ';
            line[close] = ' ';
            section = TrimmedC(line);
            bInSection = true;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos && bInSection)
            onEntry(section, std::string_view(line).substr(0, eq),
                    std::string_view(line).substr(eq + 1));
    }
}

int CIniImport::Import(const std::string& path, CSettingsStore& store) {
    std::string bytes;
    if (!ReadImportFile(path, bytes))
        return 0;
    std::vector<CSettingsStore::SEntry> entries;
    Parse(bytes, [&](std::string_view section, std::string_view name, std::string_view value) {
        entries.push_back({std::string(section), std::string(name), std::string(value)});
    });
    return store.SetEntries(entries) ? static_cast<int>(entries.size()) : 0;
}
