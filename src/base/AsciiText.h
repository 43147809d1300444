// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <climits>
#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

/// The small byte-level text helpers of the program, each in one place. Pages,
/// URLs, headers, settings and command lines are bytes: every rule here looks at
/// ASCII only and never at the user's locale, so a byte above 0x7F is never a
/// letter, a digit or a blank.
namespace AsciiText {

/// White space as the C library's "C" locale knows it: blank, TAB, LF, VT, FF, CR.
constexpr bool IsCSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

constexpr bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

constexpr bool IsAlpha(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

constexpr char ToLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char ToUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string ToLower(std::string text) {
    for (char& c : text)
        c = ToLower(c);
    return text;
}

inline std::string ToUpper(std::string text) {
    for (char& c : text)
        c = ToUpper(c);
    return text;
}

/// True when `a` and `b` differ only in the case of ASCII letters.
constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return ToLower(x) == ToLower(y);
           });
}

constexpr bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

/// Which white space a trim takes away.
enum class ESpace {
    Blank,  ///< blanks (' ') only: what stands before a host name is no part of it
    Tab,    ///< blanks and TABs, as around an HTTP header's value
    CSpace, ///< every IsCSpace() byte
};

constexpr bool IsSpace(char c, ESpace space) {
    switch (space) {
    case ESpace::Blank:
        return c == ' ';
    case ESpace::Tab:
        return c == ' ' || c == '\t';
    case ESpace::CSpace:
        break;
    }
    return IsCSpace(c);
}

constexpr std::string_view TrimStart(std::string_view text, ESpace space) {
    while (!text.empty() && IsSpace(text.front(), space))
        text.remove_prefix(1);
    return text;
}

constexpr std::string_view TrimEnd(std::string_view text, ESpace space) {
    while (!text.empty() && IsSpace(text.back(), space))
        text.remove_suffix(1);
    return text;
}

constexpr std::string_view Trim(std::string_view text, ESpace space) {
    return TrimEnd(TrimStart(text, space), space);
}

/// Where a decimal number may stand in a text, and what may go with it.
enum class EDecimal {
    Whole,   ///< the text is one or more digits and nothing else ("8080")
    Leading, ///< the text begins with digits; what follows them is ignored ("200 OK")
    Scanf,   ///< as "%d" reads: C white space, an optional sign, digits, anything
             ///< after ("  -42abc")
};

/// The number `text` holds in `mode`, when it holds one whose magnitude is at
/// most `most` (a negative one may reach `-most - 1`, as an int's range does).
/// Nothing when there is no digit where one must be or the number is larger: a
/// number too large never wraps into a small one.
constexpr std::optional<long long> ParseDecimal(std::string_view text, EDecimal mode,
                                                long long most = LLONG_MAX - 1) {
    bool bNegative = false;
    if (mode == EDecimal::Scanf) {
        text = TrimStart(text, ESpace::CSpace);
        if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
            bNegative = text.front() == '-';
            text.remove_prefix(1);
        }
    }
    if (text.empty() || !IsDigit(text.front()))
        return std::nullopt;
    const long long limit = bNegative ? most + 1 : most;
    long long value = 0;
    std::size_t i = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        const int digit = text[i] - '0';
        if (value > limit / 10 || (value == limit / 10 && digit > limit % 10))
            return std::nullopt;
        value = value * 10 + digit;
    }
    if (mode == EDecimal::Whole && i != text.size())
        return std::nullopt;
    return bNegative ? -value : value;
}

/// `format` with `first` and then `second` in place of its "%s" (a message
/// constant that names a page, a URL or a backup).
inline std::string Fill(std::string_view format, const std::string& first,
                        const std::string& second = {}) {
    std::string text;
    for (const std::string* value : {&first, &second}) {
        const std::size_t at = format.find("%s");
        if (at == std::string_view::npos)
            break;
        text.append(format.substr(0, at)).append(*value);
        format.remove_prefix(at + 2);
    }
    return text.append(format);
}

} // namespace AsciiText
