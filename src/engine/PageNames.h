// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string_view>

/// The names a link's fragment can reach in a page: the `id` of any element and
/// the `name` of an "a" element.
///
/// The page is cut into tags as an HTML5 tokenizer cuts it (comments, the
/// declarations "<!...>" and "<?...>", end tags, quoted and unquoted attribute
/// values, the raw text of script (with its "<!--" escapes), style, xmp,
/// iframe, noembed and noframes and the escapable raw text of textarea and
/// title, and "plaintext" up to the end).
/// Attribute names are compared without case and the first of a repeated one
/// counts; a tag that the page ends inside counts not. Values have the
/// character references that LocalHref::DecodeReferences knows decoded, the
/// same ones a link's fragment has. The tree is not built: time is linear in
/// the page and memory is the page's, however deep the tags nest (an HTML5
/// parser takes time quadratic in the depth). So a tag that the tree would
/// drop (a "td" outside a table) still names its id.
namespace PageNames {

/// Calls `take` with each name of `page`, in page order (empty ones included).
void ForEach(std::string_view page, const std::function<void(std::string_view)>& take);

} // namespace PageNames
