// Clients that try to take the demo portal from everyone else, for the tests
// and the benchmark that hold it under siege on 127.0.0.1. Each kind runs in
// loops of its own until its Siege ends; every blocking call of theirs gives
// up within a second, so a siege always ends promptly, and a client whose
// connection the portal ends pauses before it connects again, so the number
// of connections stays bounded.
#pragma once

#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace teebasket::test {

enum class Hostile {
    HeaderTrickle,  // a request whose header bytes come one every half second
    Silent,         // a TCP connection that never sends anything
    Stall           // a request for x-stall-head, which never gets an answer
};

// A TCP connection to 127.0.0.1:port, or -1. With `blocking`, connecting and
// each send and receive give up after a second; otherwise it connects in the
// background.
inline int ConnectToLoopback(int port, bool blocking = true) {
    const int fd =
        ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (blocking ? 0 : SOCK_NONBLOCK), 0);
    if (fd < 0) {
        return -1;
    }
    const timeval limit{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
        (blocking || errno != EINPROGRESS)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// True when `fd` has something to read (bytes, or the end of the connection)
// within `milliseconds`.
inline bool Readable(int fd, int milliseconds) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, milliseconds) > 0;
}

// One TLS connection to the portal whose every byte the caller chooses; the
// certificate is not checked. Ok() once the handshake is done.
class HostileTls {
  public:
    HostileTls(SSL_CTX* context, int port) : fd_(ConnectToLoopback(port)) {
        if (fd_ < 0) {
            return;
        }
        ssl_ = SSL_new(context);
        SSL_set_fd(ssl_, fd_);
        ok_ = SSL_connect(ssl_) == 1;
    }
    ~HostileTls() {
        SSL_free(ssl_);
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    HostileTls(const HostileTls&) = delete;
    HostileTls& operator=(const HostileTls&) = delete;

    bool Ok() const { return ok_; }
    int Fd() const { return fd_; }

    bool Send(std::string_view bytes) {
        return ok_ && SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size())) ==
                          static_cast<int>(bytes.size());
    }

    // Reads what has arrived into `received` (a read that finds only TLS
    // records of the session waits up to a second for more); false once the
    // connection has ended.
    bool Receive(std::string& received) {
        char buffer[4096];
        const int got = SSL_read(ssl_, buffer, sizeof buffer);
        if (got > 0) {
            received.append(buffer, static_cast<std::size_t>(got));
            return true;
        }
        const int error = SSL_get_error(ssl_, got);
        return error == SSL_ERROR_WANT_READ ||
               (error == SSL_ERROR_SYSCALL && (errno == EAGAIN || errno == EINTR));
    }

  private:
    int fd_;
    SSL* ssl_ = nullptr;
    bool ok_ = false;
};

// What a header-trickling client sends at once: a request line and the
// start of a header line that then never ends, one byte every kTricklePause.
constexpr std::string_view kTrickledStart = "GET /guide/disp/c_id/101001 HTTP/1.1\r\nX-Slow: ";

constexpr auto kTricklePause = std::chrono::milliseconds(500);

// `clients` hostile clients of one kind against the portal on `port`, from
// construction to destruction.
class Siege {
  public:
    Siege(int port, Hostile kind, int clients)
        : port_(port), context_(SSL_CTX_new(TLS_client_method())) {
        // A portal that ends a connection while a client sends must not end
        // the process.
        std::signal(SIGPIPE, SIG_IGN);
        if (kind == Hostile::Silent) {
            threads_.emplace_back([this, clients] { HoldSilent(clients); });
            return;
        }
        for (int i = 0; i < clients; ++i) {
            threads_.emplace_back([this, kind] {
                while (!Stopping()) {
                    kind == Hostile::Stall ? StallOnce() : TrickleOnce();
                    Pause(kTricklePause);
                }
            });
        }
    }
    ~Siege() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (std::thread& thread : threads_) {
            thread.join();
        }
        SSL_CTX_free(context_);
    }
    Siege(const Siege&) = delete;
    Siege& operator=(const Siege&) = delete;

    // Connections of this siege that the portal has ended or answered.
    int Ended() const { return ended_.load(); }

  private:
    bool Stopping() {
        const std::lock_guard lock(mutex_);
        return stopping_;
    }

    // Waits `duration`; false when the siege ends meanwhile.
    bool Pause(std::chrono::milliseconds duration) {
        std::unique_lock lock(mutex_);
        return !wake_.wait_for(lock, duration, [this] { return stopping_; });
    }

    // Trickles one request until the portal ends the connection.
    void TrickleOnce() {
        HostileTls client(context_, port_);
        if (!client.Ok()) {
            return;
        }
        std::string answers;
        if (!client.Send(kTrickledStart)) {
            return;
        }
        while (Pause(kTricklePause)) {
            if ((Readable(client.Fd(), 0) && !client.Receive(answers)) || !client.Send("a")) {
                ++ended_;
                return;
            }
        }
    }

    // Asks for a page that never comes, until the portal answers or ends
    // the connection.
    void StallOnce() {
        HostileTls client(context_, port_);
        if (!client.Ok() ||
            !client.Send("GET /guide/disp/c_id/x-stall-head HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")) {
            return;
        }
        std::string answer;
        while (!Stopping()) {
            if (Readable(client.Fd(), 100) && (!client.Receive(answer) || !answer.empty())) {
                ++ended_;
                return;
            }
        }
    }

    // Keeps `count` connections open that send nothing; one the portal ends
    // is opened again.
    void HoldSilent(int count) {
        std::vector<pollfd> sockets;
        for (int i = 0; i < count; ++i) {
            sockets.push_back({ConnectToLoopback(port_, false), POLLIN, 0});
        }
        while (Pause(std::chrono::milliseconds(100))) {
            ::poll(sockets.data(), sockets.size(), 0);
            for (pollfd& socket : sockets) {
                if (socket.fd < 0 || socket.revents != 0) {
                    if (socket.fd >= 0) {
                        ::close(socket.fd);
                        ++ended_;
                    }
                    socket.fd = ConnectToLoopback(port_, false);
                    socket.revents = 0;
                }
            }
        }
        for (const pollfd& socket : sockets) {
            if (socket.fd >= 0) {
                ::close(socket.fd);
            }
        }
    }

    const int port_;
    SSL_CTX* const context_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::atomic<int> ended_{0};
    std::vector<std::thread> threads_;
};

}  // namespace teebasket::test
