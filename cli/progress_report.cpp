#include "ProgressReport.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "MECSUtils.h"
#include "SystemText.h"

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

std::string TimesText(const ProgressSnapshot& snapshot, Language language) {
    const std::string elapsed =
        FormatDuration(std::chrono::duration_cast<std::chrono::seconds>(snapshot.elapsed));
    const std::optional<std::chrono::seconds> left = EstimateRemaining(snapshot);
    if (language == Language::Japanese) {
        return "経過 " + elapsed + "、残り " + (left ? "約" + FormatDuration(*left) : "?");
    }
    return "elapsed " + elapsed + ", left " + (left ? "~" + FormatDuration(*left) : "?");
}

// True when the last page the run could not read is the listing of the
// prefecture under way. (Called on the harvest thread, which owns the list.)
bool ListingFailed(const HarvestReport& run) {
    return !run.pageFailures.empty() && run.pageFailures.back().kind == PageKind::Listing &&
           run.pageFailures.back().subject == run.currentPrefecture;
}

}  // namespace

int DisplayWidth(std::string_view utf8) {
    int width = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        width += IsWide(NextCodePoint(utf8, i)) ? 2 : 1;
    }
    return width;
}

std::string FormatBarLine(const ProgressSnapshot& snapshot, int columns, Language language) {
    const int usable = std::max(1, columns - 1);
    std::string text = Counter(snapshot.prefectureNumber, snapshot.prefectureCount) + " " +
                       snapshot.prefectureName + Pick(language, "  ゴルフ場 ", "  course ") +
                       Counter(snapshot.courseIndex, snapshot.courseTotal) + "  " +
                       TimesText(snapshot, language);
    const int barWidth = std::min(kMaximumBarWidth, usable - DisplayWidth(text) - 3);
    if (barWidth < kMinimumBarWidth) {
        return FitToWidth(text, usable);
    }
    const int filled = static_cast<int>(FractionDone(snapshot) * barWidth);
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(barWidth - filled), '-') + "] " + text;
}

std::string FormatPlainLine(const ProgressSnapshot& snapshot, Language language) {
    const std::string counter = Counter(snapshot.prefectureNumber, snapshot.prefectureCount);
    const std::string times = TimesText(snapshot, language);
    if (language == Language::Japanese) {
        const std::string line = "都道府県 " + counter + " " + snapshot.prefectureName + ": ";
        if (snapshot.courseTotal == 0 && snapshot.courseIndex == 0) {
            return line +
                   (snapshot.listingNotRead ? "一覧を取得できませんでした" : "ゴルフ場なし") +
                   "（" + times + "）";
        }
        return line + "ゴルフ場 " + Counter(snapshot.courseIndex, snapshot.courseTotal) + "（" +
               times + "）";
    }
    const std::string line = "prefecture " + counter + " " + snapshot.prefectureName;
    if (snapshot.courseTotal == 0 && snapshot.courseIndex == 0) {
        return line + (snapshot.listingNotRead ? ": listing not read (" : ": no course (") + times +
               ")";
    }
    return line + ": course " + Counter(snapshot.courseIndex, snapshot.courseTotal) + " (" + times +
           ")";
}

ProgressStyle ProgressStyleFor(bool terminal, bool quiet) {
    ProgressStyle style;
    style.terminal = terminal;
    const char* term = std::getenv("TERM");
    style.dumbTerminal = terminal && term != nullptr && std::string_view(term) == "dumb";
    style.quiet = quiet;
    style.language = ProcessLanguage();
    return style;
}

TerminalProgress::TerminalProgress(std::FILE* stream, bool terminal, bool quiet)
    : TerminalProgress(stream, ProgressStyleFor(terminal, quiet)) {}

TerminalProgress::TerminalProgress(std::FILE* stream, const ProgressStyle& style)
    : stream_(stream), style_(style), writer_(stream), started_(std::chrono::steady_clock::now()) {}

TerminalProgress::~TerminalProgress() = default;

