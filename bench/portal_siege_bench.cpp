// portal_siege_bench: how long an ordinary request to the demo portal takes
// while clients that misbehave on purpose hold it (32 connections trickling
// header bytes, 200 silent connections, 32 requests for x-stall-head, and
// all of them at once). Each siege gets a portal of its own on 127.0.0.1;
// one request is timed 3 s into the siege, and one more when 15 s have
// passed (after the portal's 10 s limit on a request) or the first has
// ended. A request gives up after 90 s.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "FetchOnce.h"
#include "HostileClients.h"
#include "TestSupport.h"

namespace {

using namespace teebasket;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kGiveUp = 90s;

struct SiegePart {
    test::Hostile kind;
    int clients;
};

struct Scenario {
    const char* name;
    std::vector<SiegePart> parts;
};

void TimeOneRequest(const test::PortalProcess& portal, Clock::time_point siegeStart) {
    const test::TempDir dir;
    UserAgentGenerator agents;
    FetchOptions options;
    options.caCertificateFile = portal.certificate();
    options.connectTimeout = kGiveUp;
    options.totalTimeout = kGiveUp;
    const auto start = Clock::now();
    const double when = std::chrono::duration<double>(start - siegeStart).count();
    const FetchResult result = FetchOnce(portal.baseUrl() + "/guide/disp/c_id/101001",
                                         dir.path() / "page", agents, options);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (result.Stored()) {
        std::printf("  asked at %.0f s: HTTP %ld in %.2f s\n", when, result.httpStatus, seconds);
    } else {
        std::printf("  asked at %.0f s: no page after %.2f s (%s)\n", when, seconds,
                    result.detail.c_str());
    }
    std::fflush(stdout);
}

void Run(const Scenario& scenario) {
    std::printf("%s\n", scenario.name);
    const test::PortalProcess portal;
    const auto start = Clock::now();
    std::vector<std::unique_ptr<test::Siege>> sieges;
    for (const SiegePart& part : scenario.parts) {
        sieges.push_back(std::make_unique<test::Siege>(portal.port(), part.kind, part.clients));
    }
    std::this_thread::sleep_until(start + 3s);
    TimeOneRequest(portal, start);
    std::this_thread::sleep_until(start + 15s);
    TimeOneRequest(portal, start);
    int ended = 0;
    for (const auto& siege : sieges) {
        ended += siege->Ended();
    }
    std::printf("  hostile connections ended or answered by the portal: %d\n", ended);
}

}  // namespace

int main() {
    using test::Hostile;
    const std::vector<Scenario> scenarios = {
        {"32 connections trickling header bytes", {{Hostile::HeaderTrickle, 32}}},
        {"200 silent connections", {{Hostile::Silent, 200}}},
        {"32 requests for x-stall-head", {{Hostile::Stall, 32}}},
        {"all of them at once",
         {{Hostile::HeaderTrickle, 32}, {Hostile::Silent, 200}, {Hostile::Stall, 32}}},
    };
    for (const Scenario& scenario : scenarios) {
        Run(scenario);
    }
    return 0;
}
