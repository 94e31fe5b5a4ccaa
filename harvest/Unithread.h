// Unithread: the harvest engine. One run walks the chosen prefectures in list
// order, crawls each prefecture's listing pages, extracts every course's
// detail page into a CourseRecord and appends one CSV line per course. A page
// that fails on the way is asked for again; one that cannot be read is named
// in the run's page failures.
//
// The engine has no user interface and no global state: the caller owns the
// HarvestRun, the settings, the agent generator and the observer, and passes
// them in. Texts taken from pages (and the prefecture display names that the
// engine hands to its observer) are code-page-932 bytes in std::string.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "HarvestConfig.h"
#include "Unicommon.h"

namespace teebasket {

// ---------------------------------------------------------------------------
// Prefectures

inline constexpr int kPrefectureCount = 47;

struct PrefectureRow {
    std::string_view displayName;  // UTF-8, as the window lists it
    std::string_view slug;         // ASCII, as the listing URL uses it
};

// Index 0 (北海道, hokkaido) to 46 (沖縄県, okinawa): the list row and the key
// everywhere.
extern const std::array<PrefectureRow, kPrefectureCount> PrefectureTable;

// The slug of row `index`, or "" outside 0-46.
std::string PrefectureSlug(int index);

// The display name of row `index` in code page 932, or "" outside 0-46.
std::string PrefectureNameAnsi(int index);

// The prefectures of one run, copied when the run starts: the ticked row
// indices in ascending order and their display names (code-page-932 bytes).
struct Selection {
    std::vector<int> rows;
    std::vector<std::string> displayNames;
};

// A selection of `rows`, sorted ascending, duplicates and indices outside 0-46
// dropped, with the display names of PrefectureTable.
Selection MakeSelection(std::vector<int> rows);

// ---------------------------------------------------------------------------
// The CSV file

inline constexpr int kColumnCount = 31;
inline constexpr int kColumnName = 0;
inline constexpr int kColumnPostalCode = 1;
inline constexpr int kColumnAddress = 2;
inline constexpr int kColumnTelephone = 3;
inline constexpr int kColumnFax = 4;
inline constexpr int kColumnCarAccess = 5;
inline constexpr int kColumnTags = 8;
inline constexpr int kColumnState = 26;
inline constexpr int kColumnRating = 27;
inline constexpr int kColumnReviewCount = 28;
inline constexpr int kColumnReviewUrl = 29;
inline constexpr int kColumnDetailUrl = 30;

// One course: 31 code-page-932 values addressed by column index, all empty but
// the operating state, which starts as 運営中.
struct CourseRecord {
    CourseRecord();
    std::array<std::string, kColumnCount> values;
    std::string& operator[](int column) { return values[column]; }
    const std::string& operator[](int column) const { return values[column]; }
};

// The header names in column order, UTF-8.
extern const std::array<std::string_view, kColumnCount> ColumnHeaderNames;

// The header line in code page 932 (351 bytes), without its line end.
std::string CsvHeaderLine();

// One course line in code page 932, without its line end: 31 quoted values,
// each followed by a comma; a double quote inside a value is doubled, and a
// value longer than one byte that begins with =, +, -, @, a tab or a carriage
// return gets a leading ' so that a spreadsheet never runs it as a formula.
std::string CourseLine(const CourseRecord& record);

// Reads a course line as CourseLine writes it (code-page-932 bytes, without
// its line end) back into its 31 values, doubled quotes made single again;
// values stand as in the file (a formula-safe value keeps its leading ').
// False when the line is anything else: fewer or more values, a value not
// quoted or not followed by its comma, a line break inside, a line torn by a
// crash.
bool ReadCourseLine(std::string_view line, CourseRecord& record);

// ---------------------------------------------------------------------------
// The output file

// How the CSV file of a run is opened.
struct OutputOptions {
    // Add to the file as it is (it already holds its header line and ends with
    // a whole line) instead of creating or emptying it.
    bool append = false;
    // Hand each line to the disk (fsync) before the next course, so that even
    // a power loss keeps every whole line.
    bool syncEachLine = false;
};

// The CSV file of one run. Each line is written whole and flushed at once, so
// a finished row survives whatever happens next; a write that fails cuts the
// file back to the end of its last whole line, so the file never ends in a
// torn row. Safe to use from two threads (the run and a process that must end
// at once).
class CsvOutputFile {
  public:
    CsvOutputFile() = default;
    ~CsvOutputFile();
    CsvOutputFile(const CsvOutputFile&) = delete;
    CsvOutputFile& operator=(const CsvOutputFile&) = delete;

