// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <sys/types.h>

struct ssl_st;

/// The client side of TLS over a connected socket that does not block.
///
/// The peer's certificate chain is verified against the system's trust store
/// (SSL_CERT_FILE and SSL_CERT_DIR change it, as in every OpenSSL program) and
/// must name `host`, a DNS name (also sent as SNI) or an IPv4 address. Each call
/// does what it can now and says what it waits for; the caller calls it again
/// once the socket is readable or writable as asked. Sessions are kept per host
/// and port for the life of the program, so later connections resume them.
class CTlsChannel {
public:
    enum class EStatus { Done, WantRead, WantWrite, Failed };

    CTlsChannel(int socket, const std::string& host, int port);
    ~CTlsChannel();
    CTlsChannel(const CTlsChannel&) = delete;
    CTlsChannel& operator=(const CTlsChannel&) = delete;

    EStatus Handshake();
    /// Sends all of `bytes` as one record; after WantWrite, call again with the
    /// same bytes.
    EStatus Write(std::string_view bytes);
    /// The count of bytes read into `buffer`, 0 at the peer's close (orderly or
    /// not), or -1 with `status` saying why nothing was read.
    ssize_t Read(char* buffer, std::size_t size, EStatus& status);

private:
    EStatus StatusOf(int result);

    ssl_st* m_pSsl = nullptr;
    std::string m_sessionKey;
};
