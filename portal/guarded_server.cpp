#include "guarded_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <climits>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

namespace teebasket::portal {
namespace {

using Clock = std::chrono::steady_clock;

// How often a wait looks whether the server is stopping.
constexpr auto kStopCheck = std::chrono::milliseconds(100);

std::chrono::microseconds Duration(time_t seconds, time_t microseconds) {
    return std::chrono::seconds(seconds) + std::chrono::microseconds(microseconds);
}

// The library's pool, except that a job waits for a free worker before it is
// taken: the accepting loop, which hands over each connection, then stops
// accepting while every worker is busy.
class WorkerPool : public httplib::TaskQueue {
  public:
    WorkerPool(std::size_t workers, std::function<bool()> stopping)
        : workers_(workers), stopping_(std::move(stopping)) {
        for (std::size_t i = 0; i < workers; ++i) {
            threads_.emplace_back([this] { Work(); });
        }
    }

    // A stopping server's job is taken at once: it ends at once.
    void enqueue(std::function<void()> job) override {
        std::unique_lock lock(mutex_);
        while (busy_ + jobs_.size() >= workers_ && !stopping_()) {
            freed_.wait_for(lock, kStopCheck);
        }
        jobs_.push_back(std::move(job));
        ready_.notify_one();
    }

    void shutdown() override {
        {
            const std::lock_guard lock(mutex_);
            shuttingDown_ = true;
        }
        ready_.notify_all();
        for (std::thread& thread : threads_) {
            thread.join();
        }
    }

  private:
    void Work() {
        std::unique_lock lock(mutex_);
        for (;;) {
            ready_.wait(lock, [this] { return !jobs_.empty() || shuttingDown_; });
            if (jobs_.empty()) {
                return;
            }
            std::function<void()> job = std::move(jobs_.front());
            jobs_.pop_front();
            ++busy_;
            lock.unlock();
            job();
            lock.lock();
            --busy_;
            freed_.notify_one();
        }
    }

    const std::size_t workers_;
    const std::function<bool()> stopping_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::condition_variable freed_;
    std::deque<std::function<void()>> jobs_;
    std::size_t busy_ = 0;
    bool shuttingDown_ = false;
    std::vector<std::thread> threads_;
};

void AddressOf(int socket, bool peer, std::string& ip, int& port) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    auto* generic = reinterpret_cast<sockaddr*>(&address);
    if ((peer ? ::getpeername(socket, generic, &length)
              : ::getsockname(socket, generic, &length)) != 0) {
        return;
    }
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
        ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        port = ntohs(v4->sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
        ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        port = ntohs(v6->sin6_port);
    }
    ip = text;
}

// One TLS connection on a non-blocking socket, as the library's stream of
// requests. Every wait has an end: a read waits at most the read time-out,
// and never past the end of the current request's time to arrive; a write
// waits at most the write time-out; and no wait outlasts the server.
class TlsConnection final : public httplib::Stream {
  public:
    struct Timeouts {
        std::chrono::microseconds read;
        std::chrono::microseconds write;
    };

    TlsConnection(SSL_CTX* context, int socket, Timeouts timeouts,
                  const std::atomic<::socket_t>& listener)
        : socket_(socket), timeouts_(timeouts), listener_(listener), ssl_(SSL_new(context)) {
        const int flags = ::fcntl(socket, F_GETFL);
        ::fcntl(socket, F_SETFL, flags | O_NONBLOCK);
        if (ssl_ != nullptr) {
            SSL_set_fd(ssl_, socket);
            SSL_set_app_data(ssl_, this);
        }
    }
    ~TlsConnection() override { SSL_free(ssl_); }
    TlsConnection(const TlsConnection&) = delete;
    TlsConnection& operator=(const TlsConnection&) = delete;

    static TlsConnection* Of(const httplib::Request& request) {
        return request.ssl != nullptr ? static_cast<TlsConnection*>(SSL_get_app_data(request.ssl))
                                      : nullptr;
    }