    // Creates `path`, or empties it, or with options.append opens it to add
    // lines at its end. Returns false and fills `error` (UTF-8).
    bool Open(const std::filesystem::path& path, std::string& error, OutputOptions options = {});

    bool IsOpen() const;

    // Writes `line` (code-page-932 bytes) and CR LF. Returns false and fills
    // `error` (UTF-8) when the line could not be written; the file is then
    // closed at its last whole line and every later write fails.
    bool WriteLine(std::string_view line, std::string& error);

    // Closes the file. Returns false and fills `error` (UTF-8) when its last
    // bytes could not be written; the file then ends at its last whole line.
    // Closing a file that is not open does nothing and succeeds.
    bool Close(std::string& error);

    // For a process that is about to end at once: lets a line being written
    // finish (waiting at most `patience`), then leaves the file ending at its
    // last whole line. Every later write fails.
    void FinishForExit(std::chrono::milliseconds patience);

    // The length of the file up to the end of its last whole line.
    std::uint64_t WholeLineBytes() const { return wholeBytes_.load(); }

  private:
    void CloseAndCutBack();
    void CutBack() const;

    mutable std::mutex mutex_;
    std::FILE* file_ = nullptr;
    std::filesystem::path path_;
    std::atomic<std::uint64_t> wholeBytes_{0};
    bool finished_ = false;
    bool syncEachLine_ = false;
};

// ---------------------------------------------------------------------------
// One run

// Pauses after each download; production values are fixed, tests pass zero.
struct PausePolicy {
    std::chrono::milliseconds afterListing{1000};
    std::chrono::milliseconds afterDetail{300};
};

// How often a page is asked for when the portal answers "try again later"
// (HTTP 408, 425, 429, 500, 502, 503, 504) or the transfer fails on the way
// (a refused or reset connection, a time-out, a body cut short). Production
// values are fixed, tests shorten them.
struct RetryPolicy {
    int attempts = 3;  // in all, the first one included
    // The wait before the second attempt, before the third, and so on (the
    // last one repeats), unless the answer says Retry-After.
    std::vector<std::chrono::milliseconds> waits{std::chrono::seconds(2), std::chrono::seconds(6)};
    std::chrono::milliseconds retryAfterCap{std::chrono::seconds(120)};
};

struct HarvestSettings {
    PortalSettings portal;
    PausePolicy pauses;
    RetryPolicy retries;
    FetchOptions fetch;  // time-outs and limits; the trusted certificate is portal.caCertificate
};

enum ResultCode : int {
    kResultNoRow = 0,        // no course line was written
    kResultRowsWritten = 1,  // at least one course line was written (or kept)
    kResultSiteUnreachable =
        9  // no line written or kept, and some download could not reach the portal
};

// The stop request of a run. The user-interface side sets it at any time; the
// run polls it between steps, its pauses and retry waits end early, and a
// download in progress is given up.
class StopFlag : public FetchStop {
  public:
    void Request();
    bool Requested() const { return requested_.load(std::memory_order_acquire); }
    bool StopRequested() const override { return Requested(); }
    // Sleeps for `duration` or until a stop is requested. Returns false when
    // the stop was requested.
    bool SleepFor(std::chrono::milliseconds duration) const;
    // Clears the flag for the next run.
    void Reset();

