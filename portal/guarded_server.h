// GuardedServer: cpp-httplib's HTTPS server with the limits that keep a few
// misbehaving clients from taking the portal from everyone else. Internal to
// the portal's server.
//
// - A connection finishes its TLS handshake, and each request its headers and
//   body, within `requestReadLimit`, however slowly it trickles them in; the
//   library alone waits only for each read, so that a client sending a byte
//   every few seconds held a worker for ever.
// - A request body is at most `maxBodyBytes`. A larger one, or one in chunks
//   or without a length (which the library would read to the end of the
//   connection), is answered with 413 or 411 unread, and the connection ends.
//   Headers of more than `maxHeaderBytes` in all end the connection.
// - No more connections are taken than there are workers: the others wait in
//   the listen queue until a worker is free, instead of piling up inside.
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>

namespace teebasket::portal {

struct ConnectionLimits {
    std::size_t workers = 32;
    // Connections that may wait in the listen queue while every worker is
    // busy (the library's own queue holds five).
    int waitingConnections = 128;
    std::chrono::milliseconds requestReadLimit{10000};
    std::size_t maxHeaderBytes = 64 * 1024;
    std::size_t maxBodyBytes = 64 * 1024;
};

class GuardedServer : public httplib::SSLServer {
  public:
    GuardedServer(const char* certificate, const char* privateKey, ConnectionLimits limits);

    // Lets the bound socket hold `waitingConnections` connections not yet
    // accepted (the library listens with a backlog of 5). Called once the
    // port is bound, before any thread that may stop the server exists: a
    // stop closes the socket from that thread.
    void WidenBacklog();

  private:
    bool process_and_close_socket(::socket_t sock) override;

    ConnectionLimits limits_;
};

}  // namespace teebasket::portal
