// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/LocalHref.h"

#include "base/AsciiText.h"

#include <array>
#include <cstdint>
#include <utility>

namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 14> kNamed{{
    {"amp", "&"},
    {"lt", "<"},
    {"gt", ">"},
    {"quot", "\""},
    {"apos", "'"},
    {"nbsp", "\xC2\xA0"},
    {"num", "#"},
    {"quest", "?"},
    {"percnt", "%"},
    {"sol", "/"},
    {"colon", ":"},
    {"equals", "="},
    {"period", "."},
    {"lowbar", "_"},
}};

int HexValue(char c) {
    if (AsciiText::IsDigit(c))
        return c - '0';
    const char lower = AsciiText::ToLower(c);
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The numeric reference after "&#" at `text`: its length up to and with the
// ";", or 0 when there is none to decode.
std::size_t DecodeNumeric(std::string_view text, std::string& out) {
    const bool bHex = !text.empty() && (text[0] == 'x' || text[0] == 'X');
    std::size_t at = bHex ? 1 : 0;
    std::uint32_t cp = 0;
    const std::size_t first = at;
    for (; at < text.size(); ++at) {
        const int digit = bHex                           ? HexValue(text[at])
                          : AsciiText::IsDigit(text[at]) ? text[at] - '0'
                                                         : -1;
        if (digit < 0)
            break;
        cp = std::min<std::uint32_t>(cp * (bHex ? 16 : 10) + static_cast<std::uint32_t>(digit),
                                     0x110000);
    }
    if (at == first || at == text.size() || text[at] != ';')
        return 0;
    AppendUtf8(out, cp);
    return at + 1;
}

} // namespace

namespace LocalHref {

std::string DecodeReferences(std::string_view written) {
    std::string out;
    out.reserve(written.size());
    for (std::size_t at = 0; at < written.size();) {
        const char c = written[at];
        if (c != '&') {
            out += c;
            ++at;
            continue;
        }
        const std::string_view rest = written.substr(at + 1);
        std::size_t used = 0;
        if (!rest.empty() && rest[0] == '#') {
            used = DecodeNumeric(rest.substr(1), out);
            used = used == 0 ? 0 : used + 1;
        } else {
            for (const auto& [name, value] : kNamed) {
                if (rest.size() > name.size() && rest.substr(0, name.size()) == name &&
                    rest[name.size()] == ';') {
                    out += value;
                    used = name.size() + 1;
                    break;
                }
            }
        }
        if (used == 0)
            out += c;
        at += 1 + used;
    }
    return out;
}

bool IsLocal(std::string_view written) {
    const std::string decoded = DecodeReferences(written);
    const std::string_view value = AsciiText::Trim(decoded, AsciiText::ESpace::CSpace);
    if (value.substr(0, 2) == "//")
        return false;
    if (value.empty() || !AsciiText::IsAlpha(value[0]))
        return true;
    for (const char c : value.substr(1)) {
        if (c == '\t' || c == '\n' || c == '\r')
            continue; // a browser drops them from a URL: "java\tscript:" is a scheme
        if (c == ':')
            return false;
        if (!AsciiText::IsAlpha(c) && !AsciiText::IsDigit(c) && c != '+' && c != '-' && c != '.')
            return true;
    }
    return true;
}

std::string PercentDecoded(std::string_view text) {
    std::string out;
    AppendPercentDecoded(out, text);
    return out;
}

void AppendPercentDecoded(std::string& out, std::string_view text) {
    out.reserve(out.size() + text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '%' && at + 2 < text.size() && HexValue(text[at + 1]) >= 0 &&
            HexValue(text[at + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[at + 1]) * 16 + HexValue(text[at + 2]));
            at += 2;
        } else {
            out += text[at];
        }
    }
}

SParts Split(std::string_view decoded) {
    SParts parts;
    const std::size_t hash = decoded.find('#');
    const std::string_view beforeHash = decoded.substr(0, hash);
    parts.path = beforeHash.substr(0, beforeHash.find('?'));
    if (hash != std::string_view::npos) {
        parts.bHasFragment = true;
        parts.fragment = decoded.substr(hash + 1);
    }
    return parts;
}

} // namespace LocalHref
