// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

/// A link as today's browsers reach it: its scheme, host, port and request path.
struct SWebAddress {
    enum class EScheme { Http, Https, Ftp };
    static constexpr int kUnusablePort = -1;

    EScheme scheme = EScheme::Http;
    /// Without any "user:password@"; may be empty.
    std::string host;
    /// The port written in the URL, 0 when none is, kUnusablePort when what is
    /// written is no port number from 1 to 65535.
    int port = 0;
    /// From the first "/" after the host, without the fragment; "/" when there is
    /// none. Bytes a request line cannot carry (controls, blanks, non-ASCII) are
    /// percent-encoded.
    std::string path;

    /// The port written, else `defaultPort`; kUnusablePort stays.
    int PortOr(int defaultPort) const { return port == 0 ? defaultPort : port; }
    /// 80 for http, 443 for https, 21 for ftp.
    int StandardPort() const;
};

/// Reads links and the Location of redirects in the current-web mode.
class CWebAddress {
public:
    /// The parts of `url`, which starts with "http://", "https://" or "ftp://" in
    /// any letter case; nothing for any other URL.
    static std::optional<SWebAddress> Parse(std::string_view url);

    /// The absolute http or https URL a redirect's `location` names, resolved
    /// against `base` (the URL that gave it) with its dot segments removed and
    /// without a fragment; nothing when it is empty or names another scheme.
    static std::optional<std::string> Resolve(std::string_view base, std::string_view location);

    /// What identifies `url` in a chain of redirects: its scheme, host (in lower
    /// case), port and path.
    static std::string Key(const SWebAddress& address, int port);
};
