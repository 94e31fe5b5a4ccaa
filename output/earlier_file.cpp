#include "EarlierFile.h"

#include <string_view>
#include <unordered_set>

#include "CourseRecord.h"
#include "OutputReader.h"

namespace teebasket {

namespace fs = std::filesystem;

namespace {

RunFailure ReadBytes(const fs::path& path, LinkRule links, std::string& bytes) {
    WholeFileRead read = ReadWholeFile(path, kLargestEarlierFile, links);
    switch (read.status) {
        case WholeFileRead::Status::Read:
            bytes = std::move(read.bytes);
            return {};
        case WholeFileRead::Status::TooLarge:
            return FileFailure(RunFailureKind::EarlierFileTooLarge, path);
        case WholeFileRead::Status::IsFolder:
        case WholeFileRead::Status::IsLink:
        case WholeFileRead::Status::NotRegular:
            return FileFailure(RunFailureKind::NotARegularFile, path);
        case WholeFileRead::Status::Missing:
            return FileFailure(RunFailureKind::EarlierFileUnreadable, path,
                               std::make_error_code(std::errc::no_such_file_or_directory));
        case WholeFileRead::Status::Failed:
            break;
    }
    return FileFailure(RunFailureKind::EarlierFileUnreadable, path, read.error);
}

void TakeEntry(const CourseEntry& entry, const JournalCodec& codec, EarlierFile& file) {
    file.lines.push_back(EarlierLine{codec.Line(entry), entry.record[kColumnDetailUrl],
                                     HoldsPageFacts(entry.record),
                                     entry.fetchStatus == CourseFetch::Kept});
}

// Adds one course line (without its line end) to `file`, written again as
// the codec writes a new one. A line with a NUL byte is nothing a run writes.
void TakeCourseLine(std::string_view line, const JournalCodec& codec, EarlierFile& file) {
    CourseEntry entry;
    if (line.find('\0') != std::string_view::npos || !codec.Read(line, entry)) {
        ++file.unreadableLines;
        return;
    }
    TakeEntry(entry, codec, file);
}

// True when a resume keeps `line` without asking for its page again.
bool ReadByItsRun(const EarlierLine& line) {
    return line.holdsPageFacts && !line.kept;
}

// How much a line of a finished file is worth: facts its run read, facts
// taken again from an earlier file, nothing read.
int Worth(const EarlierLine& line) {
    return ReadByItsRun(line) ? 2 : line.holdsPageFacts ? 1 : 0;
}

// For each course of `journal`, the line a finished file gives it: the latest
// of those worth the most. `order` lists the courses as they first appear.
std::unordered_map<std::string, const EarlierLine*> ChooseLines(const EarlierFile& journal,
                                                                std::vector<std::string>& order) {
    std::unordered_map<std::string, const EarlierLine*> chosen;
    for (const EarlierLine& line : journal.lines) {
        const auto [entry, isNew] = chosen.try_emplace(line.detailUrl, &line);
        if (isNew) {
            order.push_back(line.detailUrl);
        } else if (Worth(line) >= Worth(*entry->second)) {
            entry->second = &line;
        }
    }
    return chosen;
}

}  // namespace

RunFailure ReadEarlierFile(const fs::path& path, EarlierFile& file, LinkRule links,
                           const JournalCodec& codec) {
    file = EarlierFile{};
    std::string bytes;
    if (RunFailure failure = ReadBytes(path, links, bytes)) {
        return failure;
    }
    file.size = bytes.size();
    const std::string_view text = bytes;
    const std::string preamble = codec.Preamble();
    if (!text.starts_with(preamble) || !codec.StartsLikeMine(text.substr(0, 64 * 1024))) {
        return FileFailure(RunFailureKind::EarlierFileForeign, path);
    }
    const std::string_view lineEnd = codec.LineEnd();
    std::size_t at = preamble.size();
    while (at < text.size()) {
        const std::size_t end = text.find(lineEnd, at);
        if (end == std::string_view::npos) {
            ++file.unreadableLines;  // torn: a whole line always has its line end
            file.endsWithLineEnd = false;
            break;
        }
        TakeCourseLine(text.substr(at, end - at), codec, file);
        at = end + lineEnd.size();
    }
    return {};
}

RunFailure ReadEarlierOutput(const fs::path& path, EarlierFile& file, OutputFormat format) {
    if (format != OutputFormat::Xlsx) {
        RunFailure failure = ReadEarlierFile(path, file, LinkRule::Follow, JournalCodecFor(format));
        // A UTF-8 CSV of an earlier version has fewer columns: its rows are
        // found by their header, as a workbook's are.
        if (format != OutputFormat::CsvUtf8 || failure.kind != RunFailureKind::EarlierFileForeign) {
            return failure;
        }
    }
    file = EarlierFile{};
    std::string bytes;
    if (RunFailure failure = ReadBytes(path, LinkRule::Follow, bytes)) {
        return failure;
    }
    std::vector<CourseEntry> entries;
    OutputFormat found = OutputFormat::Csv;
    std::string error;
    if (!ReadOutputBytes(bytes, entries, error, &found) || found != format) {
        return FileFailure(RunFailureKind::EarlierFileForeign, path);
    }
    file.size = bytes.size();
    const JournalCodec& codec = JournalCodecFor(format);
    for (const CourseEntry& entry : entries) {
        TakeEntry(entry, codec, file);
    }
    return {};
}

std::vector<CourseEntry> EntriesOf(const std::vector<std::string>& lines,
                                   const JournalCodec& codec) {
    std::vector<CourseEntry> entries;
    entries.reserve(lines.size());
    for (const std::string& line : lines) {
        CourseEntry entry;
        if (codec.Read(line, entry)) {
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

bool NamesCoursesOn(const EarlierFile& file, const std::string& detailUrlPrefix) {
    for (const EarlierLine& line : file.lines) {
        if (line.detailUrl.starts_with(detailUrlPrefix)) {
            return true;
        }
    }
    return false;
}

int KeepableLines(const EarlierFile& file) {
    int keepable = 0;
    for (const EarlierLine& line : file.lines) {
        keepable += ReadByItsRun(line) ? 1 : 0;
    }
    return keepable;
}

void EarlierRows::Add(CourseEntry entry) {
    if (HoldsPageFacts(entry.record)) {
        std::string url = entry.record[kColumnDetailUrl];
        rows_.insert_or_assign(std::move(url), std::move(entry));
    }
}

const CourseEntry* EarlierRows::Find(const std::string& detailUrl) const {
    const auto found = rows_.find(detailUrl);
    return found == rows_.end() ? nullptr : &found->second;
}

ResumePlan::ResumePlan(const EarlierFile& earlier) {
    for (const EarlierLine& line : earlier.lines) {
        bool& keep = earlier_[line.detailUrl];
        keep = keep || ReadByItsRun(line);
    }
}

bool ResumePlan::Keep(const std::string& detailUrl) {
    const auto found = earlier_.find(detailUrl);
    listedUrls_.push_back(detailUrl);
    return found != earlier_.end() && found->second;
}

std::vector<std::string> ResumePlan::FinishedLines(const EarlierFile& journal,
                                                   bool keepUnlisted) const {
    std::vector<std::string> order;
    const std::unordered_map<std::string, const EarlierLine*> chosen = ChooseLines(journal, order);
    std::vector<std::string> lines;
    for (const std::string& url : listedUrls_) {
        if (const auto found = chosen.find(url); found != chosen.end()) {
            lines.push_back(found->second->bytes);
        }
    }
    if (keepUnlisted) {
        const std::unordered_set<std::string> listed(listedUrls_.begin(), listedUrls_.end());
        for (const std::string& url : order) {
            if (listed.count(url) == 0) {
                lines.push_back(chosen.at(url)->bytes);
            }
        }
    }
    return lines;
}

}  // namespace teebasket
