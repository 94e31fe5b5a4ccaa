#include "TestCertificates.h"

#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

namespace teebasket::test {
namespace {

namespace fs = std::filesystem;

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateFree {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct FileClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Certificate = std::unique_ptr<X509, CertificateFree>;
using File = std::unique_ptr<std::FILE, FileClose>;

void Check(bool ok, const std::string& what) {
    if (!ok) {
        throw std::runtime_error("test certificate: " + what);
    }
}

File Open(const fs::path& path, const char* mode) {
    File file(std::fopen(path.c_str(), mode));
    Check(file != nullptr, "cannot open " + path.string());
    return file;
}

Key NewKey() {
    Key key(EVP_EC_gen("P-256"));
    Check(key != nullptr, "cannot make a key");
    return key;
}

Key ReadKey(const fs::path& path) {
    Key key(PEM_read_PrivateKey(Open(path, "r").get(), nullptr, nullptr, nullptr));
    Check(key != nullptr, "cannot read " + path.string());
    return key;
}

Certificate ReadCertificate(const fs::path& path) {
    Certificate certificate(PEM_read_X509(Open(path, "r").get(), nullptr, nullptr, nullptr));
    Check(certificate != nullptr, "cannot read " + path.string());
    return certificate;
}

void AddExtension(X509* certificate, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    Check(extension != nullptr && X509_add_ext(certificate, extension, -1) == 1,
          std::string("cannot add ") + value);
    X509_EXTENSION_free(extension);
}

// A version-3 certificate for `key` with a fixed serial number, valid from a
// day ago for a year, named `commonName`.
Certificate NewCertificate(EVP_PKEY* key, const char* commonName) {
    Certificate certificate(X509_new());
    Check(certificate != nullptr && X509_set_version(certificate.get(), 2) == 1 &&
              ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 4242) == 1 &&
              X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -86400) != nullptr &&
              X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 365L * 86400) != nullptr &&
              X509_set_pubkey(certificate.get(), key) == 1,
          "cannot fill a certificate");
    X509_NAME* name = X509_get_subject_name(certificate.get());
    Check(X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                     reinterpret_cast<const unsigned char*>(commonName), -1, -1,
                                     0) == 1,
          "cannot name a certificate");
    return certificate;
}

void Write(const CertificateFiles& files, X509* certificate, EVP_PKEY* key) {
    Check(PEM_write_X509(Open(files.certificate, "w").get(), certificate) == 1,
          "cannot write " + files.certificate.string());
    Check(PEM_write_PrivateKey(Open(files.privateKey, "w").get(), key, nullptr, nullptr, 0, nullptr,
                               nullptr) == 1,
          "cannot write " + files.privateKey.string());
    fs::permissions(files.privateKey, fs::perms::owner_read | fs::perms::owner_write);
}

}  // namespace

void WriteUnconstrainedAuthority(const CertificateFiles& files) {
    const Key key = NewKey();
    const Certificate certificate = NewCertificate(key.get(), "127.0.0.1");
    X509* self = certificate.get();
    Check(X509_set_issuer_name(self, X509_get_subject_name(self)) == 1, "cannot set the issuer");
    AddExtension(self, self, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(self, self, NID_key_usage, "critical,digitalSignature,keyCertSign");
    AddExtension(self, self, NID_subject_key_identifier, "hash");
    AddExtension(self, self, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
    Check(X509_sign(self, key.get(), EVP_sha256()) > 0, "cannot sign");
    Write(files, self, key.get());
}

void WriteCertificateSignedBy(const CertificateFiles& issuer, const CertificateFiles& files,
                              const char* subjectAltNames) {
    const Key issuerKey = ReadKey(issuer.privateKey);
    const Certificate issuerCertificate = ReadCertificate(issuer.certificate);
    const Key key = NewKey();
    const Certificate certificate = NewCertificate(key.get(), "impostor");
    Check(X509_set_issuer_name(certificate.get(), X509_get_subject_name(issuerCertificate.get())) ==
              1,
          "cannot set the issuer");
    AddExtension(certificate.get(), issuerCertificate.get(), NID_basic_constraints, "CA:FALSE");
    AddExtension(certificate.get(), issuerCertificate.get(), NID_ext_key_usage, "serverAuth");
    AddExtension(certificate.get(), issuerCertificate.get(), NID_subject_alt_name, subjectAltNames);
    Check(X509_sign(certificate.get(), issuerKey.get(), EVP_sha256()) > 0, "cannot sign");
    Write(files, certificate.get(), key.get());
}

bool IsCertificateAuthority(const fs::path& certificate) {
    return X509_check_ca(ReadCertificate(certificate).get()) != 0;
}

int ShortestSignatureNumber(const fs::path& certificate) {
    const Certificate read = ReadCertificate(certificate);
    const ASN1_BIT_STRING* signature = nullptr;
    X509_get0_signature(&signature, nullptr, read.get());
    const unsigned char* bytes = ASN1_STRING_get0_data(signature);
    ECDSA_SIG* numbers = d2i_ECDSA_SIG(nullptr, &bytes, ASN1_STRING_length(signature));
    if (numbers == nullptr) {
        throw std::runtime_error("not an ECDSA signature: " + certificate.string());
    }
    const BIGNUM* r = nullptr;
    const BIGNUM* s = nullptr;
    ECDSA_SIG_get0(numbers, &r, &s);
    const int shortest = std::min(BN_num_bytes(r), BN_num_bytes(s));
    ECDSA_SIG_free(numbers);
    return shortest;
}

}  // namespace teebasket::test
