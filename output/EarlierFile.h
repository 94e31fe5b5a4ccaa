// EarlierFile: what a run that continues an earlier one takes from the
// earlier run's file (the partial file of an interrupted run, or a finished
// output file), and how its finished file is put together.
//
// A course line is kept when its page was read: it reads as a line of the
// run's format (JournalCodec), its detail-page URL names a course that this
// run lists, something was read from the page (HoldsPageFacts), and it is not
// a row taken again from an earlier file (CourseFetch::Kept). Every other
// listed course is read again: a row of a page that could not be read, and a
// line that cannot be read at all (torn by a crash, a NUL byte inside), are
// never copied. Lines are held as the codec writes them,
// without their line end (code-page-932 bytes for the CSV).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

#include "JournalCodec.h"
#include "OutputFormat.h"
#include "RunFailure.h"
#include "whole_file.h"

namespace teebasket {

// Larger than any file a run of every prefecture writes, by far; a larger
// file is not taken for one of the program's.
inline constexpr std::uintmax_t kLargestEarlierFile = 256u * 1024u * 1024u;

// One course line of an earlier file that the codec reads.
struct EarlierLine {
    std::string bytes;            // as the codec writes it, without the line end
    std::string detailUrl;        // column 詳細ページURL (ASCII)
    bool holdsPageFacts = false;  // something was read from the course's page
    bool kept = false;            // taken again from an earlier file (CourseFetch::Kept)
};

struct EarlierFile {
    std::vector<EarlierLine> lines;  // the readable course lines, in file order
    int unreadableLines = 0;         // lines that are not 31 quoted values
    std::uintmax_t size = 0;         // bytes
    bool endsWithLineEnd = true;     // false: its last line is torn (no line end)
};

// Reads the journal-like file `path` (a partial file, or a finished file of
// a format that is its own journal) with `codec` into `file`. A failure
// names why a run cannot continue from it: it cannot be read (a link where
// `links` refuses one, a pipe, a folder), it is too large, or it does not
// begin as the codec's files do (no header line, another program's). Each
// kept line is written again as a new line would be, so a value edited by
// hand into a formula gets the cell guard.
RunFailure ReadEarlierFile(const std::filesystem::path& path, EarlierFile& file, LinkRule links,
                           const JournalCodec& codec);

// Reads a finished output file of `format` into `file`, its lines as the
// format's journal codec writes them: a workbook, and a UTF-8 CSV of an
// earlier version (fewer columns), through the output readers, the other
// files as ReadEarlierFile does. A link at `path` is followed.
RunFailure ReadEarlierOutput(const std::filesystem::path& path, EarlierFile& file,
                             OutputFormat format);

// The entries of `lines`, read back with `codec` (lines it cannot read are
// left out).
std::vector<CourseEntry> EntriesOf(const std::vector<std::string>& lines,
                                   const JournalCodec& codec);

// True when some line of `file` names a course page whose address begins
// with `detailUrlPrefix` (the address of the portal's course pages without
// the course identifier, ASCII).
bool NamesCoursesOn(const EarlierFile& file, const std::string& detailUrlPrefix);

// The number of lines of `file` that a resume keeps without asking for their
// page again: they hold page facts read by the run that wrote them.
int KeepableLines(const EarlierFile& file);

// The rows of the files a run replaces or continues that hold what a course's
// page said, by detail-page URL: the row a course takes again, as it was,
// when its page cannot be read this time.
class EarlierRows {
  public:
    // Takes `entry` when it holds page facts; it replaces a row of the same
    // page taken before (files are added oldest first).
    void Add(CourseEntry entry);

    // The row of the page at `detailUrl` (ASCII), or null.
    const CourseEntry* Find(const std::string& detailUrl) const;

  private:
    std::unordered_map<std::string, CourseEntry> rows_;
};

// The courses of one resumed run: answers for each listed course whether its
// earlier line is kept, and remembers the listing order, so that the finished
// file lists the courses as an uninterrupted run would.
class ResumePlan {
  public:
    explicit ResumePlan(const EarlierFile& earlier);

    // Asked for each course of the listing, by the address of its detail page
    // (ASCII), in listing order, before its page is asked for. True when the
    // course keeps its earlier line.
    bool Keep(const std::string& detailUrl);

    // The course lines of the finished file, from `journal` (the partial
    // file after the run: the earlier lines and the ones this run wrote).
    // Each listed course, in listing order, gets its latest line whose page
    // facts its run read, or else its latest line taken again from an
    // earlier file, or else its latest line; a course without any line (its
    // download was stopped) is left out. With `keepUnlisted` (the run did
    // not read every listing page) the journal's other courses follow, in
    // the order they first appear; otherwise they are dropped.
    std::vector<std::string> FinishedLines(const EarlierFile& journal, bool keepUnlisted) const;

  private:
    std::unordered_map<std::string, bool> earlier_;  // detail URL: a resume keeps its line
    std::vector<std::string> listedUrls_;            // every Keep call, in order
};

}  // namespace teebasket
