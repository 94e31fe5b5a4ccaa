// PageFetcher against a real teebasket-portal on 127.0.0.1: what the server
// receives, what lands in the scratch file, and that every failure leaves no
// scratch file behind.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "FetchOnce.h"
#include "PortalTls.h"
#include "TestCertificates.h"
#include "TestSupport.h"
#include "Unicommon.h"

namespace teebasket {
namespace {

namespace fs = std::filesystem;
using test::PortalProcess;
using test::ReadFileBytes;
using test::TempDir;

// The bytes of the portal's x-bytes-N answer: a 64-byte line repeated.
std::string PatternBytes(std::size_t size) {
    static const std::string line =
        "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-\n";
    std::string bytes;
    while (bytes.size() < size) {
        bytes += line;
    }
    bytes.resize(size);
    return bytes;
}

// Short limits so that every stall ends in seconds.
FetchOptions QuickOptions(const fs::path& certificate) {
    FetchOptions options;
    options.caCertificateFile = certificate;
    options.connectTimeout = std::chrono::seconds(3);
    options.lowSpeedTime = std::chrono::seconds(1);
    options.totalTimeout = std::chrono::seconds(60);
    return options;
}

class PageFetcherTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { portal_ = std::make_unique<PortalProcess>(); }
    static void TearDownTestSuite() { portal_.reset(); }

    std::string Url(const std::string& id) const {
        return portal_->baseUrl() + "/guide/disp/c_id/" + id;
    }

    FetchResult Fetch(const std::string& url, std::optional<FetchOptions> options = {}) {
        return FetchOnce(url, scratch_, agents_,
                         options.value_or(QuickOptions(portal_->certificate())));
    }

    // Stores a first page, so a failure that left it would be seen.
    void StoreEarlierPage() {
        ASSERT_TRUE(Fetch(Url("x-bytes-10")).Stored());
        ASSERT_TRUE(fs::exists(scratch_));
    }

    // Nothing is left in the folder: no scratch file and no temporary file.
    void ExpectNoScratchFile() const {
        EXPECT_FALSE(fs::exists(scratch_));
        EXPECT_TRUE(test::ListFolder(dir_.path()).empty());
    }

    static std::unique_ptr<PortalProcess> portal_;
    TempDir dir_;
    fs::path scratch_ = dir_.path() / "tmp.dat";
    UserAgentGenerator agents_;
};

std::unique_ptr<PortalProcess> PageFetcherTest::portal_;

// --- What the server receives ---------------------------------------------

TEST_F(PageFetcherTest, ServerReceivesTheAgentSequenceOfAFreshGenerator) {
    const std::size_t expected[] = {0, 0, 4, 1, 1, 3, 1, 0, 1, 2};
    const std::size_t before = portal_->requests().size();
    for (std::size_t index : expected) {
        const FetchResult result = Fetch(Url("x-echo-agent"));
        ASSERT_TRUE(result.Stored()) << result.detail;
        EXPECT_EQ(ReadFileBytes(scratch_), UserAgentTable[index]);
    }
    const std::vector<test::PortalRequest> requests = portal_->requests();
    ASSERT_EQ(requests.size(), before + std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const test::PortalRequest& request = requests[before + i];
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.target, "/guide/disp/c_id/x-echo-agent");
        EXPECT_EQ(request.userAgent, UserAgentTable[expected[i]]) << "request " << i;
    }
}

TEST_F(PageFetcherTest, FailedCallsDrawTheirAgentToo) {
    EXPECT_EQ(Fetch("").status, FetchStatus::InvalidUrl);
    EXPECT_EQ(Fetch("http://" + portal_->host() + "/").status, FetchStatus::InvalidUrl);
    EXPECT_EQ(Fetch(Url("x-reset")).status, FetchStatus::TransferFailed);
    // The fourth draw of a fresh generator is index 1.
    ASSERT_TRUE(Fetch(Url("x-echo-agent")).Stored());
    EXPECT_EQ(ReadFileBytes(scratch_), UserAgentTable[1]);
}