  private:
    std::atomic<bool> requested_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable wake_;
};

enum class PageKind { Listing, Detail };

// A page that could not be read after its attempts. A detail page's course
// still has its row, of defaults: csvLine says which.
struct PageFailure {
    PageKind kind = PageKind::Detail;
    // The course identifier as cut from the listing (detail page), or the
    // prefecture's display name (listing page); code-page-932 bytes.
    std::string subject;
    std::string url;      // ASCII
    std::string reason;   // UTF-8: the HTTP status or the transfer error, and the attempts
    long httpStatus = 0;  // the last answer's status; 0 when no answer came
    // The course's line in the CSV file (the header is line 1); 0 for a
    // listing, and in a run that adds to an earlier file (outputOptions.append).
    int csvLine = 0;
};

// The courses whose lines an earlier, interrupted run has left, so that a run
// that continues it need not read their pages again. The caller holds the
// lines and puts them in place; the engine only asks.
class KeptCourses {
  public:
    virtual ~KeptCourses() = default;
    // Asked for each course of the listing, in listing order, before its page
    // is asked for. True when the course keeps its earlier line: the run then
    // counts it as done, and sends no request, makes no pause and writes no
    // line for it.
    virtual bool Keep(const std::string& courseId) = 0;
};

// The state of one run, shared by its caller (window or terminal) and the
// engine. The engine writes the counters and currentPrefecture before each
// observer call; the observer reads them only inside its calls.
struct HarvestRun {
    // Makes the run ready for the next Execute: the two paths set, everything
    // else as new (the stop cleared, the output file closed) but the time of
    // the next request.
    void Reset(std::filesystem::path output, std::filesystem::path scratch);

    // Set by the caller before Execute.
    std::filesystem::path outputPath;
    std::filesystem::path scratchPath;   // the scratch file "tmp.dat" in the data folder
    OutputOptions outputOptions;         // Reset: a new file, flushed line by line
    KeptCourses* keptCourses = nullptr;  // Reset: none, every course's page is read

    // Written by the engine, readable from any thread.
    std::atomic<bool> running{false};
    std::atomic<int> resultCode{kResultNoRow};
    StopFlag stop;
    CsvOutputFile output;  // open while the run writes it
    // The run's downloads, over connections kept open from one page to the
    // next; used by the engine only, and closed when the run ends.
    FetchSession fetcher;
    // The earliest time of the next request: the pause after a page runs
    // while the page is read and its line written. Used by the engine only;
    // kept by Reset, so that a run started at once after a stopped one still
    // keeps the pause.
    std::chrono::steady_clock::time_point nextRequestAt{};

