#include "ResumeFile.h"

#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>
#include <unordered_set>

#include "path_text.h"

namespace teebasket::cli {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kLineEnd = "\r\n";

std::string Quoted(const fs::path& path) {
    return "\"" + PathText(path) + "\"";
}

std::string ReadWholeFile(const fs::path& path, std::string& bytes) {
    std::error_code error;
    if (fs::is_directory(path, error)) {
        return Quoted(path) + " is a folder";
    }
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) {
        return Quoted(path) + " cannot be read: " + error.message();
    }
    if (size > kLargestEarlierFile) {
        return Quoted(path) + " is too large (" + std::to_string(size) +
               " bytes) to be a file this program wrote";
    }
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
        return Quoted(path) + " cannot be read";
    }
    return {};
}

// Adds one course line (without its line end) to `file`.
void TakeCourseLine(std::string_view line, EarlierFile& file) {
    CourseRecord record;
    if (!ReadCourseLine(line, record)) {
        ++file.unreadableLines;
        return;
    }
    file.lines.push_back(
        EarlierLine{std::string(line), record[kColumnDetailUrl], HoldsPageFacts(record)});
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

std::string ReadEarlierFile(const fs::path& path, EarlierFile& file) {
    file = EarlierFile{};
    std::string bytes;
    if (std::string problem = ReadWholeFile(path, bytes); !problem.empty()) {
        return problem;
    }
    file.size = bytes.size();
    const std::string_view text = bytes;
    const std::size_t headerEnd = text.find(kLineEnd);
    if (headerEnd == std::string_view::npos) {
        return Quoted(path) + " has no header line";
    }
    if (text.substr(0, headerEnd) != CsvHeaderLine()) {
        return "the first line of " + Quoted(path) +
               " is not the header line that teebasket writes";
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

bool HoldsPageFacts(const CourseRecord& record) {
    for (int column = 0; column < kColumnCount; ++column) {
        const bool ownValue =
            column != kColumnState && column != kColumnReviewUrl && column != kColumnDetailUrl;
        if (ownValue && !record[column].empty()) {
            return true;
        }
    }
    return false;
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

}  // namespace teebasket::cli
