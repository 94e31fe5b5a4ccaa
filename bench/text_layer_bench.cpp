// Throughput of the text layer on a 200 KB page of Japanese HTML, and of the
// code page conversion on the demo portal's detail page (HTML that is mostly
// ASCII) and on running Japanese text.
#include <benchmark/benchmark.h>

#include "MECSUtils.h"
#include "PortalPages.h"
#include "Unicommon.h"
#include "bench_pages.h"

using namespace teebasket;

namespace {

constexpr std::size_t kPageBytes = 200 * 1024;

const std::string& Utf8Page() {
    static const std::string page = bench::JapaneseHtmlPage(kPageBytes);
    return page;
}

// One generated detail page of the demo portal: about 114 KB, four fifths of
// its bytes ASCII.
const std::string& DetailPage() {
    static const std::string page = [] {
        const portal::CourseCatalog catalog({1, 20});
        return catalog.DetailPage(catalog.Course(12, 0));
    }();
    return page;
}

const std::string& JapaneseText() {
    static const std::string text = bench::JapaneseText(kPageBytes);
    return text;
}

const std::string& AnsiPage() {
    static const std::string page = UTF8ToAnsi(Utf8Page());
    return page;
}

void SetThroughput(benchmark::State& state, const std::string& input) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

void BM_TextFindMissing(benchmark::State& state) {
    const std::string& page = AnsiPage();
    for (auto _ : state) {
        benchmark::DoNotOptimize(TextFind(page, "application/json\""));
    }
    SetThroughput(state, page);
}
BENCHMARK(BM_TextFindMissing);

void BM_TextReplaceRemoveSpan(benchmark::State& state) {
    const std::string& page = AnsiPage();
    for (auto _ : state) {
        benchmark::DoNotOptimize(TextRemove(page, "</span"));
    }
    SetThroughput(state, page);
}
BENCHMARK(BM_TextReplaceRemoveSpan);

void BM_SplitTextAtTagEnds(benchmark::State& state) {
    const std::string& page = AnsiPage();
    std::vector<std::string> pieces;
    for (auto _ : state) {
        pieces.clear();
        SplitText(page, ">", pieces);
        benchmark::DoNotOptimize(pieces.data());
    }
    SetThroughput(state, page);
}
BENCHMARK(BM_SplitTextAtTagEnds);

void BM_NormalizeText(benchmark::State& state) {
    const std::string& page = AnsiPage();
    for (auto _ : state) {
        benchmark::DoNotOptimize(NormalizeText(page));
    }
    SetThroughput(state, page);
}
BENCHMARK(BM_NormalizeText);

void BM_UTF8ToAnsiWholePage(benchmark::State& state) {
    const std::string& page = Utf8Page();
    for (auto _ : state) {
        benchmark::DoNotOptimize(UTF8ToAnsi(page));
    }
    SetThroughput(state, page);
}
BENCHMARK(BM_UTF8ToAnsiWholePage);

void BM_UTF8ToAnsiLineByLine(benchmark::State& state) {
    const std::string& page = Utf8Page();
    const std::vector<std::string> lines = SplitLines(page);
    for (auto _ : state) {
        for (const std::string& line : lines) {
            benchmark::DoNotOptimize(UTF8ToAnsi(TextTrim(line)));
        }
    }
    SetThroughput(state, page);
}
BENCHMARK(BM_UTF8ToAnsiLineByLine);

void BM_UTF8ToAnsiAsciiHeavyHtml(benchmark::State& state) {
    const std::string& page = DetailPage();
    for (auto _ : state) {
        benchmark::DoNotOptimize(UTF8ToAnsi(page));
    }
    SetThroughput(state, page);
}
BENCHMARK(BM_UTF8ToAnsiAsciiHeavyHtml);

// The detail page as the extraction converts it: each trimmed line on its own.
void BM_UTF8ToAnsiAsciiHeavyHtmlLineByLine(benchmark::State& state) {
    const std::string& page = DetailPage();
    const std::vector<std::string> lines = SplitLines(page);
    for (auto _ : state) {
        for (const std::string& line : lines) {
            benchmark::DoNotOptimize(UTF8ToAnsi(TextTrim(line)));
        }
    }
    SetThroughput(state, page);
}
BENCHMARK(BM_UTF8ToAnsiAsciiHeavyHtmlLineByLine);

void BM_UTF8ToAnsiJapaneseText(benchmark::State& state) {
    const std::string& text = JapaneseText();
    for (auto _ : state) {
        benchmark::DoNotOptimize(UTF8ToAnsi(text));
    }
    SetThroughput(state, text);
}
BENCHMARK(BM_UTF8ToAnsiJapaneseText);

}  // namespace

BENCHMARK_MAIN();
