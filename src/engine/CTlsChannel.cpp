// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CTlsChannel.h"

#include "base/AsciiText.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

namespace {

constexpr std::size_t kMostSessionsKept = 1024;

// The socket's bytes through send() and recv(): OpenSSL's own socket BIO writes
// with write(), which raises SIGPIPE when the peer has gone.
int SocketOf(BIO* bio) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
}

bool WouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

int SocketWrite(BIO* bio, const char* data, int size) {
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::send(SocketOf(bio), data, static_cast<std::size_t>(size), MSG_NOSIGNAL);
    if (n < 0 && WouldBlock())
        BIO_set_retry_write(bio);
    return static_cast<int>(n);
}

int SocketRead(BIO* bio, char* data, int size) {
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::recv(SocketOf(bio), data, static_cast<std::size_t>(size), 0);
    if (n < 0 && WouldBlock())
        BIO_set_retry_read(bio);
    return static_cast<int>(n);
}

long SocketCtrl(BIO* /*bio*/, int command, long /*number*/, void* /*pointer*/) {
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

BIO* NewSocketBio(int socket) {
    static BIO_METHOD* const pMethod = [] {
        BIO_METHOD* pNew =
            BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "linkvet socket");
        if (pNew != nullptr) {
            BIO_meth_set_write(pNew, SocketWrite);
            BIO_meth_set_read(pNew, SocketRead);
            BIO_meth_set_ctrl(pNew, SocketCtrl);
        }
        return pNew;
    }();
    BIO* pBio = pMethod != nullptr ? BIO_new(pMethod) : nullptr;
    if (pBio != nullptr) {
        BIO_set_data(pBio, reinterpret_cast<void*>(static_cast<std::intptr_t>(socket)));
        BIO_set_init(pBio, 1);
    }
    return pBio;
}

// The client context and the sessions kept for resumption. The trust store is
// read when the context is made, so a changed SSL_CERT_FILE or SSL_CERT_DIR
// makes a new one (and forgets sessions verified against the old store).
class CClientContext {
public:
    ~CClientContext() { Reset(); }

    SSL_CTX* Get() {
        const char* file = std::getenv("SSL_CERT_FILE");
        const char* dir = std::getenv("SSL_CERT_DIR");
        std::string trust = std::string(file != nullptr ? file : "") + '\n' +
                            std::string(dir != nullptr ? dir : "");
        if (m_pContext != nullptr && trust == m_trust)
            return m_pContext;
        Reset();
        m_trust = std::move(trust);
        m_pContext = SSL_CTX_new(TLS_client_method());
        if (m_pContext == nullptr)
            return nullptr;
        SSL_CTX_set_min_proto_version(m_pContext, TLS1_2_VERSION);
        SSL_CTX_set_default_verify_paths(m_pContext);
        SSL_CTX_set_verify(m_pContext, SSL_VERIFY_PEER, nullptr);
        SSL_CTX_set_session_cache_mode(m_pContext,
                                       SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
        SSL_CTX_sess_set_new_cb(m_pContext, [](SSL* pSsl, SSL_SESSION* pSession) {
            const auto* pKey = static_cast<const std::string*>(SSL_get_ex_data(pSsl, 0));
            return pKey != nullptr ? Instance().Keep(*pKey, pSession) : 0;
        });
        return m_pContext;
    }

    SSL_SESSION* Session(const std::string& key) const {
        auto it = m_sessions.find(key);
        return it == m_sessions.end() ? nullptr : it->second;
    }

    static CClientContext& Instance() {
        // OpenSSL is set up first, so its clean-up at exit runs after this
        // context is freed, not before.
        [[maybe_unused]] static const bool bLibrary = OPENSSL_init_ssl(0, nullptr) == 1;
        static CClientContext context;
        return context;
    }

private:
    int Keep(const std::string& key, SSL_SESSION* pSession) {
        if (m_sessions.size() >= kMostSessionsKept && m_sessions.count(key) == 0)
            ForgetSessions();
        SSL_SESSION*& pKept = m_sessions[key];
        if (pKept != nullptr)
            SSL_SESSION_free(pKept);
        pKept = pSession;
        return 1; // the reference is ours now
    }

    void ForgetSessions() {
        for (auto& [key, pSession] : m_sessions)
            SSL_SESSION_free(pSession);
        m_sessions.clear();
    }

    void Reset() {
        ForgetSessions();
        SSL_CTX_free(m_pContext);
        m_pContext = nullptr;
    }

    SSL_CTX* m_pContext = nullptr;
    std::string m_trust;
    std::map<std::string, SSL_SESSION*> m_sessions;
};

} // namespace

