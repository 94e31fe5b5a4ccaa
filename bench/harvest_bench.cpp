// The harvest engine: extraction of one detail page and one listing page of
// the demo portal, and a whole run of 47 prefectures against a local portal
// with zero pauses.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include "PortalPages.h"
#include "TestSupport.h"
#include "Unithread.h"

using namespace teebasket;
using namespace std::chrono_literals;

namespace {

constexpr int kCoursesPerPrefecture = 20;
constexpr int kTokyo = 12;

const portal::CourseCatalog& Catalog() {
    static const portal::CourseCatalog catalog({1, kCoursesPerPrefecture});
    return catalog;
}

double PeakResidentMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_ExtractDetailPage(benchmark::State& state) {
    const std::string page = Catalog().DetailPage(Catalog().Course(kTokyo, 0));
    PortalSettings portal;
    portal.bookingHost = "127.0.0.1:48443";
    for (auto _ : state) {
        // The page as the run holds it: its bytes in one buffer of its own.
        const PageText text{std::string(page)};
        benchmark::DoNotOptimize(ParseCourseDetail(text, portal, "113001"));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
    state.counters["page_bytes"] = static_cast<double>(page.size());
}
BENCHMARK(BM_ExtractDetailPage);

void BM_ScanListingPage(benchmark::State& state) {
    const std::string page = Catalog().ListingPage(kTokyo, 1);
    const StopFlag stop;
    for (auto _ : state) {
        const PageText text{std::string(page)};
        benchmark::DoNotOptimize(ScanListingCards(text, stop));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
    state.counters["page_bytes"] = static_cast<double>(page.size());
}
BENCHMARK(BM_ScanListingPage);

class SilentObserver : public HarvestObserver {
  public:
    void ProgressStart(HarvestRun&) override {}
    void ProgressStep(HarvestRun&) override {}
    void StatusUpdate(HarvestRun&) override {}
    void RunEnded(HarvestRun&) override {}
};

// Every prefecture of the demo portal, over HTTPS on loopback, zero pauses:
// what the engine costs when the network and the pauses cost nothing.
void BM_WholeRunAllPrefectures(benchmark::State& state) {
    test::PortalProcess portal(
        {{"--courses-per-prefecture", std::to_string(kCoursesPerPrefecture)}, {}, {}});
    test::TempDir dir;
    HarvestSettings settings;
    settings.portal = {portal.host(), portal.host(), portal.certificate()};
    settings.pauses = PausePolicy{0ms, 0ms};
    std::vector<int> all(kPrefectureCount);
    for (int i = 0; i < kPrefectureCount; ++i) {
        all[i] = i;
    }
    const Selection selection = MakeSelection(all);
    UserAgentGenerator agents;
    SilentObserver observer;
    int rows = 0;
    for (auto _ : state) {
        HarvestRun run;
        run.outputPath = dir.path() / "all.csv";
        run.scratchPath = dir.path() / "tmp.dat";
        HarvestContext context{run, selection, settings, agents, observer};
        Execute(context);
        rows = run.rowsWritten;
    }
    state.counters["courses"] = rows;
    state.counters["courses_per_s"] =
        benchmark::Counter(static_cast<double>(rows) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
    state.counters["peak_rss_MiB"] = PeakResidentMiB();
}
BENCHMARK(BM_WholeRunAllPrefectures)->Iterations(2)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
