// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/HttpReply.h"

#include "base/AsciiText.h"
#include "engine/OutcomeCodes.h"

#include <algorithm>
#include <climits>

namespace HttpReply {

using AsciiText::IsCSpace;

unsigned StatusCodeOf(std::string_view reply) {
    // The first non-empty line, read as text: it ends at a line feed or a NUL.
    std::size_t begin = reply.find_first_not_of('\n');
    if (begin == std::string_view::npos)
        return Outcome::kNoStatusCode;
    std::string_view line = reply.substr(begin);
    line = line.substr(0, line.find_first_of(std::string_view("\n\0", 2)));

    // "%s%u": a word, then an unsigned decimal number after white space.
    std::size_t i = 0;
    while (i < line.size() && IsCSpace(line[i]))
        ++i;
    if (i == line.size())
        return Outcome::kNoStatusCode;
    while (i < line.size() && !IsCSpace(line[i]))
        ++i;
    while (i < line.size() && IsCSpace(line[i]))
        ++i;
    if (i < line.size() && line[i] == '+')
        ++i;
    // A "-" gives no number: it would wrap into a large code, as would one too large.
    const auto code =
        AsciiText::ParseDecimal(line.substr(i), AsciiText::EDecimal::Leading, UINT_MAX);
    return code ? static_cast<unsigned>(*code) : Outcome::kNoStatusCode;
}

bool StatusLineComplete(std::string_view reply) {
    if (reply.size() >= kStatusLineCap)
        return true;
    const std::size_t begin = reply.find_first_not_of('\n');
    return begin != std::string_view::npos && reply.find('\n', begin) != std::string_view::npos;
}

bool HeadComplete(std::string_view reply) {
    return reply.find("\r\n\r\n") != std::string_view::npos ||
           reply.find("\n\n") != std::string_view::npos;
}

bool IsRedirect(unsigned code) {
    return code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
}

std::optional<std::string_view> HeaderValue(std::string_view head, std::string_view name) {
    std::size_t at = head.find('\n'); // past the status line
    while (at != std::string_view::npos && at + 1 < head.size()) {
        const std::size_t end = std::min(head.find('\n', at + 1), head.size());
        std::string_view line = head.substr(at + 1, end - at - 1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.empty())
            break; // the end of the head
        at = end;
        if (line.size() <= name.size() || line[name.size()] != ':' ||
            !AsciiText::StartsWithNoCase(line, name))
            continue;
        return AsciiText::Trim(line.substr(name.size() + 1), AsciiText::ESpace::Tab);
    }
    return std::nullopt;
}

long RetryAfterSeconds(std::string_view head) {
    const std::optional<std::string_view> value = HeaderValue(head, "Retry-After");
    // Nine digits at most, leading zeros included: a longer value is none.
    if (!value || value->size() > 9)
        return -1;
    return AsciiText::ParseDecimal(*value, AsciiText::EDecimal::Whole).value_or(-1);
}

} // namespace HttpReply
