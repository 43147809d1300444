// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CWebAddress.h"

#include "base/AsciiText.h"

#include <algorithm>
#include <vector>

namespace {

std::string_view WithoutFragment(std::string_view text) {
    return text.substr(0, text.find('#'));
}

// A URL cut at its authority: "scheme", "host:port" as written, and the rest
// (path and query) without the fragment.
struct SUrlParts {
    std::string scheme; // in lower case
    std::string_view authority;
    std::string_view rest;
};

std::optional<SUrlParts> Split(std::string_view url) {
    for (std::string_view scheme : {"https", "http", "ftp"}) {
        if (!AsciiText::StartsWithNoCase(url, scheme) || url.substr(scheme.size(), 3) != "://")
            continue;
        std::string_view after = WithoutFragment(url.substr(scheme.size() + 3));
        const std::size_t end = std::min(after.find_first_of("/?"), after.size());
        return SUrlParts{std::string(scheme), after.substr(0, end), after.substr(end)};
    }
    return std::nullopt;
}

// The path with "." and ".." segments worked out, as a browser does.
std::string RemoveDotSegments(std::string_view path) {
    std::vector<std::string_view> segments;
    bool bTrailingSlash = false;
    std::size_t at = path.empty() || path[0] != '/' ? 0 : 1;
    for (;;) {
        const std::size_t slash = path.find('/', at);
        const bool bLast = slash == std::string_view::npos;
        const std::string_view segment =
            path.substr(at, bLast ? std::string_view::npos : slash - at);
        bTrailingSlash = false;
        if (segment == "..") {
            if (!segments.empty())
                segments.pop_back();
            bTrailingSlash = true;
        } else if (segment == ".") {
            bTrailingSlash = true;
        } else {
            segments.push_back(segment);
        }
        if (bLast)
            break;
        at = slash + 1;
    }
    std::string out;
    for (std::string_view segment : segments)
        out.append(1, '/').append(segment);
    if (out.empty() || (bTrailingSlash && out.back() != '/'))
        out.push_back('/');
    return out;
}

// "scheme://authority" and the rest, its path's dot segments removed.
std::string Compose(const std::string& scheme, std::string_view authority, std::string_view rest) {
    const std::size_t query = std::min(rest.find('?'), rest.size());
    return scheme + "://" + std::string(authority) + RemoveDotSegments(rest.substr(0, query)) +
           std::string(rest.substr(query));
}

std::string EncodedPath(std::string_view raw) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string path;
    path.reserve(raw.size() + 1);
    if (raw.empty() || raw[0] != '/')
        path.push_back('/'); // "http://host?q" asks for "/?q"
    for (char c : raw) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F) {
            path.push_back('%');
            path.push_back(kHex[byte >> 4]);
            path.push_back(kHex[byte & 0xF]);
        } else {
            path.push_back(c);
        }
    }
    return path;
}

int ParsePort(std::string_view text) {
    if (text.empty())
        return 0;
    const auto port = AsciiText::ParseDecimal(text, AsciiText::EDecimal::Whole, 65535);
    return port.value_or(0) == 0 ? SWebAddress::kUnusablePort : static_cast<int>(*port);
}

} // namespace

int SWebAddress::StandardPort() const {
    switch (scheme) {
    case EScheme::Https:
        return 443;
    case EScheme::Ftp:
        return 21;
    case EScheme::Http:
        break;
    }
    return 80;
}

std::optional<SWebAddress> CWebAddress::Parse(std::string_view url) {
    const std::optional<SUrlParts> parts = Split(url);
    if (!parts)
        return std::nullopt;
    SWebAddress address;
    address.scheme = parts->scheme == "https"  ? SWebAddress::EScheme::Https
                     : parts->scheme == "http" ? SWebAddress::EScheme::Http
                                               : SWebAddress::EScheme::Ftp;
    std::string_view authority = parts->authority;
    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    // A bracketed address keeps its colons; the port follows the bracket.
    const std::size_t hostEnd = authority.starts_with('[') ? authority.find(']') : 0;
    const std::size_t colon =
        authority.find(':', hostEnd == std::string_view::npos ? authority.size() : hostEnd);
    address.host = std::string(authority.substr(0, colon));
    if (colon != std::string_view::npos)
        address.port = ParsePort(authority.substr(colon + 1));
    address.path = EncodedPath(parts->rest);
    return address;
}

std::optional<std::string> CWebAddress::Resolve(std::string_view base, std::string_view location) {
    while (!location.empty() && (location.front() == ' ' || location.front() == '\t'))
        location.remove_prefix(1);
    while (!location.empty() && (location.back() == ' ' || location.back() == '\t'))
        location.remove_suffix(1);
    location = WithoutFragment(location);
    const std::optional<SUrlParts> from = Split(base);
    if (!from)
        return std::nullopt;

    // A scheme of its own: letters first, then letters, digits, "+", "-" or ".".
    const std::size_t colon = location.find(':');
    if (colon != std::string_view::npos && colon < location.find_first_of("/?") && colon > 0 &&
        AsciiText::IsAlpha(location[0]) &&
        std::all_of(location.begin(), location.begin() + static_cast<std::ptrdiff_t>(colon),
                    [](char c) {
                        return AsciiText::IsAlpha(c) || AsciiText::IsDigit(c) || c == '+' ||
                               c == '-' || c == '.';
                    })) {
        const std::optional<SUrlParts> to = Split(location);
        if (!to || to->scheme == "ftp")
            return std::nullopt;
        return Compose(to->scheme, to->authority, to->rest);
    }
    if (location.starts_with("//")) {
        const std::string absolute = from->scheme + ":" + std::string(location);
        const std::optional<SUrlParts> to = Split(absolute);
        return to ? std::optional(Compose(to->scheme, to->authority, to->rest)) : std::nullopt;
    }
    if (location.starts_with('/'))
        return Compose(from->scheme, from->authority, location);
    const std::string_view basePath = from->rest.substr(0, from->rest.find('?'));
    if (location.empty())
        return Compose(from->scheme, from->authority, from->rest);
    if (location.starts_with('?'))
        return Compose(from->scheme, from->authority,
                       std::string(basePath) + std::string(location));
    const std::size_t lastSlash = basePath.rfind('/');
    const std::string directory =
        lastSlash == std::string_view::npos ? "/" : std::string(basePath.substr(0, lastSlash + 1));
    return Compose(from->scheme, from->authority, directory + std::string(location));
}

std::string CWebAddress::Key(const SWebAddress& address, int port) {
    std::string key = address.scheme == SWebAddress::EScheme::Https ? "https://" : "http://";
    key += AsciiText::ToLower(address.host);
    return key + ":" + std::to_string(port) + address.path;
}
