// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

class CSettingsStore;

/// The one-time import of the old-style settings file ("Linkvet.INI").
class CIniImport {
public:
    /// Lines of the import file longer than this arrive in pieces.
    static constexpr std::size_t kPieceSize = 519;
    /// An import file larger than this is not a settings file and is not imported.
    static constexpr std::size_t kMaxFileSize = 4u << 20;

    /// Receives one entry of an import file; an empty section is the store's base.
    using FnEntry = std::function<void(std::string_view section, std::string_view name,
                                       std::string_view value)>;
    /// Hands the entries of an import file's bytes to `onEntry`, in file order.
    /// Lines end at a line feed and arrive in pieces of at most kPieceSize
    /// bytes, each handled as a line: a NUL ends its text, white space is trimmed
    /// at both ends, "[name]" starts a section ("[]" the base), and "name=value" is
    /// an entry, dropped before the first section.
    static void Parse(std::string_view bytes, const FnEntry& onEntry);

    /// Copies the entries of the import file at `path` into `store`, in one
    /// write. Only a regular file of at most kMaxFileSize bytes is read; a
    /// missing, unreadable or other file imports nothing. Returns the number of
    /// entries stored.
    static int Import(const std::string& path, CSettingsStore& store);
};
