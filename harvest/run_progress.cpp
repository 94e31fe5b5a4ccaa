// Where a run stands, and the time left at its pace so far.
#include "RunProgress.h"

#include <algorithm>
#include <cstdio>

namespace teebasket {

double FractionDone(const ProgressSnapshot& snapshot) {
    if (snapshot.prefectureCount <= 0 || snapshot.prefectureNumber <= 0) {
        return 0.0;
    }
    double done = snapshot.prefectureNumber - 1;
    if (snapshot.courseTotal > 0 && snapshot.courseIndex > 0) {
        done += static_cast<double>(snapshot.courseIndex - 1) / snapshot.courseTotal;
    }
    return std::clamp(done / snapshot.prefectureCount, 0.0, 1.0);
}

std::optional<std::chrono::seconds> EstimateRemaining(const ProgressSnapshot& snapshot) {
    const double fraction = FractionDone(snapshot);
    if (fraction <= 0.0 || snapshot.elapsed.count() <= 0) {
        return std::nullopt;
    }
    const double leftMs =
        static_cast<double>(snapshot.elapsed.count()) * (1.0 - fraction) / fraction;
    return std::chrono::seconds(static_cast<long long>(leftMs / 1000.0 + 0.5));
}

std::string FormatDuration(std::chrono::seconds duration) {
    const long long total = std::max<long long>(0, duration.count());
    const long long hours = total / 3600;
    const long long minutes = (total / 60) % 60;
    const long long seconds = total % 60;
    char buffer[32];
    if (hours > 0) {
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld", hours, minutes, seconds);
    } else {
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld", minutes, seconds);
    }
    return buffer;
}

}  // namespace teebasket