CTlsChannel::CTlsChannel(int socket, const std::string& host, int port) {
    CClientContext& context = CClientContext::Instance();
    SSL_CTX* pContext = context.Get();
    if (pContext == nullptr)
        return;
    m_pSsl = SSL_new(pContext);
    BIO* pBio = m_pSsl != nullptr ? NewSocketBio(socket) : nullptr;
    if (pBio == nullptr) {
        SSL_free(m_pSsl);
        m_pSsl = nullptr;
        return;
    }
    SSL_set_bio(m_pSsl, pBio, pBio);
    SSL_set_connect_state(m_pSsl);

    bool bNamed = false;
    in_addr address{};
    if (::inet_pton(AF_INET, host.c_str(), &address) == 1) {
        bNamed = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_pSsl), host.c_str()) == 1;
    } else {
        SSL_set_hostflags(m_pSsl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        // SNI, as SSL_set_tlsext_host_name() sends it.
        bNamed = SSL_ctrl(m_pSsl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                          const_cast<char*>(host.c_str())) == 1 &&
                 SSL_set1_host(m_pSsl, host.c_str()) == 1;
    }
    if (!bNamed) { // a name no certificate can be checked against
        SSL_free(m_pSsl);
        m_pSsl = nullptr;
        return;
    }
    m_sessionKey = AsciiText::ToLower(host + ':' + std::to_string(port));
    if (SSL_SESSION* pSession = context.Session(m_sessionKey))
        SSL_set_session(m_pSsl, pSession);
    SSL_set_ex_data(m_pSsl, 0, &m_sessionKey);
}

CTlsChannel::~CTlsChannel() {
    if (m_pSsl == nullptr)
        return;
    // Closed without a close_notify, yet the session stays good for resumption.
    SSL_set_shutdown(m_pSsl, SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN);
    SSL_free(m_pSsl);
}

CTlsChannel::EStatus CTlsChannel::StatusOf(int result) {
    const int error = SSL_get_error(m_pSsl, result);
    ERR_clear_error(); // what went wrong must not show in the next call's outcome
    switch (error) {
    case SSL_ERROR_WANT_READ:
        return EStatus::WantRead;
    case SSL_ERROR_WANT_WRITE:
        return EStatus::WantWrite;
    default:
        return EStatus::Failed;
    }
}

CTlsChannel::EStatus CTlsChannel::Handshake() {
    if (m_pSsl == nullptr)
        return EStatus::Failed;
    ERR_clear_error();
    const int result = SSL_do_handshake(m_pSsl);
    return result == 1 ? EStatus::Done : StatusOf(result);
}

CTlsChannel::EStatus CTlsChannel::Write(std::string_view bytes) {
    if (m_pSsl == nullptr)
        return EStatus::Failed;
    ERR_clear_error();
    const int result = SSL_write(m_pSsl, bytes.data(), static_cast<int>(bytes.size()));
    return result > 0 ? EStatus::Done : StatusOf(result);
}

ssize_t CTlsChannel::Read(char* buffer, std::size_t size, EStatus& status) {
    status = EStatus::Failed;
    if (m_pSsl == nullptr)
        return -1;
    ERR_clear_error();
    const int result = SSL_read(m_pSsl, buffer, static_cast<int>(size));
    if (result > 0) {
        status = EStatus::Done;
        return result;
    }
    status = StatusOf(result);
    // A protocol error after the handshake ends the reply as a close would.
    return status == EStatus::Failed ? 0 : -1;
}
