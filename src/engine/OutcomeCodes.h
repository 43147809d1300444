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

/// A reply whose status line holds no usable number. No reason knows it, so it
/// is always listed, as an unknown reason.
inline constexpr unsigned kNoStatusCode = 0;

/// True for the codes that a connection failure or the time-out gives.
constexpr bool IsFailure(unsigned code) {
    return code >= kUnspecifiedSocketError && code <= kTimedOut;
}

} // namespace Outcome
