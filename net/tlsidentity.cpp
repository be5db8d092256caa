#include "tlsidentity.h"
#include "privatefile.h"

#include <QStandardPaths>

#include <cerrno>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>


namespace {

constexpr long kValidDays = 36500; // nobody checks the dates; they only must parse

using TBio = std::unique_ptr<BIO, decltype(&BIO_free)>;

std::shared_ptr<X509> makeCertificate(EVP_PKEY* key)
{
    std::shared_ptr<X509> cert(X509_new(), X509_free);
    if (!cert || !X509_set_version(cert.get(), 2))
        return nullptr;
    // A random serial, so two instances' certificates never look alike.
    BIGNUM* serial = BN_new();
    bool ok = serial && BN_rand(serial, 64, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY)
              && BN_to_ASN1_INTEGER(serial, X509_get_serialNumber(cert.get()));
    BN_free(serial);
    X509_NAME* name = X509_get_subject_name(cert.get());
    ok = ok && X509_gmtime_adj(X509_getm_notBefore(cert.get()), -24 * 3600)
         && X509_time_adj_ex(X509_getm_notAfter(cert.get()), kValidDays, 0, nullptr)
         && X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Pelmora"),
                                       -1, -1, 0)
         && X509_set_issuer_name(cert.get(), name) && X509_set_pubkey(cert.get(), key)
         && X509_sign(cert.get(), key, nullptr) > 0; // Ed25519 takes no separate digest
    return ok ? cert : nullptr;
}

std::string pemText(const TTlsIdentity& id)
{
    TBio bio(BIO_new(BIO_s_mem()), BIO_free);
    if (!bio || !PEM_write_bio_PrivateKey(bio.get(), id.Key(), nullptr, nullptr, 0, nullptr, nullptr)
        || !PEM_write_bio_X509(bio.get(), id.Certificate()))
        return {};
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio.get(), &data);
    return n > 0 ? std::string(data, static_cast<size_t>(n)) : std::string();
}

} // namespace

std::string TTlsIdentity::DefaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString()
           + "/pelmora/identity.pem";
}

TTlsIdentity TTlsIdentity::Create()
{
    TTlsIdentity id;
    EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
    if (!key)
        return id;
    id.FKey.reset(key, EVP_PKEY_free);
    id.FCert = makeCertificate(key);
    return id;
}

TTlsIdentity TTlsIdentity::LoadOrCreate(const std::string& path, std::string* error)
{
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why + ": " + path;
        ERR_clear_error();
        return TTlsIdentity();
    };
    std::string text;
    if (!ReadSmallFile(path, text)) {
        if (errno != ENOENT)
            return fail("cannot read the identity"); // there, but not ours to replace
        TTlsIdentity id = Create();
        if (id.IsNull())
            return fail("cannot make a key");
        if (!WritePrivateFile(path, pemText(id)))
            return fail("cannot write the identity");
        return id;
    }
    TBio bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())), BIO_free);
    TTlsIdentity id;
    if (bio) {
        id.FKey.reset(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr), EVP_PKEY_free);
        id.FCert.reset(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr), X509_free);
    }
    if (id.IsNull() || X509_check_private_key(id.Certificate(), id.Key()) != 1)
        return fail("not a key and its certificate");
    return id;
}

std::string TTlsIdentity::Fingerprint() const
{
    return CertificateFingerprint(FCert.get());
}

std::string CertificateFingerprint(X509* cert)
{
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (!cert || !X509_digest(cert, EVP_sha256(), md, &len))
        return {};
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned int i = 0; i < len; ++i) {
        if (i > 0)
            out += ':';
        out += hex[md[i] >> 4];
        out += hex[md[i] & 15];
    }
    return out;
}

namespace {

// The peer is known by its fingerprint, which the owner checks after the
// handshake; no authority vouches for it.
int acceptAnyCertificate(int, X509_STORE_CTX*)
{
    return 1;
}

} // namespace

std::shared_ptr<SSL_CTX> MakeTlsContext(const TTlsIdentity& identity)
{
    if (identity.IsNull())
        return nullptr;
    std::shared_ptr<SSL_CTX> ctx(SSL_CTX_new(TLS_method()), SSL_CTX_free);
    if (!ctx)
        return nullptr;
    SSL_CTX* c = ctx.get();
    const bool ok = SSL_CTX_set_min_proto_version(c, TLS1_3_VERSION)
                    && SSL_CTX_set_max_proto_version(c, TLS1_3_VERSION)
                    && SSL_CTX_use_certificate(c, identity.Certificate()) == 1
                    && SSL_CTX_use_PrivateKey(c, identity.Key()) == 1 && SSL_CTX_check_private_key(c) == 1
                    && SSL_CTX_set_num_tickets(c, 0) == 1;
    if (!ok) {
        ERR_clear_error();
        return nullptr;
    }
    SSL_CTX_set_verify(c, SSL_VERIFY_PEER, acceptAnyCertificate);
    SSL_CTX_set_options(c, SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_TICKET);
    SSL_CTX_set_session_cache_mode(c, SSL_SESS_CACHE_OFF);
    // Idle links give their record buffers back; a peer's certificate
    // chain is one small certificate, so a large one is refused.
    SSL_CTX_set_mode(c, SSL_MODE_RELEASE_BUFFERS);
    SSL_CTX_set_max_cert_list(c, 16 * 1024);
    return ctx;
}
