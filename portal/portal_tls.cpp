#include "PortalTls.h"
#include "SystemText.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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

// True when both numbers of the certificate's ECDSA signature take their
// full 32 bytes. Wine's certificate check rejects a signature whose r or s
// is shorter (about one certificate in 128) as not valid.
bool SignatureHasFullLengthNumbers(const X509* certificate) {
    const ASN1_BIT_STRING* signature = nullptr;
    X509_get0_signature(&signature, nullptr, certificate);
    if (signature == nullptr) {
        return false;
    }
    const unsigned char* bytes = ASN1_STRING_get0_data(signature);
    const std::unique_ptr<ECDSA_SIG, OpenSslDeleter<ECDSA_SIG, ECDSA_SIG_free>> numbers(
        d2i_ECDSA_SIG(nullptr, &bytes, ASN1_STRING_length(signature)));
    if (!numbers) {
        return false;
    }
    const BIGNUM* r = nullptr;
    const BIGNUM* s = nullptr;
    ECDSA_SIG_get0(numbers.get(), &r, &s);
    return BN_num_bytes(r) == 32 && BN_num_bytes(s) == 32;
}

// Signs `certificate` with `key`, again while the signature has a short
// number: each ECDSA signature is drawn anew, so a few tries suffice.
bool SignWithFullLengthNumbers(X509* certificate, EVP_PKEY* key) {
    constexpr int kTries = 64;
    for (int i = 0; i < kTries; ++i) {
        if (X509_sign(certificate, key, EVP_sha256()) <= 0) {
            return false;
        }
        if (SignatureHasFullLengthNumbers(certificate)) {
            return true;
        }
    }
    return false;
}

// A self-signed server certificate that clients trust directly. It is no
// certificate authority (CA:FALSE, no keyCertSign), so whoever holds its key
// can never make a certificate for another name that a client trusts.
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
    if (!AddExtension(certificate.get(), context, NID_basic_constraints, "critical,CA:FALSE") ||
        !AddExtension(certificate.get(), context, NID_key_usage, "critical,digitalSignature") ||
        !AddExtension(certificate.get(), context, NID_ext_key_usage, "serverAuth") ||
        !AddExtension(certificate.get(), context, NID_subject_key_identifier, "hash") ||
        !AddExtension(certificate.get(), context, NID_authority_key_identifier, "keyid:always") ||
        !AddExtension(certificate.get(), context, NID_subject_alt_name, subjectAltNames.c_str())) {
        return nullptr;
    }
    if (!SignWithFullLengthNumbers(certificate.get(), key)) {
        return nullptr;
    }
    return certificate;
}

// Creates `path` anew for writing. A secret file is owner-only (0600) from
// its creation on, so it never exists with wider permissions, not even for a
// moment; a file system that does not keep that mode is an error, and the
// file is removed again. Other files get 0644, less the umask.
BioPtr CreatePemFile(const fs::path& path, bool secret, std::string& error) {
    ::unlink(path.c_str());  // a leftover of an interrupted write
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          secret ? 0600 : 0644);
    if (fd < 0) {
        error = "cannot create " + path.string() + ": " + ErrorNumberText(errno);
        return nullptr;
    }
    const auto fail = [&](std::string message) -> BioPtr {
        error = std::move(message);
        ::close(fd);
        ::unlink(path.c_str());
        return nullptr;
    };
    if (secret) {
        struct stat info {};
        if (::fchmod(fd, 0600) != 0 || ::fstat(fd, &info) != 0) {
            return fail("cannot make " + path.string() + " owner-only: " + ErrorNumberText(errno));
        }
        if ((info.st_mode & 077) != 0) {
            return fail("cannot make " + path.string() +
                        " owner-only: the file system keeps it readable by others");
        }
    }
    BioPtr bio(BIO_new_fd(fd, BIO_CLOSE));
    if (!bio) {
        return fail(OpenSslError("cannot write " + path.string()));
    }
    return bio;
}

// Writes `pem` through a temporary file and renames it into place, so that a
// reader never sees half a file. A secret file is created owner-only.
template <typename WritePem>
bool WritePemFile(const fs::path& path, bool secret, WritePem writePem, std::string& error) {
    const fs::path temporary = path.string() + ".new";
    {
        BioPtr bio = CreatePemFile(temporary, secret, error);
        if (!bio) {
            return false;
        }
        if (!writePem(bio.get()) || BIO_flush(bio.get()) != 1) {
            error = OpenSslError("cannot write " + temporary.string());
            bio.reset();
            ::unlink(temporary.c_str());
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temporary, path, ec);
    if (ec) {
        error = "cannot rename " + temporary.string() + ": " + ec.message();
        fs::remove(temporary, ec);
        return false;
    }
    return true;
}

X509Ptr ReadCertificate(const fs::path& path) {
    BioPtr bio(BIO_new_file(path.c_str(), "rb"));
    if (!bio) {
        ERR_clear_error();
        return nullptr;
    }
    X509Ptr certificate(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    ERR_clear_error();
    return certificate;
}

// What is wrong with a certificate and key that exist, or "" when nothing is.
// Earlier builds made an unconstrained certificate authority, which could
// sign a certificate for any host name.
std::string TlsFilesProblem(const TlsFiles& files) {
    struct stat info {};
    if (::stat(files.privateKey.c_str(), &info) == 0 && (info.st_mode & 077) != 0) {
        return files.privateKey.string() + " can be read by other users";
    }
    const X509Ptr certificate = ReadCertificate(files.certificate);
    if (!certificate) {
        return {};  // not ours to judge; loading it will fail with its own message
    }
    const bool authority = X509_check_ca(certificate.get()) != 0;
    NAME_CONSTRAINTS* constraints = static_cast<NAME_CONSTRAINTS*>(
        X509_get_ext_d2i(certificate.get(), NID_name_constraints, nullptr, nullptr));
    NAME_CONSTRAINTS_free(constraints);
    if (authority && constraints == nullptr) {
        return files.certificate.string() +
               " is a certificate authority without name constraints: whoever holds its key "
               "could make certificates for any host";
    }
    return {};
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

bool EnsureTlsFiles(const fs::path& dir, TlsFiles& files, std::string& error,
                    UnsoundTlsFiles unsound) {
    files.certificate = dir / "cert.pem";
    files.privateKey = dir / "key.pem";
    std::error_code ec;
    if (fs::is_regular_file(files.certificate, ec) && fs::is_regular_file(files.privateKey, ec)) {
        const std::string problem = TlsFilesProblem(files);
        if (problem.empty()) {
            return true;
        }
        if (unsound == UnsoundTlsFiles::Refuse) {
            error = problem + "; remove cert.pem and key.pem of " + dir.string() +
                    " to have a sound pair made";
            return false;
        }
        std::fprintf(stderr, "teebasket-portal: %s; making a new certificate\n", problem.c_str());
    }
    if (!fs::is_directory(dir, ec)) {
        fs::create_directories(dir, ec);
        if (ec) {
            error = "cannot create " + dir.string() + ": " + ec.message();
            return false;
        }
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, ec);
    }
    return WriteSelfSignedCertificate(files, kDemoSubjectAltNames, error);
}

fs::path DefaultTlsDir() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        return {};
    }
    return fs::path(home) / ".local" / "share" / "teebasket-portal" / "tls";
}

}  // namespace teebasket::portal
