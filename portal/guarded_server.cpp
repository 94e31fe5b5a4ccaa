#include "guarded_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

namespace teebasket::portal {
namespace {

using Clock = std::chrono::steady_clock;

// How often a wait looks whether the server is stopping.
constexpr auto kStopCheck = std::chrono::milliseconds(100);

constexpr std::string_view kRequestTimeout =
    "HTTP/1.1 408 Request Timeout\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";

std::chrono::microseconds Duration(time_t seconds, time_t microseconds) {
    return std::chrono::seconds(seconds) + std::chrono::microseconds(microseconds);
}

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

// True when `text` begins with `prefix` (lower case), in any case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char lower, char any) {
               return std::tolower(static_cast<unsigned char>(any)) == lower;
           });
}

// The value of the header `name` (lower case) in the request head `head`,
// without the blanks around it; nullopt when the head has no such header.
std::optional<std::string_view> HeaderValue(std::string_view head, std::string_view name) {
    for (std::size_t start = head.find('\n'); start != std::string_view::npos;
         start = head.find('\n', start + 1)) {
        std::string_view line = head.substr(start + 1);
        line = line.substr(0, line.find('\n'));
        if (StartsWithNoCase(line, name) && line.size() > name.size() && line[name.size()] == ':') {
            std::string_view value = line.substr(name.size() + 1);
            const std::size_t first = value.find_first_not_of(" \t");
            const std::size_t last = value.find_last_not_of(" \t\r");
            return first == std::string_view::npos ? std::string_view()
                                                   : value.substr(first, last - first + 1);
        }
    }
    return std::nullopt;
}

}  // namespace

// One TLS connection on a non-blocking socket, which it owns. In the lobby
// it reads ahead without waiting (ReadAhead) until a request has arrived
// whole; on a worker it is the library's stream of requests, read from what
// was read ahead. Every wait there has an end: a read waits at most the read
// time-out, and never past the end of the current request's time to arrive;
// a write waits at most the write time-out; and no wait outlasts the server.
class TlsConnection final : public httplib::Stream {
  public:
    struct Timeouts {
        std::chrono::microseconds read;
        std::chrono::microseconds write;
    };

    // How far a request has come, as ReadAhead finds it.
    enum class Arrival {
        Waiting,  // more must come: wait for the socket to be ready for WantedEvents()
        Whole,    // a whole request is here (or more than a request may be)
        Ended     // the client has gone, or the TLS session failed
    };

    TlsConnection(SSL_CTX* context, int socket, Timeouts timeouts,
                  const std::atomic<::socket_t>& listener, std::size_t requests,
                  std::size_t requestBytes, std::size_t maxBodyBytes)
        : socket_(socket),
          timeouts_(timeouts),
          listener_(listener),
          ssl_(SSL_new(context)),
          requestsLeft_(requests),
          requestBytes_(requestBytes),
          maxBodyBytes_(maxBodyBytes) {
        const int flags = ::fcntl(socket, F_GETFL);
        ::fcntl(socket, F_SETFL, flags | O_NONBLOCK);
        if (ssl_ != nullptr) {
            SSL_set_fd(ssl_, socket);
            SSL_set_app_data(ssl_, this);
        }
    }
    ~TlsConnection() override {
        SSL_free(ssl_);
        ::shutdown(socket_, SHUT_RDWR);
        ::close(socket_);
    }
    TlsConnection(const TlsConnection&) = delete;
    TlsConnection& operator=(const TlsConnection&) = delete;

    static TlsConnection* Of(const httplib::Request& request) {
        return request.ssl != nullptr ? static_cast<TlsConnection*>(SSL_get_app_data(request.ssl))
                                      : nullptr;
    }

    bool Valid() const { return ssl_ != nullptr; }
    SSL* Ssl() const { return ssl_; }
    bool Handshaken() const { return handshaken_; }
    // True once bytes of the next request have arrived.
    bool RequestBegun() const { return Unread() > 0; }
    short WantedEvents() const { return wantedEvents_; }

