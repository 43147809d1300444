// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/PageNames.h"

#include "base/AsciiText.h"
#include "engine/LocalHref.h"

#include <array>
#include <string>

namespace {

// The HTML tokenizer's white space; a carriage return counts because the
// tokenizer sees it turned into a line feed.
bool IsHtmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

constexpr std::array<std::string_view, 8> kRawText{"script",  "style",    "xmp",      "iframe",
                                                   "noembed", "noframes", "textarea", "title"};

constexpr std::size_t npos = std::string_view::npos;

char At(std::string_view page, std::size_t at) {
    return at < page.size() ? page[at] : '\0';
}

// One tag from its name's first byte: where it ends (after its ">"), or npos
// when the page ends inside it.
struct STag {
    std::size_t end = npos;
    std::string_view name;
    std::string_view id, anchorName;
    bool bId = false, bName = false;
};

STag ReadTag(std::string_view page, std::size_t at) {
    STag tag;
    const std::size_t n = page.size();
    const std::size_t nameStart = at;
    while (at < n && !IsHtmlSpace(page[at]) && page[at] != '/' && page[at] != '>')
        ++at;
    tag.name = page.substr(nameStart, at - nameStart);
    for (;;) {
        while (at < n && (IsHtmlSpace(page[at]) || page[at] == '/'))
            ++at;
        if (at >= n)
            return tag;
        if (page[at] == '>') {
            tag.end = at + 1;
            return tag;
        }
        // An "=" that starts a name is part of it.
        const std::size_t attrStart = at++;
        while (at < n && !IsHtmlSpace(page[at]) && page[at] != '/' && page[at] != '>' &&
               page[at] != '=')
            ++at;
        const std::string_view attr = page.substr(attrStart, at - attrStart);
        while (at < n && IsHtmlSpace(page[at]))
            ++at;
        std::string_view value;
        if (at < n && page[at] == '=') {
            ++at;
            while (at < n && IsHtmlSpace(page[at]))
                ++at;
            if (at >= n)
                return tag;
            if (page[at] == '"' || page[at] == '\'') {
                const std::size_t close = page.find(page[at], at + 1);
                if (close == npos)
                    return tag;
                value = page.substr(at + 1, close - at - 1);
                at = close + 1;
            } else {
                const std::size_t valueStart = at;
                while (at < n && !IsHtmlSpace(page[at]) && page[at] != '>')
                    ++at;
                value = page.substr(valueStart, at - valueStart);
            }
        }
        if (AsciiText::EqualsNoCase(attr, "id") && !tag.bId) {
            tag.bId = true;
            tag.id = value;
        } else if (AsciiText::EqualsNoCase(attr, "name") && !tag.bName) {
            tag.bName = true;
            tag.anchorName = value;
        }
    }
}

// Whether `name` stands at `at` followed by white space, "/" or ">", in any case.
bool IsNameAt(std::string_view page, std::size_t at, std::string_view name) {
    const char after = At(page, at + name.size());
    return at + name.size() < page.size() &&
           AsciiText::EqualsNoCase(page.substr(at, name.size()), name) &&
           (IsHtmlSpace(after) || after == '/' || after == '>');
}

// Where the raw text of `name` that starts at `at` ends: at its "</name"
// followed by white space, "/" or ">", else at the end of the page.
std::size_t RawTextEnd(std::string_view page, std::size_t at, std::string_view name) {
    for (;; ++at) {
        at = page.find("</", at);
        if (at == npos)
            return page.size();
        if (IsNameAt(page, at + 2, name))
            return at;
    }
}

// The same for a script, whose "<!--" hides a "</script>" that follows a
// "<script>" (both in any case) until a "-->".
std::size_t ScriptEnd(std::string_view page, std::size_t at) {
    enum class EMode { Text, Escaped, DoubleEscaped } mode = EMode::Text;
    for (; at < page.size(); ++at) {
        if (mode != EMode::Text && page.substr(at, 3) == "-->") {
            mode = EMode::Text;
            at += 2;
        } else if (page[at] != '<') {
            continue;
        } else if (At(page, at + 1) == '/' && IsNameAt(page, at + 2, "script")) {
            if (mode != EMode::DoubleEscaped)
                return at;
            mode = EMode::Escaped;
        } else if (mode == EMode::Text && page.substr(at, 4) == "<!--") {
            mode = EMode::Escaped;
            ++at; // its dashes may begin the "-->" that ends it
        } else if (mode == EMode::Escaped && IsNameAt(page, at + 1, "script")) {
            mode = EMode::DoubleEscaped;
        }
    }
    return page.size();
}

void Take(std::string_view value, const std::function<void(std::string_view)>& take) {
    if (value.find('&') == npos) {
        take(value);
        return;
    }
    take(LocalHref::DecodeReferences(value));
}

} // namespace

namespace PageNames {

void ForEach(std::string_view page, const std::function<void(std::string_view)>& take) {
    const std::size_t n = page.size();
    std::size_t at = 0;
    while ((at = page.find('<', at)) != npos && at + 1 < n) {
        const char c = page[at + 1];
        if (c == '!' && At(page, at + 2) == '-' && At(page, at + 3) == '-') {
            // "<!-->" and "<!--->" are whole comments; otherwise "-->" or "--!>" ends one.
            std::size_t end = at + 4;
            if (At(page, end) == '>' || (At(page, end) == '-' && At(page, end + 1) == '>')) {
                at = end + (At(page, end) == '>' ? 1 : 2);
                continue;
            }
            for (;; ++end) {
                end = page.find("--", end);
                if (end == npos)
                    return;
                if (At(page, end + 2) == '>' ||
                    (At(page, end + 2) == '!' && At(page, end + 3) == '>'))
                    break;
            }
            at = end + (At(page, end + 2) == '>' ? 3 : 4);
        } else if (c == '!' || c == '?' || (c == '/' && !AsciiText::IsAlpha(At(page, at + 2)))) {
            // A declaration, a processing instruction or a broken end tag: up to its ">".
            const std::size_t end = page.find('>', at + 2);
            if (end == npos)
                return;
            at = end + 1;
        } else if (c == '/' || AsciiText::IsAlpha(c)) {
            const STag tag = ReadTag(page, at + (c == '/' ? 2 : 1));
            if (tag.end == npos)
                return;
            at = tag.end;
            if (c == '/')
                continue;
            if (tag.bId)
                Take(tag.id, take);
            if (tag.bName && AsciiText::EqualsNoCase(tag.name, "a"))
                Take(tag.anchorName, take);
            if (AsciiText::EqualsNoCase(tag.name, "plaintext"))
                return;
            if (AsciiText::EqualsNoCase(tag.name, "script"))
                at = ScriptEnd(page, at);
            for (const std::string_view raw : kRawText)
                if (AsciiText::EqualsNoCase(tag.name, raw))
                    at = RawTextEnd(page, at, raw);
        } else {
            ++at;
        }
    }
}

} // namespace PageNames
