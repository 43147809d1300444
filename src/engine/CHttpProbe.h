// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/CDeleteLater.h"
#include "engine/HttpReply.h"

#include <QObject>
#include <QTimer>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <string_view>

class CLookupPool;
class CSocketWnd;
class CWebHop;
class ISessionHost;
enum class ESocketEvent;

/// The probe of one link: one connection, its reply buffer and its time-out.
///
/// Start() connects to the link's host (the look-up and the connection never
/// block the event loop), sends `GET path HTTP/1.0` and an empty line for an
/// http link, or nothing for an ftp link, and waits for the reply. It reports
/// exactly one outcome through Finished(), never from inside Start(), and none
/// at all once cancelled:
///  - a connection failure (10001 to 10004), or 10005 when the time-out runs
///    out first, with `bReplied` false;
///  - the reply's status code (see HttpReply::StatusCodeOf) with `bReplied`
///    true, once the status line is whole: a line feed has arrived, 512 bytes
///    have, or the host closed after sending something. An ftp server's first
///    bytes end the probe.
/// A host that closes without sending anything leaves the link waiting for its
/// time-out, unless SetTimeOutOnClose() asks for that outcome at once. The
/// time-out covers look-up, connection and reply.
///
/// In the current-web mode (SetCurrentWeb) a link is reached as today's
/// browsers reach it: https links over TLS (a failed handshake or verification
/// is 10006), the port written in the URL or the scheme's own, an HTTP/1.1
/// request with a Host header, and redirects followed up to
/// CWebHop::kMostRedirects hops, each with the whole time-out (more, or a loop,
/// is 10007). Only the reply's head is read, never its body; CWebHop keeps the
/// hop and the chain that led to it.
///
/// The probe writes the connection and method panes as it goes.
class CHttpProbe : public QObject {
    Q_OBJECT
public:
    static constexpr std::size_t kReplyCapacity = HttpReply::kStatusLineCap;
    static constexpr std::size_t kDrainCap = 64 * 1024;
    /// The most of a reply's head read in the current-web mode.
    static constexpr std::size_t kHeadCap = 32 * 1024;

    CHttpProbe(ISessionHost& host, CLookupPool& lookups, QObject* parent = nullptr);
    ~CHttpProbe() override;

    /// `scheme` is CUrlExtractor::kSchemeHttp or kSchemeFtp; `port` is the one
    /// for that scheme (in the current-web mode, unless the URL names one; an
    /// https link then goes to 443).
    void Start(const std::string& link, int scheme, int port, int timeoutMs);
    /// Ends the probe without an outcome.
    void Cancel();

    /// Later Start()s connect to `address` instead of looking up the link's host.
    void UseAddress(in_addr address) { m_knownAddress = address; }
    /// With `bAtOnce`, a host that closes without a reply gives 10005 at once
    /// instead of leaving the link to its time-out.
    void SetTimeOutOnClose(bool bAtOnce) { m_bTimeOutOnClose = bAtOnce; }
    /// Before Start().
    void SetCurrentWeb(bool bOn);

    /// After Finished(): whether a redirect was followed on the way.
    bool Redirected() const;
    /// After Finished() with a 429 reply: its Retry-After in seconds, or -1 when
    /// it gave none in seconds.
    long RetryAfterSeconds() const { return m_retryAfterSeconds; }
    /// After Finished() with 10002 or 10003: whether only the want of a file
    /// descriptor made the look-up or the socket fail (see CSocketWnd).
    bool OutOfDescriptors() const { return m_bOutOfDescriptors; }

    /// The host a link is probed at: in the current-web mode without any
    /// "user:password@" and for https links too.
    static std::string HostOf(const std::string& link, int scheme, bool bCurrentWeb);

signals:
    void Finished(unsigned code, bool bReplied);

private:
    void Connect(int port);
    void StartHop();
    void OnConnectFinished(unsigned code);
    void OnSocketNotify(ESocketEvent event);
    void OnCurrentWebEvent(ESocketEvent event);
    void ContinueTls();
    /// Reads what has come, as long as the reply holds less than `capacity`.
    void ReceivePlain(std::size_t capacity);
    void ReceiveTls();
    void EvaluateHead();
    void FollowRedirect(unsigned code, std::string_view location);
    void OnClosedWithoutReply();
    void DrainReply();
    void Finish(unsigned code, bool bReplied);
    void CloseConnection();
    void ReleaseSocket();

    ISessionHost& m_host;
    CLookupPool& m_lookups;
    LaterPtr<CSocketWnd> m_pSocketWnd;
    QTimer m_timeoutTimer;
    std::string m_strHost;
    std::string m_strPath;
    int m_scheme = 1;
    int m_timeoutMs = 0;
    std::unique_ptr<CWebHop> m_pWebHop; // in the current-web mode only
    long m_retryAfterSeconds = -1;
    std::string m_replyBuffer;
    bool m_bPeerClosed = false;
    bool m_bWaitCursor = false;
    bool m_bActive = false;
    bool m_bTimeOutOnClose = false;
    bool m_bOutOfDescriptors = false;
    std::optional<in_addr> m_knownAddress;
};