    // Goes on with the handshake, then takes in what the client has sent so
    // far, without waiting.
    Arrival ReadAhead() {
        if (!handshaken_) {
            ERR_clear_error();
            const int result = SSL_accept(ssl_);
            if (result <= 0) {
                return WaitingFor(result) ? Arrival::Waiting : Arrival::Ended;
            }
            handshaken_ = true;
        }
        buffered_.erase(0, taken_);
        taken_ = 0;
        while (buffered_.size() < requestBytes_) {
            char chunk[16 * 1024];
            ERR_clear_error();
            const int got = SSL_read(
                ssl_, chunk,
                static_cast<int>(std::min(sizeof chunk, requestBytes_ - buffered_.size())));
            if (got <= 0) {
                if (RequestIsWhole()) {
                    return Arrival::Whole;
                }
                return WaitingFor(got) ? Arrival::Waiting : Arrival::Ended;
            }
            buffered_.append(chunk, static_cast<std::size_t>(got));
        }
        return Arrival::Whole;
    }

    // The request that begins now must have arrived whole by `deadline`.
    // False when the connection has carried as many requests as it may
    // already.
    bool BeginRequest(Clock::time_point deadline) {
        if (requestsLeft_ == 0) {
            return false;
        }
        --requestsLeft_;
        requestDeadline_ = deadline;
        requestBytesLeft_ = requestBytes_;
        return true;
    }
    bool LastRequest() const { return requestsLeft_ == 0; }

    // True when what was read ahead holds a whole request: its head and as
    // much body as it announces. A head that announces a body in chunks or
    // one over the limit counts as whole: its request is refused unread.
    bool RequestIsWhole() const {
        const std::string_view unread = std::string_view(buffered_).substr(taken_);
        const std::size_t headEnd = unread.find("\r\n\r\n");
        if (headEnd == std::string_view::npos) {
            return false;
        }
        const std::string_view head = unread.substr(0, headEnd + 2);
        if (HeaderValue(head, "transfer-encoding")) {
            return true;
        }
        const std::optional<std::string_view> length = HeaderValue(head, "content-length");
        if (!length) {
            return true;
        }
        std::size_t bodyBytes = 0;
        const auto [end, error] =
            std::from_chars(length->data(), length->data() + length->size(), bodyBytes);
        if (error != std::errc() || end != length->data() + length->size() ||
            bodyBytes > maxBodyBytes_) {
            return true;
        }
        return unread.size() >= headEnd + 4 + bodyBytes;
    }

    void CloseAfterAnswer() { closeAfterAnswer_ = true; }
    bool ClosesAfterAnswer() const { return closeAfterAnswer_; }

    // Says goodbye to the client: the TLS session ends cleanly.
    void Shutdown() { SSL_shutdown(ssl_); }

    // Tells a client whose request did not arrive in time so, as far as the
    // socket takes it at once, before the connection closes.
    void AnswerTimedOut() {
        ERR_clear_error();
        SSL_write(ssl_, kRequestTimeout.data(), static_cast<int>(kRequestTimeout.size()));
        Shutdown();
    }

    bool is_readable() const override {
        return Unread() > 0 || SSL_has_pending(ssl_) == 1 || WaitFor(POLLIN, ReadUntil());
    }
    bool is_writable() const override { return WaitFor(POLLOUT, Clock::now() + timeouts_.write); }

