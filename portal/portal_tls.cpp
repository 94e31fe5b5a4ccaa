#include "PortalTls.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdlib>
#include <memory>
#include <system_error>

namespace teebasket::portal {
namespace {

namespace fs = std::filesystem;

template <typename T, void (*Free)(T*)>
struct OpenSslDeleter {
    void operator()(T* p) const { Free(p); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, OpenSslDeleter<EVP_PKEY, EVP_PKEY_free>>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, OpenSslDeleter<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;
using X509Ptr = std::unique_ptr<X509, OpenSslDeleter<X509, X509_free>>;
using BignumPtr = std::unique_ptr<BIGNUM, OpenSslDeleter<BIGNUM, BN_free>>;
using ExtensionPtr =
    std::unique_ptr<X509_EXTENSION, OpenSslDeleter<X509_EXTENSION, X509_EXTENSION_free>>;

struct BioDeleter {
    void operator()(BIO* bio) const { BIO_free_all(bio); }
};
using BioPtr = std::unique_ptr<BIO, BioDeleter>;

constexpr long kOneDay = 24L * 60L * 60L;
constexpr long kValidDays = 3650;

std::string OpenSslError(const std::string& what) {
    std::string message = what;
    const unsigned long code = ERR_get_error();
    if (code != 0) {
        char buffer[256];
        ERR_error_string_n(code, buffer, sizeof buffer);
        message += ": ";
        message += buffer;
    }
    ERR_clear_error();
    return message;
}

PkeyPtr GenerateP256Key() {
    PkeyCtxPtr context(EVP_PKEY_CTX_new_id(EVP_PKEY_EC, nullptr));
    EVP_PKEY* key = nullptr;
    if (!context || EVP_PKEY_keygen_init(context.get()) <= 0 ||
        EVP_PKEY_CTX_set_ec_paramgen_curve_nid(context.get(), NID_X9_62_prime256v1) <= 0 ||
        EVP_PKEY_keygen(context.get(), &key) <= 0) {
        return nullptr;
    }
    return PkeyPtr(key);
}

bool SetRandomSerial(X509* certificate) {
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1) {
        return false;
    }
    bytes[0] &= 0x7F;  // a positive serial number
    BignumPtr serial(BN_bin2bn(bytes, sizeof bytes, nullptr));
    return serial &&
           BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(certificate)) != nullptr;
}

bool SetName(X509* certificate) {
    X509_NAME* name = X509_get_subject_name(certificate);
    const auto add = [name](const char* field, const char* value) {
        return X509_NAME_add_entry_by_txt(name, field, MBSTRING_ASC,
                                          reinterpret_cast<const unsigned char*>(value), -1, -1,
                                          0) == 1;
    };
    return add("O", "Teebasket demo portal") && add("CN", "127.0.0.1") &&
           X509_set_issuer_name(certificate, name) == 1;
}

bool AddExtension(X509* certificate, X509V3_CTX& context, int nid, const char* value) {
    ExtensionPtr extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value));
    return extension && X509_add_ext(certificate, extension.get(), -1) == 1;
}

// A self-signed certificate that can stand as its own trust anchor: CA:TRUE,
// with the server names in subjectAltName (clients check only those).
X509Ptr MakeSelfSignedCertificate(EVP_PKEY* key, const std::string& subjectAltNames) {
    X509Ptr certificate(X509_new());
    if (!certificate || X509_set_version(certificate.get(), 2) != 1 ||
        !SetRandomSerial(certificate.get()) ||
        X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -kOneDay) == nullptr ||
        X509_gmtime_adj(X509_getm_notAfter(certificate.get()), kValidDays * kOneDay) == nullptr ||
        X509_set_pubkey(certificate.get(), key) != 1 || !SetName(certificate.get())) {
        return nullptr;
    }
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate.get(), certificate.get(), nullptr, nullptr, 0);
    if (!AddExtension(certificate.get(), context, NID_basic_constraints, "critical,CA:TRUE") ||
        !AddExtension(certificate.get(), context, NID_key_usage,
                      "critical,digitalSignature,keyCertSign") ||
        !AddExtension(certificate.get(), context, NID_ext_key_usage, "serverAuth") ||
        !AddExtension(certificate.get(), context, NID_subject_key_identifier, "hash") ||
        !AddExtension(certificate.get(), context, NID_authority_key_identifier, "keyid:always") ||
        !AddExtension(certificate.get(), context, NID_subject_alt_name, subjectAltNames.c_str())) {
        return nullptr;
    }
    if (X509_sign(certificate.get(), key, EVP_sha256()) <= 0) {
        return nullptr;
    }
    return certificate;
}

// Writes `pem` through a temporary file and renames it into place, so that a
// reader never sees half a file.
template <typename WritePem>
bool WritePemFile(const fs::path& path, bool secret, WritePem writePem, std::string& error) {
    const fs::path temporary = path.string() + ".new";
    {
        BioPtr bio(BIO_new_file(temporary.c_str(), "wb"));
        if (!bio) {
            error = OpenSslError("cannot create " + temporary.string());
            return false;
        }
        if (!writePem(bio.get())) {
            error = OpenSslError("cannot write " + temporary.string());
            bio.reset();
            fs::remove(temporary);
            return false;
        }
    }
    std::error_code ec;
    if (secret) {
        fs::permissions(temporary, fs::perms::owner_read | fs::perms::owner_write,
                        fs::perm_options::replace, ec);
    }
    fs::rename(temporary, path, ec);
    if (ec) {
        error = "cannot rename " + temporary.string() + ": " + ec.message();
        fs::remove(temporary, ec);
        return false;
    }
    return true;
}

}  // namespace

bool WriteSelfSignedCertificate(const TlsFiles& files, const std::string& subjectAltNames,
                                std::string& error) {
    PkeyPtr key = GenerateP256Key();
    if (!key) {
        error = OpenSslError("cannot generate a key");
        return false;
    }
    X509Ptr certificate = MakeSelfSignedCertificate(key.get(), subjectAltNames);
    if (!certificate) {
        error = OpenSslError("cannot make a certificate");
        return false;
    }
    // The key first: a certificate on disk always has its key beside it.
    return WritePemFile(
               files.privateKey, true,
               [&](BIO* bio) {
                   return PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr,
                                                   nullptr) == 1;
               },
               error) &&
           WritePemFile(
               files.certificate, false,
               [&](BIO* bio) { return PEM_write_bio_X509(bio, certificate.get()) == 1; }, error);
}

bool EnsureTlsFiles(const fs::path& dir, TlsFiles& files, std::string& error) {
    files.certificate = dir / "cert.pem";
    files.privateKey = dir / "key.pem";
    std::error_code ec;
    if (fs::is_regular_file(files.certificate, ec) && fs::is_regular_file(files.privateKey, ec)) {
        return true;
    }
    if (!fs::is_directory(dir, ec)) {
        fs::create_directories(dir, ec);
        if (ec) {
            error = "cannot create " + dir.string() + ": " + ec.message();
            return false;
        }
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, ec);
    }
    return WriteSelfSignedCertificate(files, "IP:127.0.0.1,DNS:localhost", error);
}

fs::path DefaultTlsDir() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        return {};
    }
    return fs::path(home) / ".local" / "share" / "teebasket-portal" / "tls";
}

}  // namespace teebasket::portal