TEST_F(PageFetcherTest, ProxyVariablesOfTheEnvironmentAreIgnored) {
    const test::ClosedLoopbackPort closed;
    const std::string deadProxy = "http://" + closed.host();
    for (const char* name : {"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
        ::setenv(name, deadProxy.c_str(), 1);
    }
    const FetchResult result = Fetch(Url("x-bytes-10"));
    for (const char* name : {"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
        ::unsetenv(name);
    }
    EXPECT_TRUE(result.Stored()) << result.detail;
}

// --- What lands in the scratch file ---------------------------------------

TEST_F(PageFetcherTest, BodiesAreStoredByteForByte) {
    struct Case {
        std::string id;
        std::string body;
    };
    std::string zeroes(3000, '\0');
    for (std::size_t i = 0; i < zeroes.size(); ++i) {
        zeroes[i] = static_cast<char>(i % 256);
    }
    const Case cases[] = {
        {"x-bytes-1000", PatternBytes(1000)},  // one read buffer of the original client
        {"x-bytes-1001", PatternBytes(1001)},
        {"x-chunked-70000", PatternBytes(70000)},
        {"x-empty", ""},
        {"x-zero", zeroes},  // zero bytes kept, every byte value
        {"x-redirect-https", PatternBytes(1000)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        const FetchResult result = Fetch(Url(c.id));
        ASSERT_TRUE(result.Stored()) << result.detail;
        EXPECT_EQ(result.httpStatus, 200);
        EXPECT_EQ(result.bodyBytes, c.body.size());
        EXPECT_EQ(ReadFileBytes(scratch_), c.body);
        EXPECT_EQ(test::ListFolder(dir_.path()), std::vector<std::string>{"tmp.dat"});
    }
}

TEST_F(PageFetcherTest, ErrorStatusBodiesAreStoredLikeAnyPage) {
    const FetchResult notFound = Fetch(Url("no-such-course"));
    ASSERT_TRUE(notFound.Stored()) << notFound.detail;
    EXPECT_EQ(notFound.httpStatus, 404);
    const std::string page = ReadFileBytes(scratch_);
    EXPECT_NE(page.find("404"), std::string::npos);
    EXPECT_EQ(page.size(), notFound.bodyBytes);

    const FetchResult serverError = Fetch(Url("x-status-500"));
    ASSERT_TRUE(serverError.Stored()) << serverError.detail;
    EXPECT_EQ(serverError.httpStatus, 500);
    EXPECT_NE(ReadFileBytes(scratch_).find("500"), std::string::npos);
}

TEST_F(PageFetcherTest, ALaterPageReplacesAnEarlierOneWhole) {
    ASSERT_TRUE(Fetch(Url("x-bytes-5000")).Stored());
    ASSERT_TRUE(Fetch(Url("x-bytes-10")).Stored());
    EXPECT_EQ(ReadFileBytes(scratch_), PatternBytes(10));
}

TEST_F(PageFetcherTest, ALinkInPlaceOfTheScratchFileIsReplacedNotWrittenThrough) {
    const fs::path elsewhere = dir_.path() / "elsewhere.txt";
    test::WriteFileBytes(elsewhere, "keep me");
    fs::create_symlink(elsewhere, scratch_);
    ASSERT_TRUE(Fetch(Url("x-bytes-100")).Stored());
    EXPECT_FALSE(fs::is_symlink(scratch_));
    EXPECT_EQ(ReadFileBytes(scratch_), PatternBytes(100));
    EXPECT_EQ(ReadFileBytes(elsewhere), "keep me");
    EXPECT_EQ(test::ListFolder(dir_.path()),
              (std::vector<std::string>{"elsewhere.txt", "tmp.dat"}));
}

TEST_F(PageFetcherTest, SlowButSteadyBodyIsStored) {
    FetchOptions options = QuickOptions(portal_->certificate());
    options.lowSpeedTime = std::chrono::seconds(5);
    const FetchResult result = Fetch(Url("x-trickle"), options);
    ASSERT_TRUE(result.Stored()) << result.detail;
    EXPECT_EQ(ReadFileBytes(scratch_), PatternBytes(40));
}

TEST_F(PageFetcherTest, BodyOfExactlyTheLimitIsStored) {
    FetchOptions options = QuickOptions(portal_->certificate());
    options.maxBodyBytes = 100000;
    EXPECT_TRUE(Fetch(Url("x-bytes-100000"), options).Stored());
    EXPECT_TRUE(Fetch(Url("x-chunked-100000"), options).Stored());
    EXPECT_EQ(fs::file_size(scratch_), 100000u);
}

// --- Failures leave no scratch file ---------------------------------------

TEST_F(PageFetcherTest, UnreachablePortLeavesNoScratchFile) {
    StoreEarlierPage();
    const test::ClosedLoopbackPort closed;
    const FetchResult result = Fetch("https://" + closed.host() + "/doc/area/tokyo/");
    EXPECT_EQ(result.status, FetchStatus::Unreachable) << result.detail;
    EXPECT_TRUE(result.transient);  // a refused connection may be accepted later
    EXPECT_EQ(result.error, FetchError::Refused);
    EXPECT_FALSE(result.detail.empty());
    ExpectNoScratchFile();
}

TEST_F(PageFetcherTest, UntrustedCertificatesLeaveNoScratchFile) {
    PortalProcess stranger;  // its own, different certificate
    const fs::path missing = dir_.path() / "missing.pem";
    struct Case {
        const char* what;
        fs::path trusted;
        FetchError error;
    };
    const Case cases[] = {
        {"system store only", {}, FetchError::CertificateNotTrusted},
        {"another portal's certificate", stranger.certificate(), FetchError::CertificateNotTrusted},
        {"a certificate file that does not exist", missing, FetchError::TrustedFileMissing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StoreEarlierPage();
        FetchOptions options = QuickOptions(c.trusted);
        const FetchResult result = Fetch(Url("x-bytes-10"), options);
        EXPECT_EQ(result.status, FetchStatus::TlsFailed) << result.detail;
        EXPECT_EQ(result.error, c.error) << result.detail;
        ExpectNoScratchFile();
    }
}

TEST_F(PageFetcherTest, TrustedCertificateForAnotherHostIsRefused) {
    TempDir tls;
    const portal::TlsFiles files{tls.path() / "cert.pem", tls.path() / "key.pem"};
    std::string error;
    ASSERT_TRUE(portal::WriteSelfSignedCertificate(files, "DNS:portal.example", error)) << error;
    PortalProcess impostor({.tlsDir = tls.path()});

    StoreEarlierPage();
    const FetchResult result = FetchOnce(impostor.baseUrl() + "/guide/disp/c_id/x-bytes-10",
                                         scratch_, agents_, QuickOptions(impostor.certificate()));
    EXPECT_EQ(result.status, FetchStatus::TlsFailed) << result.detail;
    EXPECT_EQ(result.error, FetchError::NameMismatch) << result.detail;
    ExpectNoScratchFile();
}

// Whoever holds the demo portal's key can sign a certificate for another
// host; a client that trusts the demo certificate must not accept it.
TEST_F(PageFetcherTest, ACertificateSignedWithTheDemoKeyIsRefused) {
    const TempDir forged;
    const test::CertificateFiles demo{portal_->certificate(),
                                      portal_->certificate().parent_path() / "key.pem"};
    const char* names = "DNS:portal.example,IP:127.0.0.1";
    test::WriteCertificateSignedBy(demo, {forged.path() / "cert.pem", forged.path() / "key.pem"},
                                   names);
    PortalProcess impostor({.tlsDir = forged.path()});
    const std::string url = impostor.baseUrl() + "/guide/disp/c_id/x-bytes-10";

    StoreEarlierPage();
    const FetchResult result = FetchOnce(url, scratch_, agents_, QuickOptions(demo.certificate));
    EXPECT_EQ(result.status, FetchStatus::TlsFailed) << result.detail;
    ExpectNoScratchFile();

    // The same forgery with a certificate authority as earlier builds made it
    // goes through: the refusal above is owed to the demo certificate alone.
    const TempDir authorityDir;
    const test::CertificateFiles authority{authorityDir.path() / "cert.pem",
                                           authorityDir.path() / "key.pem"};
    test::WriteUnconstrainedAuthority(authority);
    const TempDir forgedByAuthority;
    test::WriteCertificateSignedBy(
        authority, {forgedByAuthority.path() / "cert.pem", forgedByAuthority.path() / "key.pem"},
        names);
    PortalProcess trustedImpostor({.tlsDir = forgedByAuthority.path()});
    EXPECT_TRUE(FetchOnce(trustedImpostor.baseUrl() + "/guide/disp/c_id/x-bytes-10", scratch_,
                          agents_, QuickOptions(authority.certificate))
                    .Stored());
}

// Wine's certificate check takes an ECDSA signature whose r or s is shorter
// than 32 bytes for a broken one; about one signature in 128 is. A run of
// certificates all of full length shows the portal draws them again.
TEST(DemoCertificate, ItsSignatureNumbersTakeTheirFullLength) {
    const TempDir folder;
    const portal::TlsFiles files{folder.path() / "cert.pem", folder.path() / "key.pem"};
    for (int i = 0; i < 600; ++i) {
        fs::remove(files.privateKey);
        fs::remove(files.certificate);
        std::string error;
        ASSERT_TRUE(portal::WriteSelfSignedCertificate(files, portal::kDemoSubjectAltNames, error))
            << error;
        ASSERT_EQ(test::ShortestSignatureNumber(files.certificate), 32) << "certificate " << i;
    }
}

TEST_F(PageFetcherTest, TheDemoCertificateIsTrustedUnderBothOfItsNames) {
    const std::string viaName =
        "https://localhost:" + std::to_string(portal_->port()) + "/guide/disp/c_id/x-bytes-10";
    const FetchResult result = Fetch(viaName);
    EXPECT_TRUE(result.Stored()) << result.detail;
}

TEST_F(PageFetcherTest, StalledServerLeavesNoScratchFile) {
    for (const char* id : {"x-stall-head", "x-stall-body"}) {
        SCOPED_TRACE(id);
        StoreEarlierPage();
        const FetchResult result = Fetch(Url(id));
        EXPECT_EQ(result.status, FetchStatus::TimedOut) << result.detail;
        EXPECT_TRUE(result.transient);
        ExpectNoScratchFile();
    }
}

TEST_F(PageFetcherTest, ServerThatNeverAnswersTheHandshakeIsUnreachable) {
    // A socket that listens but never accepts: the TCP connection is made by
    // the kernel, the TLS handshake never gets an answer.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);

    StoreEarlierPage();
    FetchOptions options = QuickOptions(portal_->certificate());
    options.connectTimeout = std::chrono::seconds(1);
    const FetchResult result =
        Fetch("https://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/", options);
    ::close(listener);
    EXPECT_EQ(result.status, FetchStatus::Unreachable) << result.detail;
    ExpectNoScratchFile();
}

TEST_F(PageFetcherTest, BrokenTransfersLeaveNoScratchFile) {
    struct Case {
        const char* id;
        bool transient;
    };
    // A reset or a body cut short may well go through the next time; a
    // redirect loop will not.
    for (const Case& c :
         {Case{"x-reset", true}, Case{"x-truncate", true}, Case{"x-redirect-loop", false}}) {
        SCOPED_TRACE(c.id);
        StoreEarlierPage();
        const FetchResult result = Fetch(Url(c.id));
        EXPECT_EQ(result.status, FetchStatus::TransferFailed) << result.detail;
        EXPECT_EQ(result.transient, c.transient);
        ExpectNoScratchFile();
    }
}

TEST_F(PageFetcherTest, WholeCallTimeOutEndsATrickle) {
    StoreEarlierPage();
    FetchOptions options = QuickOptions(portal_->certificate());
    options.totalTimeout = std::chrono::milliseconds(1500);
    const FetchResult result = Fetch(Url("x-trickle"), options);
    EXPECT_EQ(result.status, FetchStatus::TimedOut) << result.detail;
    ExpectNoScratchFile();
}

TEST_F(PageFetcherTest, BodyOverTheLimitLeavesNoScratchFile) {
    FetchOptions options = QuickOptions(portal_->certificate());
    options.maxBodyBytes = 100000;
    // Announced by Content-Length, and only found out while reading.
    for (const char* id : {"x-bytes-100001", "x-chunked-100001"}) {
        SCOPED_TRACE(id);
        StoreEarlierPage();
        const FetchResult result = Fetch(Url(id), options);
        EXPECT_EQ(result.status, FetchStatus::TooLarge) << result.detail;
        EXPECT_FALSE(result.transient);
        ExpectNoScratchFile();
    }
}

TEST_F(PageFetcherTest, RedirectToPlainHttpIsRefused) {
    StoreEarlierPage();
    const std::size_t before = portal_->requests().size();
    const FetchResult result = Fetch(Url("x-redirect-http"));
    EXPECT_EQ(result.status, FetchStatus::InsecureRedirect) << result.detail;
    EXPECT_EQ(result.httpStatus, 302);
    EXPECT_NE(result.detail.find("http://"), std::string::npos) << result.detail;
    ExpectNoScratchFile();
    // Only the redirecting request reached the portal.
    EXPECT_EQ(portal_->requests().size(), before + 1);
}

// libcurl reports an answer without a status line as it reports a redirect
// to another scheme; the two must not be mistaken for each other.
TEST_F(PageFetcherTest, AnAnswerWithoutAStatusLineIsABrokenAnswer) {
    StoreEarlierPage();
    const FetchResult result = Fetch(Url("x-not-http"));
    EXPECT_EQ(result.status, FetchStatus::TransferFailed) << result.detail;
    EXPECT_EQ(result.error, FetchError::BrokenAnswer) << result.detail;
    EXPECT_FALSE(result.transient);
    ExpectNoScratchFile();
}

TEST_F(PageFetcherTest, AddressesThatAreNotHttpsAreNeverRequested) {
    for (const std::string& url :
         {std::string(), "http://" + portal_->host() + "/guide/disp/c_id/x-bytes-10",
          "ftp://" + portal_->host() + "/", std::string("https://"), std::string("not an address"),
          "HTTPS://" + portal_->host() + "/guide/disp/c_id/x-bytes-10 extra"}) {
        SCOPED_TRACE(url);
        StoreEarlierPage();
        const std::size_t stored = portal_->requests().size();
        const FetchResult result = Fetch(url);
        EXPECT_EQ(result.status, FetchStatus::InvalidUrl) << result.detail;
        ExpectNoScratchFile();
        EXPECT_EQ(portal_->requests().size(), stored);
    }
}

TEST_F(PageFetcherTest, SchemeIsReadWithoutRegardToCase) {
    const FetchResult result = Fetch("HTTPS://" + portal_->host() + "/guide/disp/c_id/x-bytes-10");
    EXPECT_TRUE(result.Stored()) << result.detail;
}

TEST_F(PageFetcherTest, ScratchFileThatCannotBeWrittenIsReported) {
    const fs::path inMissingFolder = dir_.path() / "missing" / "tmp.dat";
    const FetchResult missing = FetchOnce(Url("x-bytes-10"), inMissingFolder, agents_,
                                          QuickOptions(portal_->certificate()));
    EXPECT_EQ(missing.status, FetchStatus::ScratchNotWritten) << missing.detail;
    EXPECT_FALSE(fs::exists(dir_.path() / "missing"));

    // A folder where the scratch file should be is kept, and nothing is left
    // beside it.
    const fs::path folder = dir_.path() / "tmp.dat";
    fs::create_directory(folder);
    test::WriteFileBytes(folder / "keep", "x");
    const FetchResult blocked = Fetch(Url("x-bytes-10"));
    EXPECT_EQ(blocked.status, FetchStatus::ScratchNotWritten) << blocked.detail;
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(test::ListFolder(dir_.path()), std::vector<std::string>{"tmp.dat"});
}

TEST_F(PageFetcherTest, ReadOnlyFolderIsReported) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes into read-only folders";
    }
    fs::permissions(dir_.path(), fs::perms::owner_read | fs::perms::owner_exec,
                    fs::perm_options::replace);
    const FetchResult result = Fetch(Url("x-bytes-10"));
    fs::permissions(dir_.path(), fs::perms::owner_all, fs::perm_options::replace);
    EXPECT_EQ(result.status, FetchStatus::ScratchNotWritten) << result.detail;
    ExpectNoScratchFile();
}

// --- A stop, and what the answer says about trying again --------------------

// A stop request that a test sets from another thread.
class TestStop : public FetchStop {
  public:
    bool StopRequested() const override { return requested.load(); }
    std::atomic<bool> requested{false};
};

TEST_F(PageFetcherTest, AStopEndsAStalledDownloadAndLeavesNoScratchFile) {
    // Time-outs far beyond the test's patience: only the stop can end these.
    FetchOptions options = QuickOptions(portal_->certificate());
    options.lowSpeedTime = std::chrono::seconds(600);
    options.totalTimeout = std::chrono::seconds(600);
    for (const char* id : {"x-stall-head", "x-stall-body", "x-trickle"}) {
        SCOPED_TRACE(id);
        StoreEarlierPage();
        const std::size_t before = portal_->requests().size();
        TestStop stop;
        std::thread stopper([&] {
            // Once the portal holds the request, the download is under way.
            // (Without it the fetch has already failed, and the test says so.)
            test::WaitUntil([&] { return portal_->requests().size() > before; });
            stop.requested = true;
        });
        const auto started = std::chrono::steady_clock::now();
        const FetchResult result = FetchOnce(Url(id), scratch_, agents_, options, &stop);
        const auto took = std::chrono::steady_clock::now() - started;
        stopper.join();
        EXPECT_EQ(result.status, FetchStatus::Stopped) << result.detail;
        EXPECT_FALSE(result.transient);
        EXPECT_LT(took, std::chrono::seconds(10));  // far below the time-outs
        ExpectNoScratchFile();
    }
}

TEST_F(PageFetcherTest, AStopRequestedBeforehandSendsNothing) {
    StoreEarlierPage();
    const std::size_t before = portal_->requests().size();
    TestStop stop;
    stop.requested = true;
    const FetchResult result = FetchOnce(Url("x-bytes-10"), scratch_, agents_,
                                         QuickOptions(portal_->certificate()), &stop);
    EXPECT_EQ(result.status, FetchStatus::Stopped);
    ExpectNoScratchFile();
    EXPECT_EQ(portal_->requests().size(), before);
}

TEST_F(PageFetcherTest, RetryAfterOfTheAnswerIsReported) {
    // x-flaky-K-...: the first K requests of the path fail; a path of its own
    // per case.
    const FetchResult seconds = Fetch(Url("x-flaky-1-503-after-7-a"));
    ASSERT_TRUE(seconds.Stored()) << seconds.detail;
    EXPECT_EQ(seconds.httpStatus, 503);
    EXPECT_EQ(seconds.retryAfter, std::chrono::seconds(7));
    EXPECT_FALSE(seconds.transient);  // statuses are judged by the caller

    const FetchResult date = Fetch(Url("x-flaky-1-429-at-30-b"));
    ASSERT_TRUE(date.Stored()) << date.detail;
    EXPECT_EQ(date.httpStatus, 429);
    ASSERT_TRUE(date.retryAfter.has_value());
    // The date has whole seconds, and a second may pass on the way.
    EXPECT_GE(*date.retryAfter, std::chrono::seconds(28));
    EXPECT_LE(*date.retryAfter, std::chrono::seconds(30));

    const FetchResult none = Fetch(Url("x-status-503"));
    EXPECT_EQ(none.httpStatus, 503);
    EXPECT_FALSE(none.retryAfter.has_value());
}

TEST(RetryAfterTest, SecondsOrAnHttpDate) {
    // Wed, 21 Oct 2015 07:28:00 GMT
    const auto now = std::chrono::system_clock::from_time_t(1445412480);
    using std::chrono::seconds;
    EXPECT_EQ(ParseRetryAfter("120", now), seconds(120));
    EXPECT_EQ(ParseRetryAfter(" 0 ", now), seconds(0));
    EXPECT_EQ(ParseRetryAfter("99999999999999999999", now), seconds(86400));
    EXPECT_EQ(ParseRetryAfter("Wed, 21 Oct 2015 07:28:30 GMT", now), seconds(30));
    EXPECT_EQ(ParseRetryAfter("Wednesday, 21-Oct-15 07:29:00 GMT", now), seconds(60));
    EXPECT_EQ(ParseRetryAfter("Wed, 21 Oct 2015 07:27:00 GMT", now), seconds(0));  // past
    // Dates a day or more ahead wait a day; those after 2262 do not fit the
    // clock's nanoseconds, and wrapped around into the past.
    EXPECT_EQ(ParseRetryAfter("Thu, 22 Oct 2015 07:27:59 GMT", now), seconds(86399));
    EXPECT_EQ(ParseRetryAfter("Thu, 22 Oct 2015 07:28:01 GMT", now), seconds(86400));
    EXPECT_EQ(ParseRetryAfter("Sat, 12 Apr 2262 00:00:00 GMT", now), seconds(86400));
    EXPECT_EQ(ParseRetryAfter("Fri, 31 Dec 9999 23:59:59 GMT", now), seconds(86400));
    EXPECT_EQ(ParseRetryAfter("-5", now), std::nullopt);
    EXPECT_EQ(ParseRetryAfter("", now), std::nullopt);
    EXPECT_EQ(ParseRetryAfter("soon", now), std::nullopt);
    EXPECT_EQ(ParseRetryAfter("1.5", now), std::nullopt);
}

// --- A session keeps its connection ----------------------------------------

// The connection numbers of the requests from `from` on, as the portal logged
// them.
std::vector<std::string> ConnectionsOf(const PortalProcess& portal, std::size_t from = 0) {
    std::vector<std::string> connections;
    const std::vector<test::PortalRequest> requests = portal.requests();
    for (std::size_t i = from; i < requests.size(); ++i) {
        connections.push_back(requests[i].connection);
    }
    return connections;
}

class FetchSessionTest : public PageFetcherTest {
  protected:
    FetchResult SessionFetch(const std::string& id, std::optional<FetchOptions> options = {},
                             const FetchStop* stop = nullptr) {
        return session_.Fetch(Url(id), scratch_, agents_,
                              options.value_or(QuickOptions(portal_->certificate())), stop);
    }

    FetchSession session_;
};

TEST_F(FetchSessionTest, ConsecutiveDownloadsShareOneConnection) {
    const std::size_t before = portal_->requests().size();
    UserAgentGenerator fresh;
    for (int i = 0; i < 6; ++i) {
        const std::size_t agent = fresh.NextIndex();
        const FetchResult echo = SessionFetch("x-echo-agent");
        ASSERT_TRUE(echo.Stored()) << echo.detail;
        EXPECT_EQ(ReadFileBytes(scratch_), UserAgentTable[agent]) << i;
        const FetchResult page = SessionFetch("x-chunked-70000");
        fresh.NextIndex();
        ASSERT_TRUE(page.Stored()) << page.detail;
        EXPECT_EQ(ReadFileBytes(scratch_), PatternBytes(70000));
    }
    const std::vector<std::string> connections = ConnectionsOf(*portal_, before);
    ASSERT_EQ(connections.size(), 12u);
    EXPECT_EQ(std::count(connections.begin(), connections.end(), connections.front()), 12);
}

TEST_F(FetchSessionTest, EachDownloadKeepsItsOwnOptions) {
    ASSERT_TRUE(SessionFetch("x-bytes-10").Stored());

    FetchOptions small = QuickOptions(portal_->certificate());
    small.maxBodyBytes = 1000;
    EXPECT_EQ(SessionFetch("x-bytes-1001", small).status, FetchStatus::TooLarge);
    EXPECT_TRUE(SessionFetch("x-bytes-1001").Stored()) << "the cap of one download stays with it";

    FetchOptions patient = QuickOptions(portal_->certificate());
    patient.lowSpeedTime = std::chrono::seconds(5);
    FetchOptions impatient = patient;
    impatient.totalTimeout = std::chrono::milliseconds(1500);
    EXPECT_EQ(SessionFetch("x-trickle", impatient).status, FetchStatus::TimedOut);
    const FetchResult trickle = SessionFetch("x-trickle", patient);
    ASSERT_TRUE(trickle.Stored()) << trickle.detail;
    EXPECT_EQ(ReadFileBytes(scratch_), PatternBytes(40));
}

TEST_F(FetchSessionTest, AnOpenConnectionIsNoReasonToTrustAServer) {
    ASSERT_TRUE(SessionFetch("x-bytes-10").Stored());
    // The same host, with a connection to it open, but without its
    // certificate among the trusted ones: the download is refused.
    const FetchResult untrusted = SessionFetch("x-bytes-10", QuickOptions({}));
    EXPECT_EQ(untrusted.status, FetchStatus::TlsFailed) << untrusted.detail;
    ExpectNoScratchFile();
    EXPECT_TRUE(SessionFetch("x-bytes-10").Stored());
}

TEST_F(FetchSessionTest, ADownloadCutOffLeavesNothingForTheNextOne) {
    // Each of these ends in the middle of an answer; the next download on the
    // session must get its own page whole, not the rest of the earlier one.
    FetchOptions small = QuickOptions(portal_->certificate());
    small.maxBodyBytes = 50000;
    TestStop stop;
    const std::size_t before = portal_->requests().size();
    std::thread stopper([&] {
        // Stopped once the trickle is under way.
        test::WaitUntil([&] { return portal_->requests().size() > before; });
        stop.requested = true;
    });
    EXPECT_EQ(SessionFetch("x-trickle", {}, &stop).status, FetchStatus::Stopped);
    stopper.join();
    ASSERT_TRUE(SessionFetch("x-bytes-1001").Stored());
    EXPECT_EQ(ReadFileBytes(scratch_), PatternBytes(1001));

    EXPECT_EQ(SessionFetch("x-chunked-70000", small).status, FetchStatus::TooLarge);
    ASSERT_TRUE(SessionFetch("x-bytes-1002").Stored());
    EXPECT_EQ(ReadFileBytes(scratch_), PatternBytes(1002));

    EXPECT_EQ(SessionFetch("x-truncate").status, FetchStatus::TransferFailed);
    ASSERT_TRUE(SessionFetch("x-bytes-1003").Stored());
    EXPECT_EQ(ReadFileBytes(scratch_), PatternBytes(1003));
}

TEST_F(FetchSessionTest, AStallOnAKeptConnectionIsATimeOut) {
    ASSERT_TRUE(SessionFetch("x-bytes-10").Stored());
    const FetchResult stalled = SessionFetch("x-stall-head");
    EXPECT_EQ(stalled.status, FetchStatus::TimedOut) << stalled.detail;
    EXPECT_TRUE(stalled.transient);
    ExpectNoScratchFile();
    EXPECT_TRUE(SessionFetch("x-bytes-10").Stored());
}

// The sockets that process `pid` holds open.
std::size_t OpenSockets(int pid) {
    std::size_t sockets = 0;
    std::error_code error;
    for (const fs::directory_entry& entry :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        std::error_code ignored;
        sockets += fs::read_symlink(entry.path(), ignored).string().starts_with("socket:") ? 1 : 0;
    }
    return sockets;
}

// A connection that the server ends is replaced by a new one, and the
// download does not fail: when the server has closed it after its request
// limit, after it was idle too long, or just as the next request arrived.
TEST(FetchSessionReconnectTest, AConnectionTheServerEndedIsReplacedWithoutAFailure) {
    PortalProcess portal(
        {.extraArgs = {"--keep-alive-requests", "2", "--keep-alive-seconds", "1"}});
    TempDir dir;
    const fs::path scratch = dir.path() / "tmp.dat";
    UserAgentGenerator agents;
    const FetchOptions options = QuickOptions(portal.certificate());
    const std::size_t listening = OpenSockets(portal.pid());
    FetchSession session;
    const auto fetch = [&](const std::string& id) {
        const FetchResult result =
            session.Fetch(portal.baseUrl() + "/guide/disp/c_id/" + id, scratch, agents, options);
        EXPECT_TRUE(result.Stored()) << id << ": " << result.detail;
        EXPECT_EQ(result.httpStatus, 200) << id;
    };

    for (int i = 0; i < 5; ++i) {
        fetch("x-bytes-10");
    }
    EXPECT_EQ(ConnectionsOf(portal), (std::vector<std::string>{"1", "1", "2", "2", "3"}));

    // The portal closes the idle connection after a second.
    ASSERT_TRUE(test::WaitUntil([&] { return OpenSockets(portal.pid()) <= listening; }));
    fetch("x-bytes-10");
    EXPECT_EQ(ConnectionsOf(portal, 5), (std::vector<std::string>{"4"}));

    // The second request of connection 4 is dropped unanswered; libcurl sends
    // it again over a new connection, which answers it.
    fetch("x-close-reused");
    EXPECT_EQ(test::ReadFileBytes(scratch), "<html><body><p>a new connection</p></body></html>\n");
    const std::vector<test::PortalRequest> requests = portal.requests();
    ASSERT_EQ(requests.size(), 8u);
    EXPECT_EQ(requests[6].target, "/guide/disp/c_id/x-close-reused");
    EXPECT_EQ(requests[6].connection, "4");
    EXPECT_EQ(requests[7].target, "/guide/disp/c_id/x-close-reused");
    EXPECT_EQ(requests[7].connection, "5");
}

TEST(FetchSessionReconnectTest, ClosedSessionOpensANewConnection) {
    PortalProcess portal;
    TempDir dir;
    UserAgentGenerator agents;
    const FetchOptions options = QuickOptions(portal.certificate());
    FetchSession session;
    const std::string url = portal.baseUrl() + "/guide/disp/c_id/x-bytes-10";
    ASSERT_TRUE(session.Fetch(url, dir.path() / "tmp.dat", agents, options).Stored());
    ASSERT_TRUE(session.Fetch(url, dir.path() / "tmp.dat", agents, options).Stored());
    session.Close();
    ASSERT_TRUE(session.Fetch(url, dir.path() / "tmp.dat", agents, options).Stored());
    EXPECT_EQ(ConnectionsOf(portal), (std::vector<std::string>{"1", "1", "2"}));
}

// --- Fixture pages, served unchanged ----------------------------------------

TEST(PageFetcherFixtureTest, FixturePagesArriveUnchanged) {
    TempDir pages;
    std::string mixed = "<html>\r\n<body>\n\r<p>\xE3\x81\x82\0\0tail\r";
    mixed += std::string("\0", 1) + "\xFF\xFE broken UTF-8 \xE3\x81\n";
    std::string exact(1000, 'x');
    exact[10] = '\0';  // the original client lost the rest of such a chunk
    test::WriteFileBytes(pages.path() / "detail" / "mixed.html", mixed);
    test::WriteFileBytes(pages.path() / "detail" / "exact.html", exact);
    test::WriteFileBytes(pages.path() / "listing" / "tokyo.html", "<h2 class=\"gf-card-name\">\n");
    PortalProcess portal({.pagesDir = pages.path()});

    TempDir dir;
    const fs::path scratch = dir.path() / "tmp.dat";
    UserAgentGenerator agents;
    const FetchOptions options = QuickOptions(portal.certificate());
    struct Case {
        std::string path;
        std::string body;
    };
    const Case cases[] = {
        {"/guide/disp/c_id/mixed", mixed},
        {"/guide/disp/c_id/exact", exact},
        {"/doc/area/tokyo/?sort=kana&page=1", "<h2 class=\"gf-card-name\">\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const FetchResult result = FetchOnce(portal.baseUrl() + c.path, scratch, agents, options);
        ASSERT_TRUE(result.Stored()) << result.detail;
        EXPECT_EQ(ReadFileBytes(scratch), c.body);
    }
}

}  // namespace
}  // namespace teebasket
