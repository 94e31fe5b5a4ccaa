// GuardedServer: cpp-httplib's HTTPS server with the limits that keep a few
// misbehaving clients from taking the portal from everyone else. Internal to
// the portal's server.
//
// - A worker is given a connection only once a whole request of it has
//   arrived. Until then the connection waits in a lobby that one thread
//   watches for all of them: its TLS handshake, the request's headers and its
//   body come in there, however slowly, and a silent or trickling client
//   holds no worker.
// - The handshake must be done within `requestReadLimit` of connecting, and
//   each request must have arrived whole within `requestReadLimit` of its
//   first byte; a connection between requests is closed once it has been
//   idle for the keep-alive time. A request over its limit is answered 408
//   and its connection closed.
// - A request body is at most `maxBodyBytes`. A larger one, or one in chunks
//   or without a length (which the library would read to the end of the
//   connection), is answered with 413 or 411 unread, and the connection ends.
//   Headers of more than `maxHeaderBytes` in all end the connection.
// - The lobby holds at most `lobbyConnections`; a new connection beyond them
//   ends the one that has waited longest. Whole requests wait for a worker in
//   a queue, and while as many wait as there are workers no connection is
//   taken: the others wait in the listen queue.
// - Handlers that keep a worker waiting on purpose (HoldWorker) hold at most
//   `heldWorkers` at once, and never the last free one.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <utility>

namespace teebasket::portal {

struct ConnectionLimits {
    std::size_t workers = 32;
    // Connections that may wait in the listen queue while every worker is
    // busy (the library's own queue holds five).
    int waitingConnections = 128;
    std::chrono::milliseconds requestReadLimit{10000};
    std::size_t maxHeaderBytes = 64 * 1024;
    std::size_t maxBodyBytes = 64 * 1024;
    std::size_t lobbyConnections = 512;
    std::size_t heldWorkers = 4;
};

class GuardedServer;
class TlsConnection;
class WorkerPool;

// A worker that a handler keeps waiting on purpose, for as long as this
// lives; false when none may be held (see GuardedServer::HoldWorker).
class HeldWorker {
  public:
    HeldWorker() = default;
    ~HeldWorker();
    HeldWorker(HeldWorker&& other) noexcept : held_(std::exchange(other.held_, nullptr)) {}
    HeldWorker& operator=(HeldWorker&&) = delete;
    HeldWorker(const HeldWorker&) = delete;
    HeldWorker& operator=(const HeldWorker&) = delete;

    explicit operator bool() const { return held_ != nullptr; }

  private:
    friend class GuardedServer;
    explicit HeldWorker(std::atomic<std::size_t>* held) : held_(held) {}

    std::atomic<std::size_t>* held_ = nullptr;
};

class GuardedServer : public httplib::SSLServer {
  public:
    GuardedServer(const char* certificate, const char* privateKey, ConnectionLimits limits);

    // Lets the bound socket hold `waitingConnections` connections not yet
    // accepted (the library listens with a backlog of 5). Called once the
    // port is bound, before any thread that may stop the server exists: a
    // stop closes the socket from that thread.
    void WidenBacklog();

    // Lets the calling handler keep its worker waiting (a fault path that
    // stalls): granted while fewer than `heldWorkers` are held and another
    // worker stays free for everyone else.
    HeldWorker HoldWorker();

  private:
    bool process_and_close_socket(::socket_t sock) override;
    // Runs on a worker: answers the request that has arrived whole on
    // `connection`, then hands the connection back to the lobby for its
    // next request, or closes it.
    void ServeRequest(std::unique_ptr<TlsConnection> connection);

    ConnectionLimits limits_;
    std::atomic<WorkerPool*> pool_{nullptr};
    std::atomic<std::size_t> heldWorkers_{0};
};

}  // namespace teebasket::portal
