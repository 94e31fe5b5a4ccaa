// PortalTls: the demo portal's own certificate.
//
// The portal answers over HTTPS with a self-signed server certificate for
// 127.0.0.1, ::1 and localhost. Clients trust it by adding DIR/cert.pem to
// their trusted certificates (golf.ini [Portal] CACertificate, curl --cacert).
// It is no certificate authority: it vouches for those names and nothing
// else, and its key file is created readable by its owner only.
#pragma once

#include <filesystem>
#include <string>

namespace teebasket::portal {

struct TlsFiles {
    std::filesystem::path certificate;  // DIR/cert.pem
    std::filesystem::path privateKey;   // DIR/key.pem
};

// The names the demo certificate is made for, in OpenSSL's notation.
inline constexpr const char* kDemoSubjectAltNames = "IP:127.0.0.1,IP:::1,DNS:localhost";

// What EnsureTlsFiles does with an existing pair that is not sound: a
// certificate authority without name constraints (as earlier builds made), or
// a key file that other users can read.
enum class UnsoundTlsFiles {
    Replace,  // make a fresh pair in its place (the portal's own default folder)
    Refuse    // fail and say why (a folder the user named)
};

// The certificate and key files of `dir`. When either is missing, creates the
// folder (owner-only) and a fresh self-signed P-256 certificate for the demo
// names, valid for ten years; a sound existing pair is used as it is.
// Returns false and fills `error` (UTF-8) when the files cannot be made or an
// unsound pair is refused.
bool EnsureTlsFiles(const std::filesystem::path& dir, TlsFiles& files, std::string& error,
                    UnsoundTlsFiles unsound = UnsoundTlsFiles::Refuse);

// Writes a fresh key (mode 0600 from its creation on) and a self-signed
// server certificate for `subjectAltNames` (OpenSSL's notation, e.g.
// "IP:127.0.0.1,DNS:localhost") to `files`.
bool WriteSelfSignedCertificate(const TlsFiles& files, const std::string& subjectAltNames,
                                std::string& error);

// The folder the portal keeps its certificate in when no --tls-dir is given:
// ~/.local/share/teebasket-portal/tls (empty when HOME is not set).
std::filesystem::path DefaultTlsDir();

}  // namespace teebasket::portal
