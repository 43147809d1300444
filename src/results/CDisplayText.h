// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <string>

/// Bytes from pages, paths and settings, turned into text a widget can show:
/// UTF-8 when the bytes are valid UTF-8, else Latin-1. For showing only: the
/// result is never turned back into bytes for a file or a socket.
class CDisplayText {
public:
    static QString FromBytes(const std::string& bytes);
    /// A path the user typed or picked, as the bytes the file system names it by.
    static std::string PathToBytes(const QString& path);
};
