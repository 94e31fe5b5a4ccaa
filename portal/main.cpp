// teebasket-portal: a demo HTTPS portal on 127.0.0.1 for the demo and the
// tests. Prints "listening on https://127.0.0.1:PORT" as its first line once
// it accepts connections, then serves until SIGINT or SIGTERM.
#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "PortalServer.h"
#include "PortalTls.h"
#include "standard_descriptors.h"

namespace {

using namespace teebasket::portal;

constexpr int kKeptBlockBytes = 32 * 1024 * 1024;
constexpr int kKeptHeapBytes = 64 * 1024 * 1024;

int Fail(const std::string& message, int code) {
    std::fprintf(stderr, "teebasket-portal: %s\n", message.c_str());
    return code;
}

// Stops the portal once standard input ends: a starter that holds the
// other end of a pipe (a test) stops its portal even when it dies itself.
void WatchStandardInput() {
    std::thread([] {
        char buffer[256];
        for (;;) {
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EINTR)) {
                break;
            }
        }
        ::kill(::getpid(), SIGTERM);
    }).detach();
}

}  // namespace

int main(int argc, char** argv) {
    // Before the certificate, the request log and the sockets: started with a
    // standard descriptor closed, one of them would take its number, and the
    // "listening on" line or an error would be written into it.
    if (!teebasket::OpenClosedStandardDescriptors()) {
        return 1;
    }
    // Pages of 100-250 KB are made and dropped by every request. Left to its
    // defaults, the allocator hands such blocks back to the system after
    // each request (madvise, with a TLB flush on every processor), which
    // costs more than making the page; keep them in the process instead.
    mallopt(M_MMAP_THRESHOLD, kKeptBlockBytes);
    mallopt(M_TRIM_THRESHOLD, kKeptHeapBytes);

    // SIGINT and SIGTERM are taken by one waiting thread instead of a handler,
    // so stopping runs as ordinary code. A client that hangs up mid-answer
    // must not end the portal through SIGPIPE.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    PortalOptions options;
    std::string error;
    switch (ParsePortalOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        case ParseOutcome::Help:
            std::fputs(PortalUsage().c_str(), stdout);
            return 0;
        case ParseOutcome::Error:
            std::fprintf(stderr, "teebasket-portal: %s\n\n%s", error.c_str(),
                         PortalUsage().c_str());
            return 2;
        case ParseOutcome::Run:
            break;
    }
    // The default folder is the portal's own: an unsound pair that an earlier
    // build left there is replaced. A folder the user named is left alone.
    UnsoundTlsFiles unsound = UnsoundTlsFiles::Refuse;
    if (options.tlsDir.empty()) {
        options.tlsDir = DefaultTlsDir();
        if (options.tlsDir.empty()) {
            return Fail("HOME is not set; give --tls-dir", 2);
        }
        unsound = UnsoundTlsFiles::Replace;
    }
    TlsFiles tls;
    if (!EnsureTlsFiles(options.tlsDir, tls, error, unsound)) {
        return Fail(error, 1);
    }
    PortalServer server(options, tls);
    if (!server.Bind(error)) {
        return Fail(error, 1);
    }

    // A stop that arrives before serving has begun would be lost, so it is
    // repeated until serving has ended.
    std::atomic<bool> finished{false};
    std::thread stopper([&server, &finished, stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        while (!finished.load()) {
            server.Stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    if (options.stopOnStdinEof) {
        WatchStandardInput();
    }
    std::printf("listening on https://127.0.0.1:%d\n", server.Port());
    std::fflush(stdout);

    const bool served = server.Serve();
    finished.store(true);
    if (!served) {
        // Serving ended by itself: wake the waiting thread.
        pthread_kill(stopper.native_handle(), SIGTERM);
    }
    stopper.join();
    return served ? 0 : Fail("serving stopped unexpectedly", 1);
}
