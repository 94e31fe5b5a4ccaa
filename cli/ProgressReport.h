// ProgressReport: the run's progress on standard error. On a terminal one
// line is redrawn in place (a bar, prefecture i/N and its name, course k/M,
// elapsed and estimated time left), without escape codes when TERM is dumb;
// otherwise, as in a log file or a cron mail, one plain line per prefecture.
// In Japanese or English, as the locale variables say.
//
// Progress never holds up the run: a progress line that the stream cannot
// take at once (standard error a pipe that nobody reads) is dropped.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "Language.h"
#include "RunProgress.h"
#include "TerminalStream.h"
#include "Unithread.h"

namespace teebasket::cli {

// Columns that `utf8` takes on a terminal: two for East Asian wide
// characters (kanji, kana, full-width forms), one for the others.
int DisplayWidth(std::string_view utf8);

// The line redrawn on a terminal of `columns` columns; never wider than
// columns - 1, so that it never wraps.
std::string FormatBarLine(const ProgressSnapshot& snapshot, int columns,
                          Language language = Language::English);

// A line for a log: the prefecture, the course, the times.
std::string FormatPlainLine(const ProgressSnapshot& snapshot,
                            Language language = Language::English);

// How the progress is shown.
struct ProgressStyle {
    bool terminal = false;      // one line redrawn in place, rather than a line per prefecture
    bool dumbTerminal = false;  // TERM=dumb: redrawn with "\r" and spaces, never an escape code
    bool quiet = false;         // no progress at all; notes only
    Language language = Language::English;
};

// The style for a stream that is a terminal or not, with TERM and the
// locale variables of this process.
ProgressStyle ProgressStyleFor(bool terminal, bool quiet);

// The observer that draws the progress. Notes from other threads (the
// Ctrl-C handler) go through Note, which keeps them and the bar apart.
class TerminalProgress : public HarvestObserver {
  public:
    // `stream` is standard error; `terminal` whether it is a terminal. TERM
    // and the language come from the environment (ProgressStyleFor).
    TerminalProgress(std::FILE* stream, bool terminal, bool quiet);
    TerminalProgress(std::FILE* stream, const ProgressStyle& style);
    ~TerminalProgress() override;
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    void ProgressStart(const HarvestReport& report) override;
    void ProgressStep(const HarvestReport& report) override;
    void StatusUpdate(const HarvestReport& report) override;
    void RunEnded(const HarvestReport& report) override;

    // Prints one line (UTF-8, without its line end) even when quiet. Never
    // keeps its caller for long, whatever state the stream is in: while a
    // progress write is blocked (standard error a pipe that nobody reads),
    // the line is written beside it within a short time, or dropped.
    void Note(const std::string& line);

  private:
    void Draw();
    void ClearBarLocked();
    void WritePrefectureLineLocked();
    int Columns() const;
    std::string BarText();
    std::string EraseBarText() const;
    void UpdateElapsed();

    std::FILE* stream_;
    ProgressStyle style_;
    // Held while the progress is drawn; Note only tries it for a moment.
    std::mutex mutex_;
    // The way to the stream: progress is written only when the stream takes
    // it at once, notes with a short wait.
    BoundedWriter writer_;
    std::chrono::steady_clock::time_point started_;
    ProgressSnapshot snapshot_;
    bool barShown_ = false;
    int barWidth_ = 0;                    // columns of the bar line last drawn
    bool prefectureLinePending_ = false;  // the prefecture under way has no line yet
};

}  // namespace teebasket::cli
