// Peak resident memory of reading one oversized page: the demo portal's bulk
// fault paths (a page of line feeds, one long line of body markup, one long
// structured-data line), each downloaded with the real fetcher and read as a
// listing page and as a detail page. Every case runs in a process of its own,
// since a process's peak only grows.
//
//   build/bench/page_memory_bench [BYTES]     (default 16 MiB)
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "Unithread.h"

extern char** environ;

using namespace teebasket;

namespace {

constexpr std::size_t kDefaultPageBytes = 16u * 1024u * 1024u;

double PeakResidentMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// One case, in this process: fetch, then read the page as `kind` ("listing"
// or "detail"). Prints one row of the table: what was found is the number of
// course identifiers of a listing page, or the length of a detail page's
// CSV line.
int RunCase(const std::string& host, const std::string& certificate, const std::string& kind,
            const std::string& fault) {
    const test::TempDir dir;
    const std::filesystem::path scratch = dir.path() / "tmp.dat";
    UserAgentGenerator agents;
    FetchOptions options;
    options.caCertificateFile = certificate;
    options.maxBodyBytes = std::size_t{1} << 30;
    FetchSession session;
    const FetchResult fetched =
        session.Fetch("https://" + host + "/guide/disp/c_id/" + fault, scratch, agents, options);
    if (!fetched.Stored()) {
        std::printf("%-8s %-24s not fetched: %s\n", kind.c_str(), fault.c_str(),
                    fetched.detail.c_str());
        return 1;
    }
    const double before = PeakResidentMiB();
    const auto start = std::chrono::steady_clock::now();
    std::size_t found = 0;
    {
        PageText page;
        LoadPage(scratch, page);
        if (kind == "listing") {
            found = ScanListingCards(page, StopFlag()).size();
        } else {
            PortalSettings portal;
            portal.bookingHost = host;
            found = CourseLine(ParseCourseDetail(page, portal, "113001")).size();
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double peak = PeakResidentMiB();
    std::printf("%-8s %-24s %10.1f %14.1f %12.1f %10.3f %8zu\n", kind.c_str(), fault.c_str(),
                static_cast<double>(fetched.bodyBytes) / (1024.0 * 1024.0), before, peak, seconds,
                found);
    return 0;
}

int RunChild(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::string(argv[1]) == "--case") {
        return RunCase(argv[2], argv[3], argv[4], argv[5]);
    }
    const std::size_t bytes = argc > 1
                                  ? static_cast<std::size_t>(std::strtoull(argv[1], nullptr, 10))
                                  : kDefaultPageBytes;
    test::PortalProcess portal;
    std::printf("%-8s %-24s %10s %14s %12s %10s %8s\n", "page", "fault path", "MiB",
                "peak RSS before", "peak RSS", "seconds", "found");
    std::fflush(stdout);
    for (const char* kind : {"listing", "detail"}) {
        for (const char* path : {"x-newlines-", "x-longline-", "x-longjson-"}) {
            RunChild({argv[0], "--case", portal.host(), portal.certificate().string(), kind,
                      path + std::to_string(bytes)});
        }
    }
    return 0;
}
