// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

/// The rules the probe applies to the bytes of a reply, each in one place. They
/// read bytes only: no connection, no state.
namespace HttpReply {

/// The most of a status line read: the line is whole at this size, line feed or not.
inline constexpr std::size_t kStatusLineCap = 512;
inline constexpr unsigned kTooManyRequests = 429;

/// The status code of a reply: the number after the first word of its first
/// non-empty line, or Outcome::kNoStatusCode.
unsigned StatusCodeOf(std::string_view reply);

/// Whether the status line has all come: a line feed ends the first non-empty
/// line, or kStatusLineCap bytes have come.
bool StatusLineComplete(std::string_view reply);

/// Whether the head has ended: an empty line ("\r\n\r\n" or "\n\n") has come.
bool HeadComplete(std::string_view reply);

/// Whether `code` sends the browser on to its Location: 301, 302, 303, 307 and 308.
bool IsRedirect(unsigned code);

/// The value of the first header called `name` (any letter case) in a reply's
/// head, trimmed; nothing when there is none.
std::optional<std::string_view> HeaderValue(std::string_view head, std::string_view name);

/// The Retry-After header's value when it is a number of seconds, else -1.
long RetryAfterSeconds(std::string_view head);

} // namespace HttpReply
