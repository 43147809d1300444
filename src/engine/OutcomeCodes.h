// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// The codes that end a link test besides an HTTP status code. Their reason
/// texts live in CReasonFilter's table.
namespace Outcome {

inline constexpr unsigned kUnspecifiedSocketError = 10000;
inline constexpr unsigned kInvalidPortOrName = 10001;
inline constexpr unsigned kHostNotFound = 10002;
inline constexpr unsigned kNoSocket = 10003;
inline constexpr unsigned kCannotConnect = 10004;
inline constexpr unsigned kTimedOut = 10005;
// Only in the current-web mode, and always listed:
inline constexpr unsigned kSecureConnectionFailed = 10006; // TLS handshake or verification
inline constexpr unsigned kTooManyRedirects = 10007;       // more than 5 hops, or a loop
// Only for links between the pages, checked on disk, and always listed:
inline constexpr unsigned kFileNotFound = 10008;   // no file or folder with an index there
inline constexpr unsigned kAnchorNotFound = 10009; // the target page names no such element

/// Whether `code` ends a link between the pages rather than a probe.
constexpr bool IsLocal(unsigned code) {
    return code == kFileNotFound || code == kAnchorNotFound;
}

/// A reply whose status line holds no usable number. No reason knows it, so it
/// is always listed, as an unknown reason.
inline constexpr unsigned kNoStatusCode = 0;

} // namespace Outcome
