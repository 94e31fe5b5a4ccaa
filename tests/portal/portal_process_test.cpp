// teebasket-portal as a process: its command line, its certificate, what it
// serves in both modes, and how it stops.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include "FetchOnce.h"
#include "TestCertificates.h"
#include "TestSupport.h"
#include "Unicommon.h"

namespace teebasket {
namespace {

namespace fs = std::filesystem;
using test::PortalProcess;
using test::TempDir;

struct Page {
    FetchResult result;
    std::string body;
};

class Client {
  public:
    explicit Client(const PortalProcess& portal) : portal_(portal) {
        options_.caCertificateFile = portal.certificate();
        options_.connectTimeout = std::chrono::seconds(10);
        options_.lowSpeedTime = std::chrono::seconds(10);
    }

    Page Get(const std::string& path) {
        Page page;
        page.result = FetchOnce(portal_.baseUrl() + path, scratch_, agents_, options_);
        if (page.result.Stored()) {
            page.body = test::ReadFileBytes(scratch_);
        }
        return page;
    }

  private:
    const PortalProcess& portal_;
    TempDir dir_;
    fs::path scratch_ = dir_.path() / "tmp.dat";
    UserAgentGenerator agents_;
    FetchOptions options_;
};

int CountOf(const std::string& text, const std::string& pattern) {
    int count = 0;
    for (std::size_t at = text.find(pattern); at != std::string::npos;
         at = text.find(pattern, at + 1)) {
        ++count;
    }
    return count;
}

// Runs the portal with `args` to its end; returns its exit code.
// `redirections` are the shell's, for its standard descriptors.
int RunPortal(const std::string& args, const std::string& redirections = ">/dev/null 2>&1") {
    // A portal that wrongly keeps running is ended, so the test fails instead
    // of waiting.
    const std::string command =
        "timeout 60 " + test::PortalExecutable().string() + " " + args + " " + redirections;
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(PortalProcessTest, GeneratedModeServesListingsDetailsAndReviews) {
    PortalProcess portal({.extraArgs = {"--courses-per-prefecture", "3", "--seed", "5"}});
    Client client(portal);

    const Page listing = client.Get("/doc/area/chiba/?sort=kana&page=1");
    ASSERT_TRUE(listing.result.Stored()) << listing.result.detail;
    EXPECT_EQ(listing.result.httpStatus, 200);
    EXPECT_EQ(CountOf(listing.body, "<h2 class=\"gf-card-name\">"), 3);
    EXPECT_NE(listing.body.find("/guide/disp/c_id/112003/?rt=1"), std::string::npos);

    const Page empty = client.Get("/doc/area/tottori/?sort=kana&page=1");
    EXPECT_EQ(empty.result.httpStatus, 200);
    EXPECT_EQ(CountOf(empty.body, "gf-card-name"), 0);

    const Page detail = client.Get("/guide/disp/c_id/112003");
    EXPECT_EQ(detail.result.httpStatus, 200);
    EXPECT_NE(detail.body.find("\"@context\""), std::string::npos);
    EXPECT_EQ(client.Get("/guide/disp/c_id/112003/").body, detail.body);

    EXPECT_EQ(client.Get("/voice/detail/c_id/112003").result.httpStatus, 200);
    EXPECT_EQ(client.Get("/").result.httpStatus, 200);
    for (const char* missing :
         {"/guide/disp/c_id/112004", "/guide/disp/c_id/", "/doc/area/atlantis/?sort=kana&page=1",
          "/favicon.ico", "/voice/detail/c_id/999999"}) {
        const Page page = client.Get(missing);
        EXPECT_EQ(page.result.httpStatus, 404) << missing;
        EXPECT_NE(page.body.find("404"), std::string::npos) << missing;
    }
}

TEST(PortalProcessTest, FixtureModeServesItsFilesAndNothingElse) {
    TempDir root;
    const fs::path pages = root.path() / "pages";
    test::WriteFileBytes(pages / "listing" / "tokyo.html", "listing of tokyo\r\n");
    test::WriteFileBytes(pages / "detail" / "120012.html", std::string("detail\0page", 11));
    test::WriteFileBytes(pages / "secret.html", "not to be served");
    test::WriteFileBytes(root.path() / "secret.html", "not to be served");
    PortalProcess portal({.pagesDir = pages});
    Client client(portal);

    EXPECT_EQ(client.Get("/doc/area/tokyo/?sort=kana&page=1").body, "listing of tokyo\r\n");
    EXPECT_EQ(client.Get("/guide/disp/c_id/120012").body, std::string("detail\0page", 11));
    // Generated pages are not served in fixture mode; fault paths are.
    EXPECT_EQ(client.Get("/doc/area/chiba/?sort=kana&page=1").result.httpStatus, 404);
    EXPECT_EQ(client.Get("/guide/disp/c_id/101001").result.httpStatus, 404);
    EXPECT_EQ(client.Get("/guide/disp/c_id/x-bytes-3").body, "012");
    EXPECT_EQ(client.Get("/doc/area/x-bytes-3/?sort=kana&page=1").body, "012");
    // No way out of the pages folder.
    for (const char* escape :
         {"/guide/disp/c_id/..%2Fsecret", "/guide/disp/c_id/%2E%2E%2F%2E%2E%2Fsecret",
          "/doc/area/..%2Fsecret/", "/doc/area/%2e%2e/", "/guide/disp/c_id/.hidden"}) {
        const Page page = client.Get(escape);
        EXPECT_EQ(page.result.httpStatus, 404) << escape;
        EXPECT_EQ(page.body.find("not to be served"), std::string::npos) << escape;
    }
}

TEST(PortalProcessTest, FixtureListingsHaveAFileForEachPage) {
    TempDir pages;
    test::WriteFileBytes(pages.path() / "listing" / "tokyo.html", "page one");
    test::WriteFileBytes(pages.path() / "listing" / "tokyo.2.html", "page two");
    PortalProcess portal({.pagesDir = pages.path()});
    Client client(portal);
    EXPECT_EQ(client.Get("/doc/area/tokyo/?sort=kana&page=1").body, "page one");
    EXPECT_EQ(client.Get("/doc/area/tokyo/").body, "page one");
    EXPECT_EQ(client.Get("/doc/area/tokyo/?sort=kana&page=2").body, "page two");
    EXPECT_EQ(client.Get("/doc/area/tokyo/?sort=kana&page=3").result.httpStatus, 404);
}

TEST(PortalProcessTest, FlakyPathsFailTheirFirstRequestsThenServeThePage) {
    TempDir pages;
    test::WriteFileBytes(pages.path() / "detail" / "1001.html", "the page of 1001");
    test::WriteFileBytes(pages.path() / "listing" / "tokyo.html", "the listing of tokyo");
    PortalProcess portal({.pagesDir = pages.path()});
    Client client(portal);

    // Two failures, then the page named by the rest of the path.
    for (int attempt = 1; attempt <= 2; ++attempt) {
        const Page failed = client.Get("/guide/disp/c_id/x-flaky-2-503-1001");
        EXPECT_EQ(failed.result.httpStatus, 503) << attempt;
        EXPECT_FALSE(failed.result.retryAfter.has_value());
    }
    EXPECT_EQ(client.Get("/guide/disp/c_id/x-flaky-2-503-1001").body, "the page of 1001");
    EXPECT_EQ(client.Get("/guide/disp/c_id/x-flaky-2-503-1001").body, "the page of 1001");

    // Each path counts for itself; a listing serves the listing named.
    EXPECT_EQ(client.Get("/doc/area/x-flaky-1-500-tokyo/").result.httpStatus, 500);
    EXPECT_EQ(client.Get("/doc/area/x-flaky-1-500-tokyo/").body, "the listing of tokyo");
    EXPECT_EQ(client.Get("/guide/disp/c_id/x-flaky-1-500-1001").result.httpStatus, 500);

    // Transport faults, and Retry-After in seconds.
    const Page reset = client.Get("/guide/disp/c_id/x-flaky-1-reset-1001");
    EXPECT_EQ(reset.result.status, FetchStatus::TransferFailed);
    EXPECT_TRUE(reset.result.transient);
    const Page truncated = client.Get("/guide/disp/c_id/x-flaky-1-truncate-1001");
    EXPECT_EQ(truncated.result.status, FetchStatus::TransferFailed);
    const Page limited = client.Get("/guide/disp/c_id/x-flaky-1-429-after-3-1001");
    EXPECT_EQ(limited.result.httpStatus, 429);
    EXPECT_EQ(limited.result.retryAfter, std::chrono::seconds(3));
    EXPECT_EQ(client.Get("/guide/disp/c_id/x-flaky-1-429-after-3-1001").body, "the page of 1001");

    // Without a rest, a small page; with a bad fault, 404.
    EXPECT_EQ(client.Get("/guide/disp/c_id/x-flaky-0-503").result.httpStatus, 200);
    for (const char* bad : {"x-flaky-1-200-1001", "x-flaky-1-boom-1001", "x-flaky-x-503",
                            "x-flaky-1-503-after-x-1001"}) {
        EXPECT_EQ(client.Get(std::string("/guide/disp/c_id/") + bad).result.httpStatus, 404) << bad;
    }
}

TEST(PortalProcessTest, TheRequestLogNumbersConnectionsInTheOrderTheyCame) {
    PortalProcess portal({.extraArgs = {"--courses-per-prefecture", "1"}});
    Client client(portal);
    // Each of these requests comes over a connection of its own, which the
    // client closes after it.
    const std::vector<std::string> paths = {"/guide/disp/c_id/101001", "/doc/area/tokyo/",
                                            "/guide/disp/c_id/x-close-reused"};
    for (const std::string& path : paths) {
        EXPECT_EQ(client.Get(path).result.httpStatus, 200) << path;
    }
    const std::vector<test::PortalRequest> requests = portal.requests();
    ASSERT_EQ(requests.size(), paths.size());
    UserAgentGenerator fresh;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(requests[i].target, paths[i]);
        EXPECT_EQ(requests[i].userAgent, UserAgentTable[fresh.NextIndex()]);
        EXPECT_EQ(requests[i].connection, std::to_string(i + 1));
    }
}

TEST(PortalProcessTest, AFlakyStallHoldsTheRequestUntilTheClientGivesUp) {
    PortalProcess portal({.extraArgs = {"--courses-per-prefecture", "1"}});
    TempDir dir;
    UserAgentGenerator agents;
    FetchOptions options;
    options.caCertificateFile = portal.certificate();
    options.lowSpeedTime = std::chrono::seconds(1);
    const std::string url = portal.baseUrl() + "/guide/disp/c_id/x-flaky-1-stall-101001";
    const FetchResult stalled = FetchOnce(url, dir.path() / "tmp.dat", agents, options);
    EXPECT_EQ(stalled.status, FetchStatus::TimedOut) << stalled.detail;
    const FetchResult served = FetchOnce(url, dir.path() / "tmp.dat", agents, options);
    ASSERT_TRUE(served.Stored()) << served.detail;
    EXPECT_NE(test::ReadFileBytes(dir.path() / "tmp.dat").find("\"@context\""), std::string::npos);
}

TEST(PortalProcessTest, MakesItsCertificateOnceAndKeepsIt) {
    TempDir root;
    const fs::path tls = root.path() / "nested" / "tls";
    std::string first;
    {
        PortalProcess portal({.tlsDir = tls});
        first = test::ReadFileBytes(tls / "cert.pem");
        EXPECT_EQ(fs::status(tls / "key.pem").permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write);
    }
    {
        PortalProcess portal({.tlsDir = tls});
        EXPECT_EQ(test::ReadFileBytes(tls / "cert.pem"), first);
        EXPECT_TRUE(Client(portal).Get("/guide/disp/c_id/x-empty").result.Stored());
    }
    // A missing key makes a fresh pair.
    fs::remove(tls / "key.pem");
    PortalProcess portal({.tlsDir = tls});
    EXPECT_NE(test::ReadFileBytes(tls / "cert.pem"), first);
    EXPECT_TRUE(Client(portal).Get("/guide/disp/c_id/x-empty").result.Stored());

    std::FILE* file = std::fopen((tls / "cert.pem").c_str(), "r");
    ASSERT_NE(file, nullptr);
    X509* certificate = PEM_read_X509(file, nullptr, nullptr, nullptr);
    std::fclose(file);
    ASSERT_NE(certificate, nullptr);
    EXPECT_EQ(X509_check_ip_asc(certificate, "127.0.0.1", 0), 1);
    EXPECT_EQ(X509_check_host(certificate, "localhost", 0, 0, nullptr), 1);
    EXPECT_NE(X509_check_host(certificate, "example.com", 0, 0, nullptr), 1);
    EXPECT_EQ(X509_check_ip_asc(certificate, "::1", 0), 1);
    // A server certificate only: it cannot sign one for another name.
    EXPECT_EQ(X509_check_ca(certificate), 0);
    X509_free(certificate);
}

// Runs the portal with HOME set to `home` and no --tls-dir, so that it uses
// its default folder; it stops by itself as its standard input is empty.
int RunPortalAtHome(const fs::path& home) {
    const std::string command = "HOME=" + home.string() + " timeout 60 " +
                                test::PortalExecutable().string() +
                                " --port 0 --stop-on-stdin-eof </dev/null >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(PortalProcessTest, AnAuthorityCertificateOfEarlierBuildsIsReplacedInTheDefaultFolder) {
    TempDir home;
    const fs::path tls = home.path() / ".local" / "share" / "teebasket-portal" / "tls";
    fs::create_directories(tls);
    const test::CertificateFiles old{tls / "cert.pem", tls / "key.pem"};
    test::WriteUnconstrainedAuthority(old);
    ASSERT_TRUE(test::IsCertificateAuthority(old.certificate));

    EXPECT_EQ(RunPortalAtHome(home.path()), 0);
    EXPECT_FALSE(test::IsCertificateAuthority(old.certificate));
    EXPECT_EQ(fs::status(old.privateKey).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    const std::string replaced = test::ReadFileBytes(old.certificate);
    EXPECT_EQ(RunPortalAtHome(home.path()), 0);
    EXPECT_EQ(test::ReadFileBytes(old.certificate), replaced);  // a sound pair is kept
}

TEST(PortalProcessTest, AnUnsoundPairInANamedFolderIsRefusedAndLeftAlone) {
    TempDir root;
    const fs::path tls = root.path() / "tls";
    fs::create_directories(tls);
    const test::CertificateFiles files{tls / "cert.pem", tls / "key.pem"};
    test::WriteUnconstrainedAuthority(files);
    const std::string certificate = test::ReadFileBytes(files.certificate);
    EXPECT_EQ(RunPortal("--port 0 --tls-dir " + tls.string()), 1);
    EXPECT_EQ(test::ReadFileBytes(files.certificate), certificate);

    // A sound certificate whose key others can read is refused too.
    fs::remove(files.certificate);
    { PortalProcess portal({.tlsDir = tls}); }
    fs::permissions(files.privateKey, fs::perms::group_read | fs::perms::others_read,
                    fs::perm_options::add);
    EXPECT_EQ(RunPortal("--port 0 --tls-dir " + tls.string()), 1);
}

TEST(PortalProcessTest, StopsOnSigtermAndSigint) {
    for (int signal : {SIGTERM, SIGINT}) {
        PortalProcess portal;
        const int status = portal.stop(signal);
        ASSERT_TRUE(WIFEXITED(status)) << signal;
        EXPECT_EQ(WEXITSTATUS(status), 0) << signal;
    }
}

TEST(PortalProcessTest, StopsWhileARequestStalls) {
    PortalProcess portal;
    std::future<Page> stalled = std::async(std::launch::async, [&portal] {
        return Client(portal).Get("/guide/disp/c_id/x-stall-head");
    });
    // Wait until the portal holds the request, then stop it.
    const bool holding = test::WaitUntil([&portal] { return !portal.requests().empty(); });
    const int status = portal.stop();
    ASSERT_TRUE(holding) << "the stalling request never reached the portal";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(stalled.get().result.Stored());
}

// True once process `pid` has ended (gone, or a zombie that its new parent
// has not reaped yet).
bool ProcessEnded(pid_t pid) {
    if (::kill(pid, 0) != 0) {
        return true;
    }
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string fields;
    std::getline(stat, fields);
    const std::size_t close = fields.rfind(')');
    return close == std::string::npos || fields.substr(close + 2, 1) == "Z";
}

TEST(PortalProcessTest, PortalEndsWhenItsStarterDies) {
    int channel[2];
    ASSERT_EQ(::pipe(channel), 0);
    const pid_t starter = ::fork();
    ASSERT_GE(starter, 0);
    if (starter == 0) {
        // Starts a portal and dies without any clean-up, as a crashing test would.
        ::close(channel[0]);
        const auto* portal = new PortalProcess();
        const std::string report = std::to_string(portal->pid()) + " " +
                                   portal->certificate().parent_path().parent_path().string();
        [[maybe_unused]] const ssize_t written = ::write(channel[1], report.data(), report.size());
        ::_exit(0);
    }
    ::close(channel[1]);
    char buffer[4096] = {};
    const ssize_t length = ::read(channel[0], buffer, sizeof buffer - 1);
    ::close(channel[0]);
    ::waitpid(starter, nullptr, 0);
    ASSERT_GT(length, 0);
    const std::string report(buffer, static_cast<std::size_t>(length));
    const pid_t portalPid = std::stoi(report);
    const fs::path leftFolder = report.substr(report.find(' ') + 1);

    // The process, not its port: a portal of another test may take the
    // number as soon as it is free.
    EXPECT_TRUE(test::WaitUntil([portalPid] { return ProcessEnded(portalPid); }))
        << "the portal outlived its starter";
    std::error_code ec;
    fs::remove_all(leftFolder, ec);
}

TEST(PortalProcessTest, RefusesBadCommandLines) {
    TempDir root;
    const std::string tls = " --tls-dir " + (root.path() / "tls").string();
    EXPECT_EQ(RunPortal("--help"), 0);
    EXPECT_EQ(RunPortal("--port 70000" + tls), 2);
    EXPECT_EQ(RunPortal("--port" + tls), 2);
    EXPECT_EQ(RunPortal("--port abc" + tls), 2);
    EXPECT_EQ(RunPortal("--seed -1" + tls), 2);
    EXPECT_EQ(RunPortal("--courses-per-prefecture 1000" + tls), 2);
    EXPECT_EQ(RunPortal("--frobnicate 1" + tls), 2);
    EXPECT_EQ(RunPortal("--keep-alive-requests 0" + tls), 2);
    EXPECT_EQ(RunPortal("--keep-alive-seconds 0" + tls), 2);
    EXPECT_EQ(RunPortal("--keep-alive-seconds 5s" + tls), 2);
    EXPECT_EQ(RunPortal("--pages " + (root.path() / "missing").string() + tls), 2);
}

TEST(PortalProcessTest, PortInUseIsReported) {
    PortalProcess portal;
    TempDir root;
    EXPECT_EQ(RunPortal("--port " + std::to_string(portal.port()) + " --tls-dir " +
                        (root.path() / "tls").string()),
              1);
}

// Started with a standard descriptor closed, the portal would hand its number
// to the request log, and write its "listening on" line or its error there.
TEST(PortalProcessTest, ClosedStandardDescriptorsLeaveTheRequestLogToRequests) {
    TempDir root;
    const fs::path log = root.path() / "requests.log";
    const std::string common =
        " --tls-dir " + (root.path() / "tls").string() + " --request-log " + log.string();
    {
        const test::ClosedLoopbackPort inUse;
        EXPECT_EQ(RunPortal("--port " + std::to_string(inUse.port()) + common, "2>&-"), 1);
        EXPECT_EQ(test::ReadFileBytes(log), "");
    }

    int port = 0;
    {
        const test::ClosedLoopbackPort free;
        port = free.port();
    }
    // The portal stops when the test closes its standard input.
    std::FILE* input =
        ::popen(("exec " + test::PortalExecutable().string() + " --port " + std::to_string(port) +
                 common + " --stop-on-stdin-eof >&- 2>/dev/null")
                    .c_str(),
                "w");
    ASSERT_NE(input, nullptr);
    const TempDir scratch;
    UserAgentGenerator agents;
    FetchOptions options;
    options.caCertificateFile = root.path() / "tls" / "cert.pem";
    const std::string url =
        "https://127.0.0.1:" + std::to_string(port) + "/guide/disp/c_id/x-empty";
    const bool answered = test::WaitUntil(
        [&] { return FetchOnce(url, scratch.path() / "tmp.dat", agents, options).Stored(); });
    ::pclose(input);
    ASSERT_TRUE(answered) << "the portal never answered on port " << port;
    const std::string lines = test::ReadFileBytes(log);
    EXPECT_EQ(lines.substr(0, lines.find('\t')), "GET") << lines;
    EXPECT_EQ(lines.find("listening"), std::string::npos) << lines;
}

TEST(PortalProcessTest, UnusableCertificateFolderIsReported) {
    TempDir root;
    test::WriteFileBytes(root.path() / "file", "not a folder");
    EXPECT_EQ(RunPortal("--port 0 --tls-dir " + (root.path() / "file" / "tls").string()), 1);
    test::WriteFileBytes(root.path() / "broken" / "cert.pem", "garbage");
    test::WriteFileBytes(root.path() / "broken" / "key.pem", "garbage");
    EXPECT_EQ(RunPortal("--port 0 --tls-dir " + (root.path() / "broken").string()), 1);
}

}  // namespace
}  // namespace teebasket