    // Written by the engine, read inside observer calls and after the run.
    int prefectureCount = 0;
    int courseTotal = 0;
    int courseIndex = 0;
    std::string currentPrefecture;          // code-page-932 bytes
    int rowsWritten = 0;                    // course lines this run has written
    int coursesKept = 0;                    // courses that kept their earlier line (keptCourses)
    bool downloadFailed = false;            // some download could not reach the portal
    std::string lastFetchFailure;           // UTF-8 reason of the last such failure
    std::vector<PageFailure> pageFailures;  // in the order they happened
    // UTF-8 reason when the run could not do its work (the output or scratch
    // file could not be created or written, an unexpected error); empty
    // otherwise.
    std::string failure;
};

// The four calls through which a run reports to its caller. Each is made on
// the harvest thread; the window turns each into a blocking call on its
// user-interface thread.
class HarvestObserver {
  public:
    virtual ~HarvestObserver() = default;
    // Once, after the header line is written and prefectureCount is set.
    virtual void ProgressStart(HarvestRun& run) = 0;
    // Once per prefecture, after currentPrefecture is set, before its crawl.
    virtual void ProgressStep(HarvestRun& run) = 0;
    // Before each course, and once for a prefecture with no course (or
    // stopped before its courses), showing 0 of 0.
    virtual void StatusUpdate(HarvestRun& run) = 0;
    // Last call of every run, after running is false and the scratch file is
    // gone.
    virtual void RunEnded(HarvestRun& run) = 0;
};

// Everything a run step needs, passed down explicitly.
struct HarvestContext {
    HarvestRun& run;
    const Selection& selection;
    const HarvestSettings& settings;
    UserAgentGenerator& agents;
    HarvestObserver& observer;
};

// The body of one run: sets running and resultCode, harvests the selection,
// deletes the scratch file, clears running, requests its own stop and ends
// with RunEnded. Never throws.
void Execute(HarvestContext& context);

// Opens the output file, writes the header line (unless the run adds to an
// earlier file) and crawls each prefecture of the selection in order. Reports
// an output file that cannot be created through HarvestRun::failure.
void HarvestPrefectures(HarvestContext& context);

// Reads the listing pages of one prefecture (page 1, then each next page that
// the page before links to) and then extracts each of their courses.
void CrawlPrefecture(HarvestContext& context, const std::string& slug);

// Downloads one course's detail page, appends its line to the output file and
// then pauses; a page that cannot be read gives a line of defaults and a
// PageFailure. A download given up for a stop writes no line.
void ExtractCourseDetail(HarvestContext& context, const std::string& courseId);

// ---------------------------------------------------------------------------
// The cutting rules, on pages already split into lines (for tests and
// benchmarks; the steps above use them).

// The URL of listing page `page` (from 1) of `slug`, and the detail and review
// URLs of a course.
std::string ListingUrl(const PortalSettings& portal, const std::string& slug, int page = 1);
std::string DetailUrl(const PortalSettings& portal, const std::string& courseId);
std::string ReviewUrl(const PortalSettings& portal, const std::string& courseId);

// `bytes` with every byte that may not stand in a URL path segment written as
// %XX, and "." and ".." written as %2E and %2E%2E, so that page text can never
// change the request.
std::string EncodePathSegment(const std::string& bytes);

// The course identifiers of a listing page, in page order. The page is read
// line by line as it lies in its buffer; the overload for lines already split
// gives the same result.
std::vector<std::string> ScanListingCards(const PageText& page, const StopFlag& stop);
std::vector<std::string> ScanListingCards(const std::vector<std::string>& lines,
                                          const StopFlag& stop);

// The most listing pages read for one prefecture.
inline constexpr int kMaxListingPages = 100;

// True when a listing page links to page `page` of the listing of `slug`: an
// address that holds "/doc/area/<slug>/" and the query parameter
// "page=<page>". The overload for lines already split gives the same answer.
bool ListingLinksToPage(const PageText& page, const std::string& slug, int pageNumber);
bool ListingLinksToPage(const std::vector<std::string>& lines, const std::string& slug,
                        int pageNumber);

// Fills a record from a detail page: structured data, body pass, and the two
// URL columns. A page once downloaded is always read whole, so a stop request
// never leaves a half-filled line behind. The page is read line by line as it
// lies in its buffer; the overload for lines already split gives the same
// record.
CourseRecord ParseCourseDetail(const PageText& page, const PortalSettings& portal,
                               const std::string& courseId);
CourseRecord ParseCourseDetail(const std::vector<std::string>& lines, const PortalSettings& portal,
                               const std::string& courseId);

// The structured-data pass over one script line (raw UTF-8 bytes).
void ExtractStructuredData(std::string_view line, CourseRecord& record);

// The body pass over the collected body text (code-page-932 bytes).
void ExtractBodySections(std::string_view bodyText, CourseRecord& record);

// Labels of the 21 section slots (UTF-8; slots 2 and 20 are empty).
extern const std::array<std::string_view, 21> SectionLabelTable;

// The column of the first non-empty slot whose label equals `label`
// (code-page-932 bytes) without regard to case, or -1.
int ColumnForLabel(std::string_view label);

}  // namespace teebasket
