// TestSupport's processes, folders and sockets with POSIX calls.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "TestSupport.h"

extern char** environ;

namespace teebasket::test {
namespace {

namespace fs = std::filesystem;

// Generous bounds: the portal makes a certificate on its first start and the
// machine may be busy.
constexpr int kStartTimeoutMs = 60'000;
constexpr auto kStopTimeout = std::chrono::seconds(30);

std::runtime_error Failure(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

// Reads the child's first line from `fd`; empty when it ended or went quiet.
std::string ReadFirstLine(int fd) {
    std::string line;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, 200) <= 0) {
            continue;
        }
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n <= 0) {
            break;
        }
        if (c == '\n') {
            return line;
        }
        line += c;
    }
    return {};
}

int WaitWithTimeout(int pid, std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        const int result = ::waitpid(pid, &status, WNOHANG);
        if (result == pid || (result < 0 && errno != EINTR)) {
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return status;
}

}  // namespace

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "teebasket-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw Failure("cannot create a temporary folder");
    }
    path_ = pattern;
}

PortalProcess::PortalProcess(Options options) {
    tlsDir_ = options.tlsDir.empty() ? workDir_.path() / "tls" : options.tlsDir;
    // The portal reads its standard input from a pipe that only this object
    // holds open: if the test process dies, the portal stops too.
    std::vector<std::string> args = {PortalExecutable().string(),
                                     "--port",
                                     "0",
                                     "--tls-dir",
                                     tlsDir_.string(),
                                     "--request-log",
                                     (workDir_.path() / "requests.log").string(),
                                     "--stop-on-stdin-eof"};
    if (!options.pagesDir.empty()) {
        args.push_back("--pages");
        args.push_back(options.pagesDir.string());
    }
    args.insert(args.end(), options.extraArgs.begin(), options.extraArgs.end());
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    int out[2];
    int in[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        throw Failure("cannot make a pipe");
    }
    if (::pipe2(in, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        throw Failure("cannot make a pipe");
    }
    stdinPipe_ = in[1];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(out[1]);
    ::close(in[0]);
    if (spawned != 0) {
        ::close(out[0]);
        ClosePipe();
        errno = spawned;
        throw Failure("cannot start " + args[0]);
    }
    pid_ = pid;

    const std::string line = ReadFirstLine(out[0]);
    ::close(out[0]);
    const std::string expected = "listening on https://127.0.0.1:";
    if (line.rfind(expected, 0) != 0) {
        stop();
        throw std::runtime_error(
            line.empty() ? "teebasket-portal did not say it was listening within " +
                               std::to_string(kStartTimeoutMs / 1000) + " s, or ended first"
                         : "teebasket-portal did not start (first line: \"" + line + "\")");
    }
    port_ = std::atoi(line.c_str() + expected.size());
}

PortalProcess::~PortalProcess() {
    stop();
}

int PortalProcess::stop(int signal) {
    if (pid_ <= 0) {
        ClosePipe();
        return -1;
    }
    ::kill(pid_, signal);
    const int status = WaitWithTimeout(pid_, kStopTimeout);
    pid_ = -1;
    ClosePipe();
    return status;
}

void PortalProcess::ClosePipe() {
    if (stdinPipe_ >= 0) {
        ::close(stdinPipe_);
        stdinPipe_ = -1;
    }
}

ClosedLoopbackPort::ClosedLoopbackPort() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        throw Failure("cannot make a socket");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(static_cast<int>(fd_), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(static_cast<int>(fd_), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(static_cast<int>(fd_));
        throw Failure("cannot bind a loopback port");
    }
    port_ = ntohs(address.sin_port);
}

ClosedLoopbackPort::~ClosedLoopbackPort() {
    ::close(static_cast<int>(fd_));
}

}  // namespace teebasket::test
