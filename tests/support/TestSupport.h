// TestSupport: helpers shared by the engine, CLI, window and fetcher tests.
// No Qt. Everything here works on real files and real processes.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace teebasket::test {

// A fresh folder under the system's temporary folder, removed with everything
// in it (read-only entries included) when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// One request as the portal received it (from its request log).
struct PortalRequest {
    std::string method;
    std::string target;  // path and query, as sent
    std::string userAgent;
    std::string connection;  // the portal's number of the connection it came over
};

// A running teebasket-portal on 127.0.0.1 with a free port, its own fresh
// certificate folder and its own request log. Throws std::runtime_error when
// the portal does not start.
class PortalProcess {
  public:
    // Default member initializers let callers name only what they need:
    // PortalProcess({.pagesDir = dir}).
    struct Options {
        std::vector<std::string> extraArgs{};  // e.g. {"--courses-per-prefecture", "3"}
        std::filesystem::path pagesDir{};      // fixture mode when set
        std::filesystem::path tlsDir{};        // empty: a fresh folder of its own
    };

    PortalProcess();  // generated mode, default options
    explicit PortalProcess(Options options);
    ~PortalProcess();  // SIGTERM, then waits for the process to end
    PortalProcess(const PortalProcess&) = delete;
    PortalProcess& operator=(const PortalProcess&) = delete;

    int port() const { return port_; }
    int pid() const { return pid_; }            // -1 once stopped
    std::string host() const;                   // "127.0.0.1:PORT"
    std::string baseUrl() const;                // "https://127.0.0.1:PORT"
    std::filesystem::path certificate() const;  // the portal's cert.pem, to trust

    // Every request the portal has received so far, in order.
    std::vector<PortalRequest> requests() const;

    // Sends `signal` (SIGTERM by default) and waits; returns the status as
    // from waitpid (the destructor then does nothing more), or -1 when the
    // portal was already stopped. For tests of the portal's shutdown.
    int stop(int signal = SIGTERM);

  private:
    void ClosePipe();

    TempDir workDir_;
    std::filesystem::path tlsDir_;
    int pid_ = -1;
    int port_ = 0;
    int stdinPipe_ = -1;  // the write end of the portal's standard input
};

// The path of the teebasket-portal executable of this build.
std::filesystem::path PortalExecutable();

// The whole file as bytes; throws std::runtime_error when it cannot be read.
std::string ReadFileBytes(const std::filesystem::path& path);

// Writes `bytes` as the whole file, creating missing parent folders; throws
// std::runtime_error on failure.
void WriteFileBytes(const std::filesystem::path& path, std::string_view bytes);

// The names in `dir` (not recursive), sorted.
std::vector<std::string> ListFolder(const std::filesystem::path& dir);

// A port on 127.0.0.1 that refuses every connection for as long as the
// object lives: it holds the port bound without listening, so no other test
// (or portal started with port 0) can take the number meanwhile.
class ClosedLoopbackPort {
  public:
    ClosedLoopbackPort();  // throws std::runtime_error when no port can be bound
    ~ClosedLoopbackPort();
    ClosedLoopbackPort(const ClosedLoopbackPort&) = delete;
    ClosedLoopbackPort& operator=(const ClosedLoopbackPort&) = delete;

    int port() const { return port_; }
    std::string host() const;  // "127.0.0.1:PORT"

  private:
    std::intptr_t fd_ = -1;  // a socket descriptor, or a SOCKET on Windows
    int port_ = 0;
};

// Polls `condition` every 20 ms until it holds (true) or `limit` has passed
// (false).
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(60));

}  // namespace teebasket::test
