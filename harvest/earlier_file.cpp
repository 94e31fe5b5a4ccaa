#include "EarlierFile.h"

#include <string_view>
#include <unordered_set>

#include "CourseRecord.h"
#include "CuttingRules.h"

namespace teebasket {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kLineEnd = "\r\n";

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

// Adds one course line (without its line end) to `file`, written again as
// CourseLine writes a new one.
void TakeCourseLine(std::string_view line, EarlierFile& file) {
    CourseRecord record;
    if (!ReadCourseLine(line, record)) {
        ++file.unreadableLines;
        return;
    }
    file.lines.push_back(
        EarlierLine{CourseLine(record), record[kColumnDetailUrl], HoldsPageFacts(record)});
}

// For each course of `journal`, the line a finished file gives it: the latest
// that holds page facts, or else the latest. `order` lists the courses as
// they first appear.
std::unordered_map<std::string, const EarlierLine*> ChooseLines(const EarlierFile& journal,
                                                                std::vector<std::string>& order) {
    std::unordered_map<std::string, const EarlierLine*> chosen;
    for (const EarlierLine& line : journal.lines) {
        const auto [entry, isNew] = chosen.try_emplace(line.detailUrl, &line);
        if (isNew) {
            order.push_back(line.detailUrl);
        } else if (line.holdsPageFacts || !entry->second->holdsPageFacts) {
            entry->second = &line;
        }
    }
    return chosen;
}

}  // namespace

RunFailure ReadEarlierFile(const fs::path& path, EarlierFile& file, LinkRule links) {
    file = EarlierFile{};
    std::string bytes;
    if (RunFailure failure = ReadBytes(path, links, bytes)) {
        return failure;
    }
    file.size = bytes.size();
    const std::string_view text = bytes;
    const std::size_t headerEnd = text.find(kLineEnd);
    if (headerEnd == std::string_view::npos || text.substr(0, headerEnd) != CsvHeaderLine()) {
        return FileFailure(RunFailureKind::EarlierFileForeign, path);
    }
    std::size_t at = headerEnd + kLineEnd.size();
    while (at < text.size()) {
        const std::size_t end = text.find(kLineEnd, at);
        if (end == std::string_view::npos) {
            ++file.unreadableLines;  // torn: a whole line always ends in CR LF
            file.endsWithLineEnd = false;
            break;
        }
        TakeCourseLine(text.substr(at, end - at), file);
        at = end + kLineEnd.size();
    }
    return {};
}

bool NamesCoursesOn(const EarlierFile& file, const std::string& bookingHost) {
    PortalSettings portal;
    portal.bookingHost = bookingHost;
    const std::string prefix = DetailUrl(portal, "");
    for (const EarlierLine& line : file.lines) {
        if (line.detailUrl.starts_with(prefix)) {
            return true;
        }
    }
    return false;
}

int KeepableLines(const EarlierFile& file) {
    int keepable = 0;
    for (const EarlierLine& line : file.lines) {
        keepable += line.holdsPageFacts ? 1 : 0;
    }
    return keepable;
}

ResumePlan::ResumePlan(const EarlierFile& earlier, PortalSettings portal)
    : portal_(std::move(portal)), earlierHadCourses_(!earlier.lines.empty()) {
    for (const EarlierLine& line : earlier.lines) {
        bool& holdsPageFacts = earlier_[line.detailUrl];
        holdsPageFacts = holdsPageFacts || line.holdsPageFacts;
    }
}

bool ResumePlan::Keep(const std::string& courseId) {
    std::string url = DetailUrl(portal_, courseId);
    const auto found = earlier_.find(url);
    listedUrls_.push_back(std::move(url));
    if (found == earlier_.end()) {
        return false;
    }
    earlierNamesThisRun_ = true;
    return found->second;
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
