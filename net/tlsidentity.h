#pragma once
// This instance's TLS identity: its own key (Ed25519) and a self-signed
// certificate, made at first use and kept in one PEM file, readable by the
// owner only. Peers know each other by the certificate's fingerprint, not by
// any authority, so the certificate's names and dates mean nothing.
//
//   std::string error;
//   TTlsIdentity me = TTlsIdentity::LoadOrCreate(TTlsIdentity::DefaultPath(), &error);
//   if (me.IsNull()) ...error...
//   auto ctx = MakeTlsContext(me);     // for TCustomWSocket::StartTls
//   me.Fingerprint();                  // "3F:A0:...": 32 hex pairs

#include <openssl/types.h>

#include <memory>
#include <string>

class TTlsIdentity {
public:
    // $XDG_DATA_HOME/pelmora/identity.pem (~/.local/share when unset).
    static std::string DefaultPath();
    // Reads the identity at `path`, or makes one and writes it there (its
    // folder made as needed, mode 0600, written to a temporary file and
    // renamed, so a crash never leaves half a key). A file that exists but
    // cannot be read as an identity is left alone: the result is null and
    // `error` says why (a new key would silently change who we are).
    static TTlsIdentity LoadOrCreate(const std::string& path, std::string* error);
    // A fresh identity that is never stored (for tests and one-off links).
    static TTlsIdentity Create();

    bool IsNull() const { return !FKey || !FCert; }
    EVP_PKEY* Key() const { return FKey.get(); }
    X509* Certificate() const { return FCert.get(); }
    std::string Fingerprint() const;

private:
    std::shared_ptr<EVP_PKEY> FKey;
    std::shared_ptr<X509> FCert;
};

// SHA-256 of the certificate's DER form as upper-case hex pairs joined by
// ':'; empty for no certificate.
std::string CertificateFingerprint(X509* cert);

// A TLS 1.3-only context presenting `identity`, for both ends of a link:
// the peer must show a certificate, any certificate (its fingerprint is
// checked by the owner against what it pinned); no renegotiation, no
// session tickets, no resumption. Null when the identity is null.
std::shared_ptr<SSL_CTX> MakeTlsContext(const TTlsIdentity& identity);