    ssize_t read(char* bytes, size_t size) override {
        if (requestBytesLeft_ == 0) {
            closeAfterAnswer_ = true;  // what follows cannot be told from the rest of this one
            return -1;
        }
        const std::size_t count = std::min({size, requestBytesLeft_, size_t{INT_MAX}});
        if (Unread() > 0) {
            const std::size_t taken = std::min(count, Unread());
            std::memcpy(bytes, buffered_.data() + taken_, taken);
            taken_ += taken;
            requestBytesLeft_ -= taken;
            return static_cast<ssize_t>(taken);
        }
        const int got = Complete([&] { return SSL_read(ssl_, bytes, static_cast<int>(count)); },
                                 [this] { return ReadUntil(); });
        if (got <= 0) {
            // Whatever the library answers, no request can follow on this
            // connection: the one it read is cut off.
            closeAfterAnswer_ = true;
        }
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
    std::size_t Unread() const { return buffered_.size() - taken_; }

    Clock::time_point ReadUntil() const {
        return std::min(Clock::now() + timeouts_.read, requestDeadline_);
    }

    // True when the OpenSSL call that returned `result` only has to wait
    // for the socket; notes what for.
    bool WaitingFor(int result) {
        switch (SSL_get_error(ssl_, result)) {
            case SSL_ERROR_WANT_READ:
                wantedEvents_ = POLLIN;
                return true;
            case SSL_ERROR_WANT_WRITE:
                wantedEvents_ = POLLOUT;
                return true;
            default:
                return false;
        }
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
    std::size_t requestsLeft_;
    const std::size_t requestBytes_;  // the most a request may take, head and body
    const std::size_t maxBodyBytes_;
    bool handshaken_ = false;
    short wantedEvents_ = POLLIN;
    std::string buffered_;  // read ahead; the part before taken_ is the library's already
    std::size_t taken_ = 0;
    Clock::time_point requestDeadline_ = Clock::time_point::max();
    std::size_t requestBytesLeft_ = 0;
    bool closeAfterAnswer_ = false;
};

namespace {

using Connection = std::unique_ptr<TlsConnection>;

// Where connections wait without a worker until a whole request of theirs
// has arrived: one thread watches them all, goes on with each as its socket
// is ready, hands each whole request to `admit`, and ends the connections
// whose time is up.
class Lobby {
  public:
    struct Limits {
        std::size_t connections;
        std::chrono::milliseconds request;  // handshake; a request from its first byte
        std::chrono::milliseconds idle;     // between requests
    };

    Lobby(Limits limits, std::function<void(Connection)> admit)
        : limits_(limits),
          admit_(std::move(admit)),
          wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
        thread_ = std::thread([this] { Run(); });
    }
    ~Lobby() {
        Stop();
        if (wake_ >= 0) {
            ::close(wake_);
        }
    }
    Lobby(const Lobby&) = delete;
    Lobby& operator=(const Lobby&) = delete;

    // Takes `connection` in; once the lobby has stopped, closes it.
    void Enter(Connection connection) {
        {
            const std::lock_guard lock(mutex_);
            if (stopping_) {
                return;
            }
            arrivals_.push_back(std::move(connection));
        }
        Wake();
    }

    // Closes every connection waiting, and any that comes later.
    void Stop() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        Wake();
        if (thread_.joinable()) {
            thread_.join();
        }
    }

  private:
    enum class Stage { Handshake, Idle, Request };

    struct Waiting {
        Connection connection;
        Stage stage;
        Clock::time_point deadline;
    };

    void Wake() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wake_, &one, sizeof one);
    }

    static Stage StageOf(const TlsConnection& connection) {
        if (!connection.Handshaken()) {
            return Stage::Handshake;
        }
        return connection.RequestBegun() ? Stage::Request : Stage::Idle;
    }

    Clock::time_point DeadlineOf(Stage stage, Clock::time_point from) const {
        return from + (stage == Stage::Idle ? limits_.idle : limits_.request);
    }

    void Run() {
        std::vector<pollfd> sockets;
        for (;;) {
            sockets.assign(1, pollfd{wake_, POLLIN, 0});
            Clock::time_point next = Clock::time_point::max();
            for (const Waiting& waiting : waiting_) {
                sockets.push_back(
                    {waiting.connection->socket(), waiting.connection->WantedEvents(), 0});
                next = std::min(next, waiting.deadline);
            }
            const auto wait = next == Clock::time_point::max()
                                  ? std::chrono::milliseconds(-1)
                                  : std::chrono::ceil<std::chrono::milliseconds>(
                                        std::max(next - Clock::now(), Clock::duration::zero()));
            ::poll(sockets.data(), sockets.size(), static_cast<int>(wait.count()));
            // The wake-up is taken before the arrivals: one that comes
            // after them wakes the next wait.
            std::uint64_t woken = 0;
            [[maybe_unused]] const ssize_t read = ::read(wake_, &woken, sizeof woken);
            std::vector<Connection> arrived;
            {
                const std::lock_guard lock(mutex_);
                if (stopping_) {
                    break;
                }
                arrived.swap(arrivals_);
            }
            // Those already waiting, then the new ones (which may have
            // brought their request along).
            std::vector<Waiting> still;
            const Clock::time_point now = Clock::now();
            for (std::size_t i = 0; i < waiting_.size(); ++i) {
                GoOn(std::move(waiting_[i]), sockets[i + 1].revents != 0, now, still);
            }
            for (Connection& connection : arrived) {
                const Stage stage = StageOf(*connection);
                GoOn(Waiting{std::move(connection), stage, DeadlineOf(stage, now)}, true, now,
                     still);
            }
            waiting_.swap(still);
            if (waiting_.size() > limits_.connections) {
                // The ones that have waited longest make room.
                waiting_.erase(waiting_.begin(),
                               waiting_.begin() + static_cast<std::ptrdiff_t>(waiting_.size() -
                                                                              limits_.connections));
            }
        }
        waiting_.clear();
        const std::lock_guard lock(mutex_);
        arrivals_.clear();
    }

    // Goes on with one waiting connection (`ready`: its socket is ready for
    // what it waits for), and keeps it in `still` while it must wait on.
    void GoOn(Waiting waiting, bool ready, Clock::time_point now, std::vector<Waiting>& still) {
        if (ready) {
            switch (waiting.connection->ReadAhead()) {
                case TlsConnection::Arrival::Whole:
                    admit_(std::move(waiting.connection));
                    return;
                case TlsConnection::Arrival::Ended:
                    return;
                case TlsConnection::Arrival::Waiting:
                    break;
            }
            const Stage stage = StageOf(*waiting.connection);
            if (stage != waiting.stage) {
                waiting.stage = stage;
                waiting.deadline = DeadlineOf(stage, now);
            }
        }
        if (now < waiting.deadline) {
            still.push_back(std::move(waiting));
        } else if (waiting.stage == Stage::Request) {
            waiting.connection->AnswerTimedOut();
        }
    }

    const Limits limits_;
    const std::function<void(Connection)> admit_;
    const int wake_;
    std::vector<Waiting> waiting_;  // the lobby thread's own, oldest first
    std::mutex mutex_;
    std::vector<Connection> arrivals_;
    bool stopping_ = false;
    std::thread thread_;
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

