#include "ProgressReport.h"

#include <algorithm>
#include <thread>

#include "MECSUtils.h"

namespace teebasket::cli {

namespace {

constexpr int kMaximumBarWidth = 30;
constexpr int kMinimumBarWidth = 5;
constexpr int kFallbackColumns = 80;

// How long Note waits for the progress lock, and for room in the stream.
constexpr std::chrono::milliseconds kNoteLockWait{200};
constexpr std::chrono::milliseconds kNoteWriteWait{500};

// The code point at `text[i]`, by the text layer's UTF-8 decoder; advances
// `i`. A malformed sequence is one U+FFFD, as a terminal shows it.
char32_t NextCodePoint(std::string_view text, std::size_t& i) {
    char32_t point = 0;
    i += DecodeUtf8At(text, i, point);
    return point;
}

bool IsWide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
           (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

// The longest start of `text` that fits in `columns`.
std::string FitToWidth(std::string_view text, int columns) {
    std::size_t i = 0;
    int width = 0;
    while (i < text.size()) {
        std::size_t next = i;
        const int w = IsWide(NextCodePoint(text, next)) ? 2 : 1;
        if (width + w > columns) {
            break;
        }
        width += w;
        i = next;
    }
    return std::string(text.substr(0, i));
}

std::string Counter(int number, int total) {
    return std::to_string(number) + "/" + std::to_string(total);
}

std::string TimesText(const ProgressSnapshot& snapshot) {
    std::string text =
        "elapsed " +
        FormatDuration(std::chrono::duration_cast<std::chrono::seconds>(snapshot.elapsed));
    const std::optional<std::chrono::seconds> left = EstimateRemaining(snapshot);
    text += ", left " + (left ? "~" + FormatDuration(*left) : std::string("?"));
    return text;
}

std::string Utf8FromAnsi(const std::string& ansi) {
    return UTF16ToAnsi(AnsiToUTF16(ansi, kCodePageJapanese), kCodePageUtf8);
}

// Tries `lock` until it is taken or `limit` has passed. (A polling loop
// rather than std::timed_mutex, whose timed wait ThreadSanitizer cannot
// follow.)
bool TryLockFor(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!lock.try_lock()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// True when the last page the run could not read is the listing of the
// prefecture under way. (Called on the harvest thread, which owns the list.)
bool ListingFailed(const HarvestReport& run) {
    return !run.pageFailures.empty() && run.pageFailures.back().kind == PageKind::Listing &&
           run.pageFailures.back().subject == run.currentPrefecture;
}

}  // namespace

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

int DisplayWidth(std::string_view utf8) {
    int width = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        width += IsWide(NextCodePoint(utf8, i)) ? 2 : 1;
    }
    return width;
}

std::string FormatBarLine(const ProgressSnapshot& snapshot, int columns) {
    const int usable = std::max(1, columns - 1);
    std::string text = Counter(snapshot.prefectureNumber, snapshot.prefectureCount) + " " +
                       snapshot.prefectureName + "  course " +
                       Counter(snapshot.courseIndex, snapshot.courseTotal) + "  " +
                       TimesText(snapshot);
    const int barWidth = std::min(kMaximumBarWidth, usable - DisplayWidth(text) - 3);
    if (barWidth < kMinimumBarWidth) {
        return FitToWidth(text, usable);
    }
    const int filled = static_cast<int>(FractionDone(snapshot) * barWidth);
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(barWidth - filled), '-') + "] " + text;
}

std::string FormatPlainLine(const ProgressSnapshot& snapshot) {
    std::string line = "prefecture " +
                       Counter(snapshot.prefectureNumber, snapshot.prefectureCount) + " " +
                       snapshot.prefectureName;
    if (snapshot.courseTotal == 0 && snapshot.courseIndex == 0) {
        return line + (snapshot.listingNotRead ? ": listing not read (" : ": no course (") +
               TimesText(snapshot) + ")";
    }
    return line + ": course " + Counter(snapshot.courseIndex, snapshot.courseTotal) + " (" +
           TimesText(snapshot) + ")";
}

TerminalProgress::TerminalProgress(std::FILE* stream, bool terminal, bool quiet)
    : stream_(stream),
      terminal_(terminal),
      quiet_(quiet),
      noteWriter_(stream),
      started_(std::chrono::steady_clock::now()) {}

TerminalProgress::~TerminalProgress() = default;

void TerminalProgress::ProgressStart(const HarvestReport& run) {
    std::lock_guard lock(mutex_);
    started_ = std::chrono::steady_clock::now();
    snapshot_ = ProgressSnapshot{};
    snapshot_.prefectureCount = run.prefectureCount;
}

void TerminalProgress::ProgressStep(const HarvestReport& run) {
    std::lock_guard lock(mutex_);
    ++snapshot_.prefectureNumber;
    snapshot_.prefectureName = Utf8FromAnsi(run.currentPrefecture);
    snapshot_.courseIndex = 0;
    snapshot_.courseTotal = 0;
    if (terminal_) {
        Draw();
    } else if (!quiet_) {
        WriteText(stream_, "prefecture " +
                               Counter(snapshot_.prefectureNumber, snapshot_.prefectureCount) +
                               " " + snapshot_.prefectureName + "\n");
    }
}

void TerminalProgress::StatusUpdate(const HarvestReport& run) {
    std::lock_guard lock(mutex_);
    snapshot_.courseIndex = run.courseIndex;
    snapshot_.courseTotal = run.courseTotal;
    snapshot_.listingNotRead = ListingFailed(run);
    if (terminal_) {
        Draw();
    } else if (!quiet_) {
        snapshot_.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - started_);
        WriteText(stream_, FormatPlainLine(snapshot_) + "\n");
    }
}

void TerminalProgress::RunEnded(const HarvestReport&) {
    std::lock_guard lock(mutex_);
    ClearBarLocked();
}

// Called on the signal thread. The harvest thread holds the lock while it
// writes, and a write to a pipe that nobody reads blocks for good; so the lock
// is only tried, and the line goes out with a bounded wait.
void TerminalProgress::Note(const std::string& line) {
    std::unique_lock lock(mutex_, std::defer_lock);
    const bool locked = TryLockFor(lock, kNoteLockWait);
    // On a terminal the bar's line is cleared first; that does no harm when
    // no bar is shown.
    std::string text = terminal_ ? "\r" + std::string(kEraseToLineEnd) + line + "\n" : line + "\n";
    if (locked && barShown_) {
        text += BarText();  // the bar again, below the line
    }
    noteWriter_.Write(text, kNoteWriteWait);
}

std::string TerminalProgress::BarText() {
    snapshot_.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started_);
    return "\r" + FormatBarLine(snapshot_, Columns()) + std::string(kEraseToLineEnd);
}

void TerminalProgress::Draw() {
    if (quiet_ || !terminal_) {
        return;
    }
    WriteText(stream_, BarText());
    barShown_ = true;
}

void TerminalProgress::ClearBarLocked() {
    if (barShown_) {
        WriteText(stream_, "\r" + std::string(kEraseToLineEnd));
        barShown_ = false;
    }
}

int TerminalProgress::Columns() const {
    const int columns = TerminalColumns(stream_);
    return columns > 0 ? columns : kFallbackColumns;
}

}  // namespace teebasket::cli
