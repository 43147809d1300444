// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

/// The text rules of a link between the pages of a site: an `href` value with
/// no scheme, such as "about.html", "../img/", "/docs/" or "#top".
namespace LocalHref {

/// Whether the `href` value `written`, as it stands in the page, is a link
/// between the pages: after its character references are decoded and the
/// blanks around it dropped, it has no scheme ("name:" with a letter first,
/// then letters, digits, "+", "-" or ".", TABs and line breaks left out as
/// a browser leaves them out) and does not begin with "//".
bool IsLocal(std::string_view written);

/// `written` with the character references that may stand in a URL decoded:
/// decimal and hexadecimal ones ("&#38;", "&#x26;") as UTF-8 (U+FFFD for none
/// or a surrogate), and the named ones "&amp;", "&lt;", "&gt;", "&quot;",
/// "&apos;", "&nbsp;", "&num;", "&quest;", "&percnt;", "&sol;", "&colon;",
/// "&equals;", "&period;" and "&lowbar;". Any other "&" stays as written.
std::string DecodeReferences(std::string_view written);

/// `text` with each "%XX" (two hex digits) as the byte it names; a "%" not
/// followed by two hex digits stays.
std::string PercentDecoded(std::string_view text);
/// Appends PercentDecoded(`text`) to `out`.
void AppendPercentDecoded(std::string& out, std::string_view text);

/// A decoded link cut at its first "?" and "#": the path before them, and the
/// fragment after the "#" (`bHasFragment` tells an empty fragment from none).
struct SParts {
    std::string_view path;
    std::string_view fragment;
    bool bHasFragment = false;
};
SParts Split(std::string_view decoded);

} // namespace LocalHref
