#pragma once
// The hubs' keys as first met: one line per hub address with the
// fingerprint of the certificate it showed (CertificateFingerprint), as
//   192.0.2.7 3F:A0:...:9C
// Lines that are not of that form are kept as they are. A hub that shows
// another key than the one pinned is never trusted silently: Meet reports
// it and changes nothing; only Pin (the user's consent) replaces the pin.
//
//   TKnownHubs hubs(TKnownHubs::DefaultPath());
//   switch (hubs.Meet(address, sock.TlsPeerFingerprint())) { ... }

#include <string>

class TKnownHubs {
public:
    enum class TTrust {
        New,     // never met: now pinned
        Known,   // the pinned key
        Changed, // another key than the pinned one: nothing was written
        Failed,  // a malformed address or fingerprint, or the file could not be written
    };

    // $XDG_DATA_HOME/pelmora/known_hubs (~/.local/share when unset).
    static std::string DefaultPath();
    explicit TKnownHubs(std::string path) : FPath(std::move(path)) { }

    // The fingerprint pinned for `address`, empty if none.
    std::string Lookup(const std::string& address) const;
    // First contact pins; a pinned address is compared.
    TTrust Meet(const std::string& address, const std::string& fingerprint);
    // Pins `fingerprint` for `address`, replacing any pin it had.
    bool Pin(const std::string& address, const std::string& fingerprint);
    // Removes the pin of `address` (the next contact pins afresh): the
    // fingerprint it had, empty when there was none or the file could not
    // be written.
    std::string Forget(const std::string& address);

    // A fingerprint as CertificateFingerprint writes it (32 upper-case hex
    // pairs joined by ':').
    static bool IsFingerprint(const std::string& text);

private:
    // The file's text without the lines of `address`; the first one's
    // fingerprint in removed.
    std::string without(const std::string& address, std::string* removed) const;

    std::string FPath;
};
