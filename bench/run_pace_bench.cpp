// Whole runs of the engine against a local demo portal over HTTPS: how close
// a run with the real pauses comes to the time its pauses take, and how many
// courses a second a run reaches when the pauses cost nothing.
//
//   build/bench/run_pace_bench
//   build/bench/run_pace_bench --benchmark_filter=Paced --benchmark_repetitions=5
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <numeric>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "Unithread.h"

using namespace teebasket;
using namespace std::chrono_literals;

namespace {

constexpr int kCoursesPerPrefecture = 20;
constexpr int kTokyo = 12;
constexpr int kKanagawa = 13;

double PeakResidentMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

class SilentObserver : public HarvestObserver {
  public:
    void ProgressStart(const HarvestReport&) override {}
    void ProgressStep(const HarvestReport&) override {}
    void StatusUpdate(const HarvestReport&) override {}
    void RunEnded(const HarvestReport&) override {}
};

struct RequestCounts {
    int listing = 0;
    int detail = 0;
};

RequestCounts CountRequests(const std::vector<test::PortalRequest>& requests, std::size_t from) {
    RequestCounts counts;
    for (std::size_t i = from; i < requests.size(); ++i) {
        if (requests[i].target.starts_with("/doc/area/")) {
            ++counts.listing;
        } else if (requests[i].target.starts_with("/guide/disp/c_id/")) {
            ++counts.detail;
        }
    }
    return counts;
}

// Connections that the requests from `from` on came over (the request log's
// connection column; 0 when the portal does not log one).
std::size_t CountConnections(const std::vector<test::PortalRequest>& requests, std::size_t from) {
    std::vector<std::string> seen;
    for (std::size_t i = from; i < requests.size(); ++i) {
        if (std::find(seen.begin(), seen.end(), requests[i].connection) == seen.end()) {
            seen.push_back(requests[i].connection);
        }
    }
    return seen.size() == 1 && seen.front().empty() ? 0 : seen.size();
}

// A run of `rows` against `portal` with `pauses`; returns the rows written.
int RunOnce(const test::PortalProcess& portal, const test::TempDir& dir, const PausePolicy& pauses,
            const std::vector<int>& rows, CrawlPace& pace) {
    HarvestRequest request;
    request.selection = MakeSelection(rows);
    request.settings.portal = {portal.host(), portal.host(), portal.certificate()};
    request.settings.pauses = pauses;
    request.output.path = dir.path() / "run.csv";
    request.scratchPath = dir.path() / "tmp.dat";
    SilentObserver observer;
    HarvestRun run(request, pace);
    run.Execute(observer);
    return run.Report().rowsWritten;
}

// Two prefectures of 20 courses with the real pauses (1000 ms after a listing
// page, 300 ms after a course). wall_over_floor is the run's wall time over
// the sum of the pauses that its requests called for.
void BM_PacedRun(benchmark::State& state) {
    test::PortalProcess portal(
        {{"--courses-per-prefecture", std::to_string(kCoursesPerPrefecture)}, {}, {}});
    test::TempDir dir;
    const PausePolicy pauses;
    CrawlPace pace;
    double wall = 0;
    double floor = 0;
    std::size_t connections = 0;
    int rows = 0;
    for (auto _ : state) {
        const std::size_t before = portal.requests().size();
        const auto start = std::chrono::steady_clock::now();
        rows = RunOnce(portal, dir, pauses, {kTokyo, kKanagawa}, pace);
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const std::vector<test::PortalRequest> requests = portal.requests();
        const RequestCounts counts = CountRequests(requests, before);
        floor += std::chrono::duration<double>(counts.listing * pauses.afterListing +
                                               counts.detail * pauses.afterDetail)
                     .count();
        connections = CountConnections(requests, before);
    }
    state.counters["courses"] = rows;
    state.counters["floor_s"] = floor / static_cast<double>(state.iterations());
    state.counters["wall_over_floor"] = wall / floor;
    state.counters["connections"] = static_cast<double>(connections);
}
BENCHMARK(BM_PacedRun)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// Every prefecture of the demo portal (45 of 47 have courses), zero pauses:
// what a run costs when the pauses cost nothing.
void BM_ZeroPauseRun(benchmark::State& state) {
    test::PortalProcess portal(
        {{"--courses-per-prefecture", std::to_string(kCoursesPerPrefecture)}, {}, {}});
    test::TempDir dir;
    std::vector<int> all(kPrefectureCount);
    std::iota(all.begin(), all.end(), 0);
    CrawlPace pace;
    std::size_t connections = 0;
    int rows = 0;
    for (auto _ : state) {
        const std::size_t before = portal.requests().size();
        rows = RunOnce(portal, dir, PausePolicy{0ms, 0ms}, all, pace);
        connections = CountConnections(portal.requests(), before);
    }
    state.counters["courses"] = rows;
    state.counters["courses_per_s"] =
        benchmark::Counter(static_cast<double>(rows) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
    state.counters["connections"] = static_cast<double>(connections);
    state.counters["peak_rss_MiB"] = PeakResidentMiB();
}
BENCHMARK(BM_ZeroPauseRun)->Iterations(3)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
