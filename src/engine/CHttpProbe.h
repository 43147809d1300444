#pragma once

#include "engine/CDeleteLater.h"

#include <QObject>
#include <QTimer>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <string_view>

class CLookupPool;
class CSocketWnd;
class ISessionHost;

/// The probe of one link: one connection, its reply buffer and its time-out.
///
/// Start() connects to the link's host (the look-up and the connection never
/// block the event loop), sends `GET path HTTP/1.0` and an empty line for an
/// http link, or nothing for an ftp link, and waits for the reply. It reports
/// exactly one outcome through Finished(), never from inside Start(), and none
/// at all once cancelled:
///  - a connection failure (10001 to 10004), or 10005 when the time-out runs
///    out first, with `bReplied` false;
///  - the reply's status code (see StatusCodeOf) with `bReplied` true, once the
///    status line is whole: a line feed has arrived, 512 bytes have, or the host
///    closed after sending something. An ftp server's first bytes end the probe.
/// A host that closes without sending anything leaves the link waiting for its
/// time-out, unless SetTimeOutOnClose() asks for that outcome at once. The
/// time-out covers look-up, connection and reply.
///
/// The probe writes the connection and method panes as it goes.
class CHttpProbe : public QObject {
    Q_OBJECT
public:
    static constexpr std::size_t kReplyCapacity = 512;
    static constexpr std::size_t kDrainCap = 64 * 1024;

    CHttpProbe(ISessionHost& host, CLookupPool& lookups, QObject* parent = nullptr);
    ~CHttpProbe() override;

    /// `scheme` is CUrlExtractor::kSchemeHttp or kSchemeFtp.
    void Start(const std::string& link, int scheme, int port, int timeoutMs);
    /// Ends the probe without an outcome.
    void Cancel();

    /// Later Start()s connect to `address` instead of looking up the link's host.
    void UseAddress(in_addr address) { m_knownAddress = address; }
    /// With `bAtOnce`, a host that closes without a reply gives 10005 at once
    /// instead of leaving the link to its time-out.
    void SetTimeOutOnClose(bool bAtOnce) { m_bTimeOutOnClose = bAtOnce; }

    /// The status code of a reply: the number after the first word of its first
    /// non-empty line, or Outcome::kNoStatusCode.
    static unsigned StatusCodeOf(std::string_view reply);

signals:
    void Finished(unsigned code, bool bReplied);

private:
    void OnConnectFinished(unsigned code);
    void OnSocketNotify(int socket, quint32 lParam);
    bool StatusLineComplete() const;
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
    std::string m_replyBuffer;
    bool m_bPeerClosed = false;
    bool m_bWaitCursor = false;
    bool m_bActive = false;
    bool m_bTimeOutOnClose = false;
    std::optional<in_addr> m_knownAddress;
};
