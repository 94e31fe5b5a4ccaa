// PortalTls: the demo portal's own certificate.
//
// The portal answers over HTTPS with a self-signed certificate for 127.0.0.1
// and localhost. Clients trust it by adding DIR/cert.pem to their trusted
// certificates (golf.ini [Portal] CACertificate, curl --cacert).
#pragma once

#include <filesystem>
#include <string>

namespace teebasket::portal {

struct TlsFiles {
    std::filesystem::path certificate;  // DIR/cert.pem
    std::filesystem::path privateKey;   // DIR/key.pem
};

// The certificate and key files of `dir`. When either is missing, creates the
// folder (owner-only) and a fresh self-signed P-256 certificate for 127.0.0.1
// and localhost, valid for ten years; existing files are used as they are.
// Returns false and fills `error` (UTF-8) when the files cannot be made.
bool EnsureTlsFiles(const std::filesystem::path& dir, TlsFiles& files, std::string& error);

// Writes a fresh key and a self-signed certificate for `subjectAltNames`
// (OpenSSL's notation, e.g. "IP:127.0.0.1,DNS:localhost") to `files`.
bool WriteSelfSignedCertificate(const TlsFiles& files, const std::string& subjectAltNames,
                                std::string& error);

// The folder the portal keeps its certificate in when no --tls-dir is given:
// ~/.local/share/teebasket-portal/tls (empty when HOME is not set).
std::filesystem::path DefaultTlsDir();

}  // namespace teebasket::portal