    SSL* Ssl() const { return ssl_; }

    bool Handshake(Clock::time_point deadline) {
        return ssl_ != nullptr &&
               Complete([this] { return SSL_accept(ssl_); }, [deadline] { return deadline; }) > 0;
    }

    // Waits up to `idle` for the next request to begin; false when the
    // client has gone or stays silent, or the server stops.
    bool AwaitRequest(std::chrono::microseconds idle) const {
        return SSL_has_pending(ssl_) == 1 || WaitFor(POLLIN, Clock::now() + idle);
    }

    // The request that begins now must have arrived whole by `deadline`,
    // and in no more than `bytes`.
    void BeginRequest(Clock::time_point deadline, std::size_t bytes) {
        requestDeadline_ = deadline;
        requestBytesLeft_ = bytes;
    }

    void CloseAfterAnswer() { closeAfterAnswer_ = true; }
    bool ClosesAfterAnswer() const { return closeAfterAnswer_; }

    // Says goodbye to the client: the TLS session ends cleanly.
    void Shutdown() { SSL_shutdown(ssl_); }

    bool is_readable() const override {
        return SSL_has_pending(ssl_) == 1 || WaitFor(POLLIN, ReadUntil());
    }
    bool is_writable() const override { return WaitFor(POLLOUT, Clock::now() + timeouts_.write); }

    ssize_t read(char* bytes, size_t size) override {
        if (requestBytesLeft_ == 0) {
            closeAfterAnswer_ = true;  // what follows cannot be told from the rest of this one
            return -1;
        }
        const int count = static_cast<int>(std::min({size, requestBytesLeft_, size_t{INT_MAX}}));
        const int got =
            Complete([&] { return SSL_read(ssl_, bytes, count); }, [this] { return ReadUntil(); });
        requestBytesLeft_ -= static_cast<std::size_t>(std::max(got, 0));
        return got;
    }
    ssize_t write(const char* bytes, size_t size) override {
        // A write that has to wait is repeated with the same bytes, as
        // OpenSSL asks; each wait for room may take the write time-out.
        const int count = static_cast<int>(std::min<size_t>(size, INT_MAX));
        return Complete([&] { return SSL_write(ssl_, bytes, count); },
                        [this] { return Clock::now() + timeouts_.write; });
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        AddressOf(socket_, true, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        AddressOf(socket_, false, ip, port);
    }
    ::socket_t socket() const override { return socket_; }

  private:
    Clock::time_point ReadUntil() const {
        return std::min(Clock::now() + timeouts_.read, requestDeadline_);
    }

    // Waits until the socket is ready for `events` (or has failed), by
    // `until`; false when it is not, or when the server stops.
    bool WaitFor(short events, Clock::time_point until) const {
        for (;;) {
            if (listener_.load() == INVALID_SOCKET) {
                return false;
            }
            const auto left = until - Clock::now();
            if (left <= Clock::duration::zero()) {
                return false;
            }
            const auto slice = std::min<Clock::duration>(left, kStopCheck);
            pollfd entry{socket_, events, 0};
            const int ready = ::poll(
                &entry, 1,
                static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(slice).count()));
            if (ready > 0) {
                return true;
            }
            if (ready < 0 && errno != EINTR) {
                return false;
            }
        }
    }

    // Runs `call` (an OpenSSL call on this connection) until it is done,
    // waiting for the socket as OpenSSL asks, each wait until `until()`. Its
    // result when positive; 0 when the client ended the TLS session; -1 on
    // failure.
    template <typename Call, typename Until>
    int Complete(Call call, Until until) const {
        for (;;) {
            ERR_clear_error();
            const int result = call();
            if (result > 0) {
                return result;
            }
            switch (SSL_get_error(ssl_, result)) {
                case SSL_ERROR_WANT_READ:
                    if (!WaitFor(POLLIN, until())) {
                        return -1;
                    }
                    break;
                case SSL_ERROR_WANT_WRITE:
                    if (!WaitFor(POLLOUT, until())) {
                        return -1;
                    }
                    break;
                case SSL_ERROR_ZERO_RETURN:
                    return 0;
                default:
                    return -1;
            }
        }
    }

