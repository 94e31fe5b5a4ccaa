// The demo portal held under siege by clients that misbehave on purpose
// (HostileClients.h): header bytes trickled in, connections that never say
// anything, requests for a page that never comes. Everyone else must still
// be served, and the portal must end what outlasts its limits.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "FetchOnce.h"
#include "HostileClients.h"
#include "TestSupport.h"
#include "Unicommon.h"

namespace teebasket {
namespace {

using test::Hostile;
using test::PortalProcess;
using test::Siege;
using namespace std::chrono_literals;

// Hang guards only: on an idle machine each wait below ends within seconds.
constexpr auto kHangGuard = 30s;

TEST(PortalSiege, OrdinaryRequestsAreServedWhileHostileClientsHoldOn) {
    const PortalProcess portal;
    // More trickling connections than the portal has workers, and more
    // stalling requests than it lets stall at once.
    const Siege trickle(portal.port(), Hostile::HeaderTrickle, 40);
    const Siege silent(portal.port(), Hostile::Silent, 200);
    const Siege stall(portal.port(), Hostile::Stall, 32);
    // All but a few of the stalling requests are ended at once.
    ASSERT_TRUE(test::WaitUntil([&] { return stall.Ended() >= 32 - 4; }, kHangGuard))
        << stall.Ended();

    const test::TempDir dir;
    UserAgentGenerator agents;
    FetchOptions options;
    options.caCertificateFile = portal.certificate();
    options.connectTimeout = kHangGuard;
    options.totalTimeout = kHangGuard;
    for (const char* path : {"/guide/disp/c_id/101001", "/doc/area/hokkaido/?sort=kana&page=1"}) {
        SCOPED_TRACE(path);
        const FetchResult result =
            FetchOnce(portal.baseUrl() + path, dir.path() / "page.html", agents, options);
        ASSERT_TRUE(result.Stored()) << result.detail;
        EXPECT_EQ(result.httpStatus, 200);
    }
}

TEST(PortalSiege, RequestsOverTheirTimeAndSilentConnectionsAreClosed) {
    const PortalProcess portal;
    SSL_CTX* const context = SSL_CTX_new(TLS_client_method());
    std::string answer;
    bool trickleEnded = false;
    std::thread trickler([&] {
        test::HostileTls client(context, portal.port());
        ASSERT_TRUE(client.Ok());
        ASSERT_TRUE(client.Send(test::kTrickledStart));
        const auto deadline = std::chrono::steady_clock::now() + kHangGuard;
        const int pauseMs = static_cast<int>(test::kTricklePause.count());
        while (std::chrono::steady_clock::now() < deadline) {
            // The portal's answer ends the wait at once; otherwise the next
            // byte goes after the trickle's pause.
            const bool answered = test::Readable(client.Fd(), pauseMs);
            if ((answered && !client.Receive(answer)) || !client.Send("a")) {
                trickleEnded = true;
                return;
            }
        }
    });
    // A TCP connection that never begins its TLS handshake.
    const int silent = test::ConnectToLoopback(portal.port());
    ASSERT_GE(silent, 0);
    EXPECT_TRUE(test::WaitUntil(
        [&] {
            char byte = 0;
            return test::Readable(silent, 0) && ::recv(silent, &byte, 1, MSG_DONTWAIT) <= 0;
        },
        kHangGuard))
        << "a silent connection was left open";
    ::close(silent);
    trickler.join();
    SSL_CTX_free(context);

    EXPECT_TRUE(trickleEnded) << "a request over its time was left open; it got: " << answer;
    EXPECT_EQ(answer.substr(0, 12), "HTTP/1.1 408");
    EXPECT_NE(answer.find("Connection: close\r\n"), std::string::npos) << answer;
}

}  // namespace
}  // namespace teebasket
