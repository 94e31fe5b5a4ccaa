// TestCertificates: certificates that the demo portal would never make, for
// the tests of what a client trusts. Needs OpenSSL; no Qt.
#pragma once

#include <filesystem>

namespace teebasket::test {

struct CertificateFiles {
    std::filesystem::path certificate;  // PEM
    std::filesystem::path privateKey;   // PEM
};

// A self-signed certificate authority without name constraints for
// 127.0.0.1 and localhost, as earlier builds of the portal made it.
// Throws std::runtime_error on failure.
void WriteUnconstrainedAuthority(const CertificateFiles& files);

// A fresh key and a server certificate for `subjectAltNames` (OpenSSL's
// notation) that names `issuer`'s certificate as its issuer and is signed with
// `issuer`'s key. Throws std::runtime_error on failure.
void WriteCertificateSignedBy(const CertificateFiles& issuer, const CertificateFiles& files,
                              const char* subjectAltNames);

// True when `certificate` (a PEM file) may sign other certificates.
bool IsCertificateAuthority(const std::filesystem::path& certificate);

// The byte length of the shorter of the two numbers (r, s) of the ECDSA
// signature of `certificate` (a PEM file). Throws std::runtime_error when it
// is not signed with ECDSA.
int ShortestSignatureNumber(const std::filesystem::path& certificate);

}  // namespace teebasket::test
