// ResumeFile: what --resume takes from an earlier run's CSV file (the partial
// file of an interrupted run, or a finished output file), and how a resumed
// run's finished file is put together.
//
// A course line is kept when its page was read: it is 31 quoted values as the
// program writes them, its detail-page URL names a course that this run lists,
// and some value other than 運営状況 and the two URLs is there. Every other
// listed course is read again: a row of defaults (its page could not be read),
// and a line that cannot be read at all (torn by a crash), are never copied.
// Lines hold code-page-932 bytes without their CR LF.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

#include "Unithread.h"

namespace teebasket::cli {

// Larger than any file a run of every prefecture writes, by far; a larger
// file is not taken for one of the program's.
inline constexpr std::uintmax_t kLargestEarlierFile = 256u * 1024u * 1024u;

// One course line of an earlier file that reads as 31 quoted values.
struct EarlierLine {
    std::string bytes;            // as in the file, without the line end
    std::string detailUrl;        // column 詳細ページURL (ASCII)
    bool holdsPageFacts = false;  // something was read from the course's page
};

struct EarlierFile {
    std::vector<EarlierLine> lines;  // the readable course lines, in file order
    int unreadableLines = 0;         // lines that are not 31 quoted values
    std::uintmax_t size = 0;         // bytes
    bool endsWithLineEnd = true;     // false: its last line is torn (no CR LF)
};

// Reads the earlier file `path` into `file`. Returns "" or why a run cannot
// continue from it (UTF-8): it cannot be read, it is too large, it has no
// header line, or its first line is not the header line this program writes.
std::string ReadEarlierFile(const std::filesystem::path& path, EarlierFile& file);

// True when `record` holds a value read from the course's page: some column
// other than 運営状況 and the two URLs is not empty.
bool HoldsPageFacts(const CourseRecord& record);

// True when some line of `file` names a course page on `bookingHost`.
bool NamesCoursesOn(const EarlierFile& file, const std::string& bookingHost);

// The courses of one resumed run: answers the engine's Keep for each listed
// course and remembers the listing order, so that the finished file lists
// the courses as an uninterrupted run would.
class ResumePlan : public KeptCourses {
  public:
    ResumePlan(const EarlierFile& earlier, PortalSettings portal);

    bool Keep(const std::string& courseId) override;

    // The earlier file held course lines, and whether one of them names a
    // course that this run has listed so far.
    bool EarlierHadCourses() const { return earlierHadCourses_; }
    bool EarlierNamesThisRun() const { return earlierNamesThisRun_; }

    // The course lines of the finished file, from `journal` (the partial
    // file after the run: the earlier lines and the ones this run wrote).
    // Each listed course, in listing order, gets its latest line that holds
    // page facts, or else its latest line; a course without any line (its
    // download was stopped) is left out. With `keepUnlisted` (the run did
    // not read every listing page) the journal's other courses follow, in
    // the order they first appear; otherwise they are dropped.
    std::vector<std::string> FinishedLines(const EarlierFile& journal, bool keepUnlisted) const;

  private:
    PortalSettings portal_;
    std::unordered_map<std::string, bool> earlier_;  // detail URL: its line holds page facts
    bool earlierHadCourses_ = false;
    bool earlierNamesThisRun_ = false;
    std::vector<std::string> listedUrls_;  // every Keep call, in order
};

}  // namespace teebasket::cli
