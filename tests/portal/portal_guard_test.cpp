// The demo portal against clients that misbehave on purpose: connections
// that trickle in their first bytes (slowloris), a request body far too large,
// and huge answers that nobody reads. The portal must go on answering others,
// and its memory must stay bounded.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "FetchOnce.h"
#include "TestSupport.h"
#include "Unicommon.h"

namespace teebasket {
namespace {

using test::PortalProcess;
using namespace std::chrono_literals;

constexpr auto kAnswerDeadline = 60s;

int ConnectTo(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        throw std::runtime_error("cannot connect to the portal");
    }
    return fd;
}

// One TLS connection whose every byte the test chooses. The certificate is
// not checked: the test is the portal's client here, not its judge.
class RawTlsClient {
  public:
    explicit RawTlsClient(int port)
        : context_(SSL_CTX_new(TLS_client_method())), fd_(ConnectTo(port)) {
        // A portal that ends the connection while the test still sends must
        // not end the test.
        std::signal(SIGPIPE, SIG_IGN);
        ssl_ = SSL_new(context_);
        SSL_set_fd(ssl_, fd_);
        if (SSL_connect(ssl_) != 1) {
            throw std::runtime_error("TLS handshake with the portal failed");
        }
    }
    ~RawTlsClient() {
        SSL_free(ssl_);
        ::close(fd_);
        SSL_CTX_free(context_);
    }
    RawTlsClient(const RawTlsClient&) = delete;
    RawTlsClient& operator=(const RawTlsClient&) = delete;

    bool Send(const std::string& bytes) {
        return SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size())) ==
               static_cast<int>(bytes.size());
    }

    // What arrives until `count` bytes are in, the portal closes the
    // connection, or kAnswerDeadline passes.
    std::string Receive(std::size_t count) {
        std::string bytes;
        const auto deadline = std::chrono::steady_clock::now() + kAnswerDeadline;
        while (bytes.size() < count && std::chrono::steady_clock::now() < deadline) {
            pollfd entry{fd_, POLLIN, 0};
            if (SSL_pending(ssl_) == 0 && ::poll(&entry, 1, 100) <= 0) {
                continue;
            }
            char buffer[4096];
            const int read = SSL_read(
                ssl_, buffer, static_cast<int>(std::min(count - bytes.size(), sizeof buffer)));
            if (read <= 0) {
                break;
            }
            bytes.append(buffer, static_cast<std::size_t>(read));
        }
        return bytes;
    }

  private:
    SSL_CTX* context_;
    int fd_;
    SSL* ssl_ = nullptr;
};

// Connections that open a TLS record as large as a record may be and then
// send one byte of it every half second: the portal's handshake waits for the
// rest, and no single wait for a byte is long.
class Slowloris {
  public:
    Slowloris(int port, int connections) {
        // Trickling from the first connection on: the portal may take a
        // while to take the later ones.
        trickle_ = std::thread([this] {
            std::unique_lock lock(mutex_);
            while (!stop_.wait_for(lock, 500ms, [this] { return stopping_; })) {
                for (const int fd : sockets_) {
                    Send(fd, "x");
                }
            }
        });
        for (int i = 0; i < connections; ++i) {
            const int fd = ConnectTo(port);
            Send(fd, std::string("\x16\x03\x01\x40\x00", 5));
            const std::lock_guard lock(mutex_);
            sockets_.push_back(fd);
        }
    }
    ~Slowloris() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        stop_.notify_all();
        trickle_.join();
        for (const int fd : sockets_) {
            ::close(fd);
        }
    }

  private:
    static void Send(int fd, const std::string& bytes) {
        [[maybe_unused]] const ssize_t sent =
            ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    }

    std::vector<int> sockets_;
    std::mutex mutex_;
    std::condition_variable stop_;
    bool stopping_ = false;
    std::thread trickle_;
};

// The resident memory of process `pid` in bytes (VmRSS).
std::size_t ResidentBytes(int pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stoull(line.substr(6)) * 1024;
        }
    }
    throw std::runtime_error("no VmRSS for process " + std::to_string(pid));
}

TEST(PortalGuard, TrickledConnectionsDoNotKeepOthersWaiting) {
    const PortalProcess portal;
    // More of them than the portal has workers.
    const Slowloris slowloris(portal.port(), 40);
    const test::TempDir dir;
    UserAgentGenerator agents;
    FetchOptions options;
    options.caCertificateFile = portal.certificate();
    options.connectTimeout = kAnswerDeadline;
    const FetchResult result = FetchOnce(portal.baseUrl() + "/guide/disp/c_id/x-bytes-10",
                                         dir.path() / "tmp.dat", agents, options);
    ASSERT_TRUE(result.Stored()) << result.detail;
    EXPECT_EQ(result.httpStatus, 200);
}

TEST(PortalGuard, ALargeRequestBodyIsRefusedUnread) {
    const PortalProcess portal;
    const std::string host = "Host: " + portal.host() + "\r\n";
    // Announced, but never sent: the answer must not wait for it.
    for (const std::string& body :
         {std::string("Content-Length: 314572800\r\n"), std::string("Content-Length: 65537\r\n"),
          std::string("Transfer-Encoding: chunked\r\n")}) {
        SCOPED_TRACE(body);
        RawTlsClient client(portal.port());
        ASSERT_TRUE(
            client.Send("POST /guide/disp/c_id/101001 HTTP/1.1\r\n" + host + body + "\r\n"));
        EXPECT_EQ(client.Receive(12), "HTTP/1.1 413");
    }
    // A small one is read and answered.
    RawTlsClient client(portal.port());
    ASSERT_TRUE(client.Send("POST /guide/disp/c_id/101001 HTTP/1.1\r\n" + host +
                            "Content-Length: 5\r\n\r\nhello"));
    EXPECT_EQ(client.Receive(12), "HTTP/1.1 404");
    // Headers without end are cut off as well.
    RawTlsClient endless(portal.port());
    std::string headers = "GET /guide/disp/c_id/x-empty HTTP/1.1\r\n" + host;
    while (headers.size() < (1u << 20)) {
        headers += "X-Filler: " + std::string(1000, 'f') + "\r\n";
    }
    endless.Send(headers + "\r\n");                     // cut off on the way
    const std::string refusal = endless.Receive(4096);  // to the end of the connection
    EXPECT_EQ(refusal.substr(0, 12), "HTTP/1.1 400");
    EXPECT_NE(refusal.find("Connection: close\r\n"), std::string::npos) << refusal;
}

TEST(PortalGuard, HugeAnswersNobodyReadsDoNotFillTheMemory) {
    const PortalProcess portal;
    constexpr int kClients = 4;
    std::vector<std::unique_ptr<RawTlsClient>> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<RawTlsClient>(portal.port()));
        ASSERT_TRUE(clients.back()->Send(
            "GET /guide/disp/c_id/x-longline-268435456 HTTP/1.1\r\nHost: " + portal.host() +
            "\r\n\r\n"));
    }
    // Each answer has begun, and then nobody reads on.
    for (const std::unique_ptr<RawTlsClient>& client : clients) {
        ASSERT_EQ(client->Receive(15), "HTTP/1.1 200 OK");
    }
    // A generous bound: less than one of the answers whole.
    EXPECT_LT(ResidentBytes(portal.pid()), 256u << 20);
}

}  // namespace
}  // namespace teebasket
