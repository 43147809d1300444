// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QVariant>
#include <string>
#include <string_view>

/// How sections, names and values, which are bytes, are kept in QSettings'
/// INI file.
namespace SettingsKeyCodec {

/// The key of `name` in `section` ("section/name"; the name alone in the
/// store's base, an empty section). Letters are kept in lower case, so
/// sections and names match without regard to the case of ASCII letters.
QString KeyOf(std::string_view section, std::string_view name);

/// Valid UTF-8 as text, so the file stays readable; any other bytes as a byte
/// array, which QSettings keeps exactly.
QVariant ToVariant(std::string_view value);
/// The bytes of a stored value, whatever type QSettings read it as.
std::string FromVariant(const QVariant& variant);

} // namespace SettingsKeyCodec
