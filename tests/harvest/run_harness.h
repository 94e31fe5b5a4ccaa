// Whole runs of the engine against a real demo portal: a harness with zero
// pauses and short waits, an observer that records its calls, and the CSV
// values that a generated course must have.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "PortalPages.h"
#include "TestSupport.h"
#include "rules_test_support.h"

namespace teebasket::test {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

// Records every observer call as a line of UTF-8 text.
class RecordingObserver : public HarvestObserver {
  public:
    std::vector<std::string> calls;
    std::function<void(const HarvestReport&)> onStep;
    std::function<void(const HarvestReport&)> onStatus;
    std::filesystem::path scratchPath;  // looked at when the run ends
    bool scratchAtEnd = true;

    void ProgressStart(const HarvestReport& report) override {
        calls.push_back("start " + std::to_string(report.prefectureCount));
    }
    void ProgressStep(const HarvestReport& report) override {
        calls.push_back("step " + U(report.currentPrefecture));
        if (onStep) {
            onStep(report);
        }
    }
    void StatusUpdate(const HarvestReport& report) override {
        calls.push_back("status " + U(report.currentPrefecture) + " " +
                        std::to_string(report.courseIndex) + "/" +
                        std::to_string(report.courseTotal));
        if (onStatus) {
            onStatus(report);
        }
    }
    // Each retry waited for, apart from the calls above.
    std::vector<PendingRetry> retries;
    void RetryWaiting(const HarvestReport& report) override { retries.push_back(report.retry); }
    void RunEnded(const HarvestReport&) override {
        calls.push_back("ended");
        scratchAtEnd = std::filesystem::exists(scratchPath);
    }
};

// Runs against `host`, with zero pauses and short time-outs, into out.csv of
// a fresh folder; a run that finds nothing leaves a file of the header line,
// as the window's do.
class RunHarness {
  public:
    RunHarness(const std::string& host, const std::filesystem::path& certificate) {
        settings.portal.listingHost = host;
        settings.portal.bookingHost = host;
        settings.portal.caCertificate = certificate;
        settings.pauses = PausePolicy{0ms, 0ms};
        settings.retries.waits = {10ms, 10ms};
        settings.fetch.connectTimeout = 5s;
        settings.fetch.lowSpeedTime = 1s;
        settings.fetch.totalTimeout = 30s;
        output.path = dir.path() / "out.csv";
        output.headerFileWhenEmpty = true;
        output.syncEachLine = false;
        scratchPath = dir.path() / "tmp.dat";
    }
    explicit RunHarness(const PortalProcess& portal)
        : RunHarness(portal.host(), portal.certificate()) {}

    void Run(std::vector<int> rows) {
        HarvestRequest request{MakeSelection(std::move(rows)), settings, output, scratchPath,
                               historyFolder};
        run = std::make_unique<HarvestRun>(std::move(request), pace);
        live.store(run.get());
        observer.scratchPath = scratchPath;
        run->Execute(observer);
    }

    // Asks the run under way to stop, as Cancel does; from any thread, once
    // the run has begun.
    void Stop() { live.load()->RequestStop(); }

    const HarvestReport& Report() const { return run->Report(); }

    std::string Csv() const { return ReadFileBytes(output.path); }

    // The file's lines, without their CR LF; fails when a line lacks it.
    Lines CsvLines() const { return LinesOf(Csv()); }

    static Lines LinesOf(const std::string& csv) {
        Lines lines;
        std::size_t start = 0;
        while (start < csv.size()) {
            const std::size_t end = csv.find("\r\n", start);
            EXPECT_NE(end, std::string::npos) << "a line without CR LF";
            if (end == std::string::npos) {
                break;
            }
            lines.push_back(csv.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }

    TempDir dir;
    HarvestSettings settings;
    OutputRequest output;
    std::filesystem::path scratchPath;
    std::filesystem::path historyFolder;  // empty: the run is not kept
    CrawlPace pace;
    RecordingObserver observer;
    std::unique_ptr<HarvestRun> run;  // the last run
    std::atomic<HarvestRun*> live{nullptr};
};

// The values of a course line (quoted, each followed by a comma), as UTF-8.
inline Lines CourseValues(const std::string& line) {
    Lines values;
    std::size_t i = 0;
    while (i < line.size()) {
        EXPECT_EQ(line[i], '"') << line;
        std::string value;
        for (++i; i < line.size(); ++i) {
            if (line[i] == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                value.push_back('"');
                ++i;
            } else if (line[i] == '"') {
                break;
            } else {
                value.push_back(line[i]);
            }
        }
        EXPECT_EQ(line.substr(i, 2), "\",") << line;
        i += 2;
        values.push_back(U(value));
    }
    return values;
}

inline std::string Join(const Lines& items, const std::string& separator) {
    std::string joined;
    for (const std::string& item : items) {
        joined += (joined.empty() ? "" : separator) + item;
    }
    return joined;
}

inline std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

inline std::string HalfWidth(std::string text) {
    const char* const digits[] = {"０", "１", "２", "３", "４", "５", "６", "７", "８", "９"};
    for (int d = 0; d < 10; ++d) {
        text = Replaced(text, digits[d], std::to_string(d));
    }
    return Replaced(Replaced(Replaced(Replaced(text, "－", "-"), "‐", "-"), "（", "("), "）", ")");
}

// What the CSV line of a generated course must hold, worked out from the
// portal's own data rather than from its pages.
inline Lines ExpectedValues(const portal::GeneratedCourse& course, const std::string& host) {
    Lines values(kColumnCount);
    const bool data = course.hasStructuredData;
    // A page without structured data takes the listing card's name.
    values[0] = Replaced(course.name, "（閉鎖）", "");
    if (data) {
        values[1] = course.postalCode.substr(0, 3) + "-" + course.postalCode.substr(3);
        values[2] = course.region + HalfWidth(course.street);
        values[3] = course.telephone;
        char rating[32];
        std::snprintf(rating, sizeof rating, "%.15g", std::stod(course.rating));
        values[27] = rating;
    }
    values[4] = course.fax;
    values[5] = Join(course.carAccess, " ");
    Lines acceptedTags;
    for (const std::string& tag : course.tags) {
        if (tag.find("不可") == std::string::npos) {
            acceptedTags.push_back(tag);
        }
    }
    values[8] = Join(acceptedTags, "、");
    for (const auto& [label, pieces] : course.facts) {
        const int column = ColumnForLabel(A(label));
        if (column >= 0) {
            values[column] = Join(pieces, " ");
        }
    }
    values[26] = course.closed ? "閉鎖" : "運営中";
    values[28] = std::to_string(course.reviewCount) + "件";
    if (course.reviewCount > 0) {
        values[29] = "https://" + host + "/voice/detail/c_id/" + course.id;
    }
    values[30] = "https://" + host + "/guide/disp/c_id/" + course.id;
    return values;
}

inline constexpr int kTokyo = 12;
inline constexpr int kKanagawa = 13;
inline constexpr int kNiigata = 14;
inline constexpr int kTottori = 30;  // a prefecture without courses on the demo portal

}  // namespace teebasket::test
