// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/CWebAddress.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CSocketWnd;
class CTlsChannel;

/// The current-web mode's way to a link: the hop being made (its URL, address,
/// port, request and TLS channel) and the redirects that led to it.
///
/// A hop goes to the port written in its URL, else to the standard one for
/// https, else to the port of the link's own scheme. Its request is an
/// HTTP/1.1 GET with a Host header (which names the port unless it is the
/// scheme's standard one), sent in one piece, over TLS for an https hop.
/// Redirects are followed up to kMostRedirects hops; going back to a hop of the
/// same chain is a loop.
class CWebHop {
public:
    static constexpr int kMostRedirects = 5;
    static constexpr std::string_view kUserAgent = "Linkvet/2.2";

    /// What a redirect comes to.
    enum class ERedirect {
        Stands,   ///< it leads nowhere a browser would go: the reply stands
        Followed, ///< this hop now goes to the place it names
        TooMany,  ///< a loop, or one hop too many
    };
    /// Where the TLS handshake and the request's sending have got to.
    enum class ETlsStep {
        Waiting, ///< for the socket; ContinueTls() again on its next event
        Sent,    ///< the request is out: the reply is read from now on
        Failed,  ///< the handshake or the verification failed
        Lost,    ///< the host went before the request was out
    };

    CWebHop();
    ~CWebHop();
    CWebHop(const CWebHop&) = delete;
    CWebHop& operator=(const CWebHop&) = delete;

    /// Takes `link` as the first hop; `schemePort` is the port for the link's scheme.
    void Reset(const std::string& link, int schemePort);
    /// Reads this hop's URL. Returns the port to connect to, or 0 when the hop
    /// cannot be reached; Host() is then empty.
    int Begin();
    /// The host to connect to, without the blanks before it.
    const std::string& Host() const { return m_strHost; }
    const std::string& Request() const { return m_strRequest; }
    int Redirects() const { return m_redirects; }

    /// Once `socket` is connected: true for an https hop, whose TLS setup then
    /// begins (ContinueTls()).
    bool StartTls(CSocketWnd& socket);
    /// Whether the reply comes over TLS.
    bool OverTls() const { return m_pTls != nullptr; }
    /// Whether the TLS setup still goes on: the request is not out yet.
    bool SettingUpTls() const { return m_pTls && m_tlsPhase != ETlsPhase::Read; }
    /// Takes the TLS setup as far as the socket allows now, watching `socket`
    /// for room to write while TLS waits for it.
    ETlsStep ContinueTls(CSocketWnd& socket);
    /// Appends all that TLS has decrypted to `reply` until it holds `capacity`
    /// bytes, setting `bPeerClosed` at the host's close.
    void ReadTls(CSocketWnd& socket, std::string& reply, std::size_t capacity, bool& bPeerClosed);
    /// Ends the hop's TLS: always before its socket closes.
    void Disconnect();

    /// Takes this hop's redirect to `location`.
    ERedirect Redirect(std::string_view location);

private:
    enum class ETlsPhase { Handshake, Send, Read };

    void WatchWrite(CSocketWnd& socket, bool bWrite);
    int PortOf(const SWebAddress& address) const;

    std::string m_strUrl;
    std::optional<SWebAddress> m_address;
    std::string m_strHost;
    int m_port = 0;
    int m_schemePort = 0;
    std::string m_strRequest;
    std::unique_ptr<CTlsChannel> m_pTls;
    ETlsPhase m_tlsPhase = ETlsPhase::Handshake;
    bool m_bWatchingWrite = false;
    int m_redirects = 0;
    std::vector<std::string> m_visited;
};
