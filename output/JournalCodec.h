// JournalCodec: the lines of an output file, one course each, as the run
// writes them into its partial file and reads them back to resume.
//
// A partial file is a journal: the codec's preamble, then one line per
// course, each ended by LineEnd(). A line never holds a CR or an LF of its
// own, so a file cut back to its last line end holds whole courses only, and
// a line can be appended to it at any time.
//
//   Csv      the original CSV's bytes: CsvHeaderLine() CR LF, then
//            CourseLine() CR LF per course (code page 932).
//   CsvUtf8  BOM, the 40 header names, CR LF; then 40 quoted values per
//            course (RFC 4180, no trailing comma), CR LF.
//   Jsonl    no preamble; one JSON object per course, LF.
//   Xlsx     a workbook cannot be appended to, so its journal is JSON Lines:
//            the partial file of an xlsx run is a .jsonl file, resume reads
//            it with the Jsonl codec, and when the run puts its file in
//            place, the workbook is written from the journal's entries
//            (ReadJournal, then WriteWorkbook in Workbook.h) and takes the
//            output's place instead of the journal.
//
// Values: a page never gives a value with a CR or an LF (pages are cut into
// lines at both, and the body text is joined with blanks). Should a course
// hold one anyway, the CSV codecs write a blank in its place and the JSON
// codec writes it escaped (\r, \n), so that a line stays one line. Both CSV
// codecs put a ' before a value longer than one character that begins with
// =, +, -, @, a tab or a CR, so that a spreadsheet never runs it as a
// formula; Read takes it off again.
//
// The code-page-932 CSV has no 取得状況: Read infers it (InferredFetch in
// OutputColumns.h), and the position is not kept.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "OutputFormat.h"

namespace teebasket {

class JournalCodec {
  public:
    virtual ~JournalCodec() = default;

    // The bytes at the start of a new file (BOM, header line and its line
    // end; or nothing).
    virtual std::string Preamble() const = 0;

    // One course, without its line end; never holds a CR or an LF.
    virtual std::string Line(const CourseEntry& entry) const = 0;

    // The bytes that end every line.
    virtual std::string_view LineEnd() const = 0;

    // Reads a line as Line writes it (without its line end). False when it
    // is not such a line; `entry` is then unspecified.
    virtual bool Read(std::string_view line, CourseEntry& entry) const = 0;

    // Whether a file that begins with `fileStart` (its first bytes, as many
    // as there are up to some kilobytes) was written with this codec: its
    // preamble, or for JSON Lines nothing or a first line of ours.
    virtual bool StartsLikeMine(std::string_view fileStart) const = 0;
};

// The codec of a format's journal (Xlsx: the Jsonl codec).
const JournalCodec& JournalCodecFor(OutputFormat format);

// The courses of a whole journal file's bytes: the preamble must be there
// (false and `error` otherwise), then each line is read with the codec. A
// last line without its line end (torn by a crash) is left out; a line that
// the codec cannot read makes the result false with `error` naming it
// (UTF-8), unless `skipBadLines`.
bool ReadJournal(const JournalCodec& codec, std::string_view bytes,
                 std::vector<CourseEntry>& entries, std::string& error, bool skipBadLines = false);

}  // namespace teebasket
