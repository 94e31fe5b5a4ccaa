// PortalServer: the demo portal's HTTPS server on 127.0.0.1.
//
// It serves the listing host's and the booking host's paths on one port:
//   /doc/area/<slug>/?sort=kana&page=N   listing page of a prefecture
//   /guide/disp/c_id/<id>                 detail page of a course
//   /voice/detail/c_id/<id>               review page of a course
// from generated courses (PortalPages.h), or, in fixture mode, from the files
// DIR/listing/<slug>.html and DIR/detail/<id>.html, bytes unchanged. Anything
// else answers 404 with a small HTML page.
//
// Each request is logged (--request-log) with the number of the connection it
// came over, counted from 1 in the order connections carried their first
// request.
//
// A slug or course identifier that starts with "x-" names a fault path, in
// both modes (x-echo-agent, x-bytes-N, x-stall-head, x-reset, ...; the list
// is FaultPathNames() and the README describes each).
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "PortalPages.h"
#include "PortalTls.h"

namespace teebasket::portal {

inline constexpr int kDefaultPort = 48443;

struct PortalOptions {
    int port = kDefaultPort;           // 0 picks a free port
    std::filesystem::path tlsDir;      // empty: DefaultTlsDir()
    std::filesystem::path pagesDir;    // fixture mode when set
    std::filesystem::path requestLog;  // one line per request when set
    CatalogSettings catalog;
    std::chrono::seconds stallLimit{600};  // longest a stalling fault path holds a request
    // A kept-alive connection is closed after this many requests, or when it
    // has been idle this long (as common servers do).
    std::uint64_t keepAliveRequests = 1000;
    std::chrono::seconds keepAliveIdle{5};
    bool stopOnStdinEof = false;  // stop when standard input reaches its end
};

enum class ParseOutcome { Run, Help, Error };

// Reads the command line (without the program name). On Error, `error` says
// what is wrong (UTF-8).
ParseOutcome ParsePortalOptions(const std::vector<std::string>& args, PortalOptions& options,
                                std::string& error);

// The usage text of teebasket-portal.
std::string PortalUsage();

// The names of the fault paths (a trailing N stands for a number).
std::vector<std::string> FaultPathNames();

class PortalServer {
  public:
    PortalServer(PortalOptions options, const TlsFiles& tls);
    ~PortalServer();
    PortalServer(const PortalServer&) = delete;
    PortalServer& operator=(const PortalServer&) = delete;

    // Binds 127.0.0.1:options.port. Returns false and fills `error` (UTF-8)
    // when the certificate cannot be loaded or the port cannot be bound.
    bool Bind(std::string& error);

    // The bound port (valid after Bind).
    int Port() const;

    // Serves until Stop. Returns false when serving failed.
    bool Serve();

    // Ends Serve and every stalling answer; safe from any thread.
    void Stop();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace teebasket::portal
