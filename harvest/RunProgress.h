// RunProgress: where a run stands as both front ends show it, and the time
// it may still take at the pace so far. The CLI draws it on its bar line,
// the window on its lower status line.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace teebasket {

// Where the run is, with names already in UTF-8.
struct ProgressSnapshot {
    int prefectureNumber = 0;  // 1-based number of the prefecture begun; 0 before the first
    int prefectureCount = 0;
    std::string prefectureName;  // UTF-8
    int courseIndex = 0;         // 1-based course being fetched; 0 before the first
    int courseTotal = 0;
    std::chrono::milliseconds elapsed{0};
    bool listingNotRead = false;  // the prefecture has no course because its listing failed
};

// The share of the run done, from 0 to 1: prefectures finished plus the
// share of the current one's courses finished.
double FractionDone(const ProgressSnapshot& snapshot);

// The time left at the pace so far, or nothing while too little is done.
std::optional<std::chrono::seconds> EstimateRemaining(const ProgressSnapshot& snapshot);

// "0:07", "12:34", "1:02:03".
std::string FormatDuration(std::chrono::seconds duration);

}  // namespace teebasket