    const int socket_;
    const Timeouts timeouts_;
    const std::atomic<::socket_t>& listener_;
    SSL* const ssl_;
    Clock::time_point requestDeadline_ = Clock::time_point::max();
    std::size_t requestBytesLeft_ = 0;
    bool closeAfterAnswer_ = false;
};

// The methods whose body the library reads (to the end of the connection
// when the request gives no length); any other request's body it leaves
// unread.
bool BodyIsRead(std::string_view method) {
    return method == "POST" || method == "PUT" || method == "PATCH" || method == "PRI" ||
           method == "DELETE";
}

// The status that refuses `request` for its body, or 0 when it may be
// answered. A body that may be answered but that the library does not read
// closes the connection after the answer.
int BodyRefusal(const httplib::Request& request, std::size_t maxBodyBytes,
                TlsConnection& connection) {
    if (request.has_header("Transfer-Encoding")) {
        return 413;
    }
    if (!request.has_header("Content-Length")) {
        return BodyIsRead(request.method) ? 411 : 0;
    }
    const std::string text = request.get_header_value("Content-Length");
    std::uint64_t length = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), length);
    if (error != std::errc() || end != text.data() + text.size() || length > maxBodyBytes) {
        return 413;
    }
    if (length > 0 && !BodyIsRead(request.method)) {
        connection.CloseAfterAnswer();
    }
    return 0;
}

}  // namespace

GuardedServer::GuardedServer(const char* certificate, const char* privateKey,
                             ConnectionLimits limits)
    : httplib::SSLServer(certificate, privateKey), limits_(limits) {
    set_payload_max_length(limits_.maxBodyBytes);
    set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
        TlsConnection* connection = TlsConnection::Of(request);
        if (connection == nullptr) {
            return HandlerResponse::Unhandled;
        }
        const int refusal = BodyRefusal(request, limits_.maxBodyBytes, *connection);
        if (refusal == 0) {
            return HandlerResponse::Unhandled;
        }
        // The body stays unread, so nothing after it on the connection can be
        // told from it.
        connection->CloseAfterAnswer();
        response.status = refusal;
        response.set_header("Connection", "close");
        return HandlerResponse::Handled;
    });
    new_task_queue = [this] {
        return new WorkerPool(limits_.workers,
                              [this] { return svr_sock_.load() == INVALID_SOCKET; });
    };
}

void GuardedServer::WidenBacklog() {
    ::listen(svr_sock_.load(), limits_.waitingConnections);
}

bool GuardedServer::process_and_close_socket(::socket_t sock) {
    const TlsConnection::Timeouts timeouts{Duration(read_timeout_sec_, read_timeout_usec_),
                                           Duration(write_timeout_sec_, write_timeout_usec_)};
    bool served = false;
    {
        TlsConnection connection(ssl_context(), sock, timeouts, svr_sock_);
        if (connection.Handshake(Clock::now() + limits_.requestReadLimit)) {
            const auto idle = std::chrono::seconds(keep_alive_timeout_sec_);
            for (std::size_t left = keep_alive_max_count_;
                 left > 0 && connection.AwaitRequest(idle); --left) {
                connection.BeginRequest(Clock::now() + limits_.requestReadLimit,
                                        limits_.maxHeaderBytes + limits_.maxBodyBytes);
                bool closedByClient = false;
                served = process_request(
                    connection, left == 1, closedByClient,
                    [&connection](httplib::Request& request) { request.ssl = connection.Ssl(); });
                if (!served || closedByClient || connection.ClosesAfterAnswer()) {
                    break;
                }
            }
            if (served) {
                connection.Shutdown();
            }
        }
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return served;
}

}  // namespace teebasket::portal
