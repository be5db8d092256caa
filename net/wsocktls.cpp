// TCustomWSocket: TLS 1.3 between the owner and the socket. OpenSSL works on
// two memory BIOs: bytes from the kernel are written into `in`, what TLS has
// to say is taken from `out` and goes through the ordinary send queue, so
// the queue's limits, flow control and the stall watch see the encrypted
// bytes. The socket's notifications drive the handshake; once it is over
// Receive decrypts as the owner reads.
#include "wsocket.h"
#include "tlsidentity.h"
#include "wsockendpoint.h"

#include <QTimer>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <cerrno>
#include <sys/socket.h>

namespace {

// One TLS record and its header and tag: what one pull from the kernel takes.
constexpr int kPullSize = 16 * 1024 + 512;
// Pulls per Receive (and per handshake notification) before the rest is
// left for the next notification: records without plaintext cannot keep us.
constexpr int kMaxPulls = 4;

} // namespace

struct TTlsLink {
    SSL* ssl = nullptr; // owns in and out
    BIO* in = nullptr;  // encrypted bytes from the peer
    BIO* out = nullptr; // encrypted bytes for the peer
    bool established = false;
    uint16_t failed = 0; // the error the link ended with
    std::string early;   // sent by the owner before the handshake was over
    std::string scratch; // reused for what `out` holds
    QTimer deadline;
    ~TTlsLink() { SSL_free(ssl); }
};

void TCustomWSocket::TTlsLinkFree::operator()(TTlsLink* link) const
{
    delete link;
}

void TCustomWSocket::StartTls(const std::shared_ptr<ssl_ctx_st>& ctx, bool server, int deadlineMs)
{
    if (FState != wsConnected || FType != kStreamSocket || FHSocket == INVALID_SOCKET)
        raiseError(WSAENOTCONN, "StartTls");
    if (FTls || !ctx)
        raiseError(WSAEINVAL, "StartTls");
    std::unique_ptr<TTlsLink, TTlsLinkFree> link(new TTlsLink);
    link->ssl = SSL_new(ctx.get());
    link->in = BIO_new(BIO_s_mem());
    link->out = BIO_new(BIO_s_mem());
    if (!link->ssl || !link->in || !link->out) {
        BIO_free(link->in);
        BIO_free(link->out);
        ERR_clear_error();
        raiseError(WSAENOBUFS, "StartTls");
    }
    BIO_set_mem_eof_return(link->in, -1); // empty means "wait for more", not the end
    SSL_set_bio(link->ssl, link->in, link->out);
    if (server)
        SSL_set_accept_state(link->ssl);
    else
        SSL_set_connect_state(link->ssl);
    link->deadline.setSingleShot(true);
    const uint32_t generation = FGeneration;
    QObject::connect(&link->deadline, &QTimer::timeout, &link->deadline, [this, generation] {
        if (generation == FGeneration && tlsHandshaking())
            tlsFail(WSAETIMEDOUT);
    });
    link->deadline.start(deadlineMs);
    FTls = std::move(link);
    // The client speaks first; the server waits for its hello, which may
    // already be waiting in the kernel.
    if (!server)
        tlsStepHandshake();
    else
        RearmIfWaiting();
}

bool TCustomWSocket::TlsEstablished() const
{
    return FTls && FTls->established && FTls->failed == 0;
}

std::string TCustomWSocket::TlsPeerFingerprint() const
{
    if (!TlsEstablished())
        return {};
    return CertificateFingerprint(SSL_get0_peer_certificate(FTls->ssl));
}

uint16_t TCustomWSocket::TlsFailure() const
{
    return FTls ? FTls->failed : 0;
}

std::string TCustomWSocket::TlsExport(std::string_view label, size_t bytes) const
{
    if (!TlsEstablished() || bytes == 0)
        return {};
    std::string out(bytes, '\0');
    if (SSL_export_keying_material(FTls->ssl, reinterpret_cast<unsigned char*>(out.data()), bytes, label.data(),
                                   label.size(), nullptr, 0, 0) != 1) {
        ERR_clear_error();
        return {};
    }
    return out;
}

bool TCustomWSocket::tlsHandshaking() const
{
    return FTls && (!FTls->established || FTls->failed != 0);
}

bool TCustomWSocket::tlsPending() const
{
    return FTls && FTls->established && FTls->failed == 0 &&
        (SSL_pending(FTls->ssl) > 0 || BIO_ctrl_pending(FTls->in) > 0);
}

uint16_t TCustomWSocket::tlsCloseError(uint16_t error) const
{
    if (!FTls)
        return error;
    if (FTls->failed != 0)
        return FTls->failed;
    // The peer left in the middle of the handshake.
    return !FTls->established && error == 0 ? static_cast<uint16_t>(WSAECONNABORTED) : error;
}

void TCustomWSocket::tlsFail(uint16_t code)
{
    if (!FTls || FTls->failed != 0)
        return;
    ERR_clear_error();
    FTls->failed = code;
    FTls->deadline.stop();
    FTls->early.clear();
    FLastError = code;
    // Closed by a notification of its own, never inside the owner's call.
    FWindowHandle->PostSelect(FHSocket, FGeneration, FD_CLOSE, code);
}