// The workers, and the lobby that hands them whole requests. The library's
// accepting loop gives each new connection over through enqueue(), which
// takes it into the lobby at once, unless as many whole requests wait for a
// worker as there are workers: then it waits, and no connection is accepted
// meanwhile.
class WorkerPool final : public httplib::TaskQueue {
  public:
    WorkerPool(std::size_t workers, Lobby::Limits lobbyLimits,
               std::function<void(Connection)> serve, std::function<bool()> stopping)
        : workers_(workers),
          serve_(std::move(serve)),
          stopping_(std::move(stopping)),
          lobby_(lobbyLimits, [this](Connection connection) { Submit(std::move(connection)); }) {
        for (std::size_t i = 0; i < workers; ++i) {
            threads_.emplace_back([this] { Work(); });
        }
    }

    // Runs `job`, the hand-over of a new connection, on the accepting
    // thread; a stopping server's job runs at once, and ends at once.
    void enqueue(std::function<void()> job) override {
        {
            std::unique_lock lock(mutex_);
            while (jobs_.size() >= workers_ && !stopping_()) {
                taken_.wait_for(lock, kStopCheck);
            }
        }
        job();
    }

    void shutdown() override {
        lobby_.Stop();
        {
            const std::lock_guard lock(mutex_);
            shuttingDown_ = true;
        }
        ready_.notify_all();
        for (std::thread& thread : threads_) {
            thread.join();
        }
    }

