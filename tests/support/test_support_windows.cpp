// TestSupport's folders and sockets with Win32 calls.
//
// The demo portal does not build for Windows, and under Wine a Windows
// program can start a Linux program but gets neither its process handle nor
// its standard output, so PortalProcess cannot run a portal from here: the
// Windows tests that need one reach a native portal that the test command
// starts (tests/windows/with-native-portal).
#include <winsock2.h>
// after winsock2.h
#include <windows.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>

#include "TestSupport.h"

namespace teebasket::test {
namespace {

namespace fs = std::filesystem;

std::runtime_error Failure(const std::string& what, DWORD error) {
    return std::runtime_error(what + ": error " + std::to_string(error));
}

}  // namespace

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    const fs::path base = fs::temp_directory_path();
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate =
            base / ("teebasket-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
                    std::to_string(ticks) + "-" + std::to_string(counter++));
        if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
            path_ = candidate;
            return;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            throw Failure("cannot create a temporary folder", ::GetLastError());
        }
    }
    throw std::runtime_error("cannot create a temporary folder: every name is taken");
}

PortalProcess::PortalProcess(Options) {
    throw std::runtime_error(
        "PortalProcess cannot start teebasket-portal from a Windows program; run the test "
        "through tests/windows/with-native-portal");
}

PortalProcess::~PortalProcess() = default;

int PortalProcess::stop(int) {
    return -1;
}

void PortalProcess::ClosePipe() {}

ClosedLoopbackPort::ClosedLoopbackPort() {
    WSADATA data{};
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        throw Failure("WSAStartup failed", ::WSAGetLastError());
    }
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) {
        const int error = ::WSAGetLastError();
        ::WSACleanup();
        throw Failure("cannot make a socket", static_cast<DWORD>(error));
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int length = sizeof address;
    if (::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = ::WSAGetLastError();
        ::closesocket(socket);
        ::WSACleanup();
        throw Failure("cannot bind a loopback port", static_cast<DWORD>(error));
    }
    fd_ = static_cast<std::intptr_t>(socket);
    port_ = ntohs(address.sin_port);
}

ClosedLoopbackPort::~ClosedLoopbackPort() {
    ::closesocket(static_cast<SOCKET>(fd_));
    ::WSACleanup();
}

}  // namespace teebasket::test