bool TCustomWSocket::tlsFlushOut()
{
    const size_t n = BIO_ctrl_pending(FTls->out);
    if (n == 0)
        return true;
    std::string& buf = FTls->scratch;
    buf.resize(n);
    BIO_read(FTls->out, buf.data(), static_cast<int>(n));
    const TSameConnection same{this, Alive(), FHSocket, FGeneration};
    sendRaw(buf.data(), static_cast<int>(n));
    return same(); // the send may have met a reset and closed
}

// The socket is readable while handshaking: take what came, let TLS answer.
bool TCustomWSocket::tlsReadHandshake()
{
    if (FTls->failed != 0)
        return false; // its close is on the way; read nothing more
    char buf[kPullSize];
    for (int pulls = 0; pulls < kMaxPulls && !FTls->established; ++pulls) {
        ssize_t n;
        do
            n = ::recv(FHSocket, buf, sizeof buf, 0);
        while (n < 0 && errno == EINTR);
        if (n == 0) {
            tlsFail(WSAECONNABORTED);
            return false;
        }
        if (n < 0)
            return true; // nothing more now; a reset comes as a close
        AddReadCount(static_cast<int>(n));
        BIO_write(FTls->in, buf, static_cast<int>(n));
        if (!tlsStepHandshake())
            return false;
        if (n < static_cast<ssize_t>(sizeof buf))
            break;
    }
    return true;
}

// One step of the handshake; false when the connection is gone or failed.
bool TCustomWSocket::tlsStepHandshake()
{
    const TSameConnection same{this, Alive(), FHSocket, FGeneration};
    ERR_clear_error();
    const int r = SSL_do_handshake(FTls->ssl);
    const int err = r == 1 ? SSL_ERROR_NONE : SSL_get_error(FTls->ssl, r);
    if (!tlsFlushOut())
        return false;
    if (err != SSL_ERROR_NONE && err != SSL_ERROR_WANT_READ) {
        tlsFail(WSAECONNABORTED); // garbage, a wrong version, a bad signature
        return false;
    }
    if (r != 1)
        return true;
    FTls->established = true;
    FTls->deadline.stop();
    if (OnTlsDone) {
        OnTlsDone(this, 0);
        if (!same())
            return false;
    }
    if (!FTls->early.empty()) {
        std::string early;
        early.swap(FTls->early);
        tlsSend(early.data(), static_cast<int>(early.size()));
        if (!same())
            return false;
    }
    // The peer's first lines may have come with its last handshake bytes.
    if (tlsPending() && !FReadHeld)
        FWindowHandle->PostSelect(FHSocket, FGeneration, FD_READ, 0);
    return true;
}

int TCustomWSocket::tlsReceive(void* buffer, int len)
{
    FDrained = false;
    if (FTls->failed != 0 || !FTls->established) {
        FLastError = FTls->failed != 0 ? static_cast<int>(FTls->failed) : static_cast<int>(WSAEWOULDBLOCK);
        return -1;
    }
    if (len == 0)
        return 0;
    char buf[kPullSize];
    for (int pulls = 0;;) {
        ERR_clear_error();
        const int r = SSL_read(FTls->ssl, buffer, len);
        if (r > 0) {
            ++FConsumed;
            return r;
        }
        const int err = SSL_get_error(FTls->ssl, r);
        if (err == SSL_ERROR_ZERO_RETURN)
            return 0; // the peer closed its side of TLS
        if (err != SSL_ERROR_WANT_READ) {
            tlsFail(WSAECONNABORTED); // a broken record, a renegotiation
            return -1;
        }
        if (pulls++ == kMaxPulls) {
            FLastError = WSAEWOULDBLOCK;
            return -1;
        }
        ssize_t n;
        do
            n = ::recv(FHSocket, buf, sizeof buf, 0);
        while (n < 0 && errno == EINTR);
        if (n < 0) {
            FLastError = WSocketSaveErrno();
            return -1;
        }
        if (n == 0) {
            if (FWindowHandle->PeerError() != 0) {
                FLastError = FWindowHandle->PeerError();
                WSASetLastError(FLastError);
                return -1;
            }
            return 0;
        }
        AddReadCount(static_cast<int>(n));
        BIO_write(FTls->in, buf, static_cast<int>(n));
    }
}

int TCustomWSocket::tlsSend(const char* p, int len)
{
    if (FTls->failed != 0)
        return len; // the connection is on its way out, as after a reset
    if (!FTls->established) {
        FTls->early.append(p, static_cast<size_t>(len));
        if (FTls->early.size() > FMaxSendQueue)
            tlsFail(WSAENOBUFS);
        return len;
    }
    ERR_clear_error();
    if (SSL_write(FTls->ssl, p, len) != len) {
        tlsFail(WSAECONNABORTED);
        return len;
    }
    tlsFlushOut();
    return len;
}