    // Lets `connection` wait in the lobby for its next request.
    void Park(Connection connection) { lobby_.Enter(std::move(connection)); }

    // The workers serving a request now.
    std::size_t Busy() {
        const std::lock_guard lock(mutex_);
        return busy_;
    }

  private:
    void Submit(Connection connection) {
        {
            const std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(connection));
        }
        ready_.notify_one();
    }

    void Work() {
        std::unique_lock lock(mutex_);
        for (;;) {
            ready_.wait(lock, [this] { return !jobs_.empty() || shuttingDown_; });
            if (jobs_.empty()) {
                return;
            }
            Connection connection = std::move(jobs_.front());
            jobs_.pop_front();
            ++busy_;
            taken_.notify_one();
            lock.unlock();
            serve_(std::move(connection));
            lock.lock();
            --busy_;
        }
    }

    const std::size_t workers_;
    const std::function<void(Connection)> serve_;
    const std::function<bool()> stopping_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::condition_variable taken_;
    std::deque<Connection> jobs_;  // connections with a whole request, oldest first
    std::size_t busy_ = 0;
    bool shuttingDown_ = false;
    std::vector<std::thread> threads_;
    Lobby lobby_;
};

HeldWorker::~HeldWorker() {
    if (held_ != nullptr) {
        --*held_;
    }
}

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
    // Called as serving begins, once the keep-alive settings are made.
    new_task_queue = [this] {
        const Lobby::Limits lobby{limits_.lobbyConnections, limits_.requestReadLimit,
                                  std::chrono::seconds(keep_alive_timeout_sec_)};
        auto* pool = new WorkerPool(
            limits_.workers, lobby,
            [this](Connection connection) { ServeRequest(std::move(connection)); },
            [this] { return svr_sock_.load() == INVALID_SOCKET; });
        pool_.store(pool);
        return pool;
    };
}

void GuardedServer::WidenBacklog() {
    ::listen(svr_sock_.load(), limits_.waitingConnections);
}

HeldWorker GuardedServer::HoldWorker() {
    WorkerPool* const pool = pool_.load();
    std::size_t held = heldWorkers_.load();
    do {
        if (pool == nullptr || held >= limits_.heldWorkers || pool->Busy() >= limits_.workers) {
            return {};
        }
    } while (!heldWorkers_.compare_exchange_weak(held, held + 1));
    return HeldWorker(&heldWorkers_);
}

bool GuardedServer::process_and_close_socket(::socket_t sock) {
    const TlsConnection::Timeouts timeouts{Duration(read_timeout_sec_, read_timeout_usec_),
                                           Duration(write_timeout_sec_, write_timeout_usec_)};
    auto connection = std::make_unique<TlsConnection>(
        ssl_context(), sock, timeouts, svr_sock_, keep_alive_max_count_,
        limits_.maxHeaderBytes + limits_.maxBodyBytes, limits_.maxBodyBytes);
    WorkerPool* const pool = pool_.load();
    if (pool == nullptr || !connection->Valid()) {
        return false;
    }
    pool->Park(std::move(connection));
    return true;
}

void GuardedServer::ServeRequest(std::unique_ptr<TlsConnection> connection) {
    if (!connection->BeginRequest(Clock::now() + limits_.requestReadLimit)) {
        return;
    }
    // A request handed over unfinished (its head over the limit) is
    // answered with the end of the connection announced.
    const bool last = connection->LastRequest() || !connection->RequestIsWhole();
    bool closedByClient = false;
    const bool served = process_request(
        *connection, last, closedByClient,
        [&connection](httplib::Request& request) { request.ssl = connection->Ssl(); });
    WorkerPool* const pool = pool_.load();
    if (served && !closedByClient && !connection->ClosesAfterAnswer() && !last && pool != nullptr) {
        pool->Park(std::move(connection));
        return;
    }
    if (served) {
        connection->Shutdown();
    }
}

}  // namespace teebasket::portal
