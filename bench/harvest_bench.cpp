// The harvest engine: extraction of one detail page and one listing page of
// the demo portal. Whole runs against a local portal are in run_pace_bench.
#include <benchmark/benchmark.h>

#include "PortalPages.h"
#include "Unithread.h"

using namespace teebasket;

namespace {

constexpr int kCoursesPerPrefecture = 20;
constexpr int kTokyo = 12;

const portal::CourseCatalog& Catalog() {
    static const portal::CourseCatalog catalog({1, kCoursesPerPrefecture});
    return catalog;
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

}  // namespace

BENCHMARK_MAIN();
