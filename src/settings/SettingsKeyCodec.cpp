// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsKeyCodec.h"

#include "base/AsciiText.h"

#include <QByteArray>
#include <QStringList>

namespace {

// Sections and names match without regard to letter case, as they always have
// ("[settings]" in an old import file is the section "Settings"), so letters are
// stored in lower case. QSettings gives '/' and '\' a meaning in keys and cannot
// hold an empty key, but sections and names are arbitrary bytes (the import file
// can hold anything): every byte other than a letter, a digit, '_', '.' or '-'
// becomes %XX, and the empty name becomes a lone '%', which no encoded name can
// otherwise be.
QString EncodeKey(std::string_view key) {
    if (key.empty())
        return QStringLiteral("%");
    static const char kHex[] = "0123456789ABCDEF";
    QString out;
    out.reserve(static_cast<qsizetype>(key.size()));
    for (char ch : key) {
        auto c = static_cast<unsigned char>(ch);
        if (AsciiText::IsAlpha(ch) || AsciiText::IsDigit(ch) || c == '_' || c == '.' || c == '-')
            out.append(QLatin1Char(AsciiText::ToLower(ch)));
        else {
            out.append(QLatin1Char('%'));
            out.append(QLatin1Char(kHex[c >> 4]));
            out.append(QLatin1Char(kHex[c & 0xF]));
        }
    }
    return out;
}

} // namespace

QString SettingsKeyCodec::KeyOf(std::string_view section, std::string_view name) {
    // Encoded keys hold no "/", so section and name join into one path.
    if (section.empty())
        return EncodeKey(name);
    return EncodeKey(section) + QLatin1Char('/') + EncodeKey(name);
}

QVariant SettingsKeyCodec::ToVariant(std::string_view value) {
    QByteArray bytes(value.data(), static_cast<qsizetype>(value.size()));
    QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() == bytes)
        return text;
    return bytes;
}

std::string SettingsKeyCodec::FromVariant(const QVariant& variant) {
    QByteArray bytes;
    switch (variant.typeId()) {
    case QMetaType::QByteArray:
        bytes = variant.toByteArray();
        break;
    case QMetaType::QStringList: // an unquoted "a,b" written by hand
        bytes = variant.toStringList().join(QLatin1Char(',')).toUtf8();
        break;
    default:
        bytes = variant.toString().toUtf8();
        break;
    }
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}