void TerminalProgress::ProgressStart(const HarvestReport& run) {
    std::lock_guard lock(mutex_);
    started_ = std::chrono::steady_clock::now();
    snapshot_ = ProgressSnapshot{};
    snapshot_.prefectureCount = run.prefectureCount;
    prefectureLinePending_ = false;
}

void TerminalProgress::ProgressStep(const HarvestReport& run) {
    std::lock_guard lock(mutex_);
    WritePrefectureLineLocked();  // the prefecture before, now finished
    ++snapshot_.prefectureNumber;
    snapshot_.prefectureName = AnsiToUTF8(run.currentPrefecture);
    snapshot_.courseIndex = 0;
    snapshot_.courseTotal = 0;
    snapshot_.listingNotRead = false;
    prefectureLinePending_ = true;
    Draw();
}

void TerminalProgress::StatusUpdate(const HarvestReport& run) {
    std::lock_guard lock(mutex_);
    snapshot_.courseIndex = run.courseIndex;
    snapshot_.courseTotal = run.courseTotal;
    snapshot_.listingNotRead = ListingFailed(run);
    Draw();
}

void TerminalProgress::RunEnded(const HarvestReport&) {
    std::lock_guard lock(mutex_);
    WritePrefectureLineLocked();
    ClearBarLocked();
    // The closing lines that follow come after the progress.
    writer_.Flush(kNoteWriteWait);
}

// Called on the signal thread. The harvest thread holds the lock while it
// draws; so the lock is only tried, and the line goes out with a bounded wait.
void TerminalProgress::Note(const std::string& line) {
    std::unique_lock lock(mutex_, std::defer_lock);
    const bool locked = TryLockFor(lock, kNoteLockWait);
    // On a terminal the bar's line is cleared first, when a bar may be
    // shown. Without the lock the bar's width is not known: a dumb
    // terminal's whole line is covered.
    std::string erase;
    if (style_.terminal && (!locked || barShown_)) {
        erase = locked || !style_.dumbTerminal
                    ? EraseBarText()
                    : "\r" + std::string(static_cast<std::size_t>(Columns() - 1), ' ') + "\r";
    }
    std::string text = erase + line + "\n";
    if (locked && barShown_) {
        text += BarText();  // the bar again, below the line
    }
    writer_.Write(text, kNoteWriteWait);
}

void TerminalProgress::UpdateElapsed() {
    snapshot_.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started_);
}

// The bar line from the start of the line. On a dumb terminal, spaces cover
// what is left of a longer line before it, in place of "erase to the end".
std::string TerminalProgress::BarText() {
    UpdateElapsed();
    const std::string line = FormatBarLine(snapshot_, Columns(), style_.language);
    if (!style_.dumbTerminal) {
        barWidth_ = DisplayWidth(line);
        return "\r" + line + std::string(kEraseToLineEnd);
    }
    const int width = DisplayWidth(line);
    std::string text =
        "\r" + line + std::string(static_cast<std::size_t>(std::max(0, barWidth_ - width)), ' ');
    barWidth_ = width;
    return text;
}

// Back to the start of an empty line.
std::string TerminalProgress::EraseBarText() const {
    if (!style_.dumbTerminal) {
        return "\r" + std::string(kEraseToLineEnd);
    }
    return "\r" + std::string(static_cast<std::size_t>(barWidth_), ' ') + "\r";
}

void TerminalProgress::Draw() {
    if (style_.quiet || !style_.terminal) {
        return;
    }
    writer_.TryWrite(BarText());
    barShown_ = true;
}

void TerminalProgress::WritePrefectureLineLocked() {
    if (!prefectureLinePending_) {
        return;
    }
    prefectureLinePending_ = false;
    if (style_.quiet || style_.terminal) {
        return;
    }
    UpdateElapsed();
    writer_.TryWrite(FormatPlainLine(snapshot_, style_.language) + "\n");
}

void TerminalProgress::ClearBarLocked() {
    if (barShown_) {
        writer_.TryWrite(EraseBarText());
        barShown_ = false;
        barWidth_ = 0;
    }
}

int TerminalProgress::Columns() const {
    const int columns = TerminalColumns(stream_);
    return columns > 0 ? columns : kFallbackColumns;
}

}  // namespace teebasket::cli
