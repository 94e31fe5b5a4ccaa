// The table of results: its store, sort and filter.
#include <algorithm>
#include <cmath>
#include <limits>

#include "ResultsTable.h"

namespace teebasket::results {
namespace {

constexpr std::string_view kStateClosed = "閉鎖";

// Decodes the UTF-8 character at `at` (advancing it); a broken byte stands
// for itself.
char32_t NextCodePoint(std::string_view text, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    if (extra == 0 || at + extra >= text.size()) {
        ++at;
        return lead;
    }
    char32_t code = lead & (0x3F >> extra);
    for (std::size_t i = 1; i <= extra; ++i) {
        code = (code << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    }
    at += extra + 1;
    return code;
}

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// Seconds since 1970 of an ISO 8601 time with its offset
// (2026-12-09T13:45:02+09:00); nothing for another text.
std::optional<double> IsoSeconds(std::string_view text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (text.size() < 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T') {
        return std::nullopt;
    }
    const auto number = [&text](std::size_t at, std::size_t length, int& value) {
        value = 0;
        for (std::size_t i = at; i < at + length; ++i) {
            if (text[i] < '0' || text[i] > '9') {
                return false;
            }
            value = value * 10 + (text[i] - '0');
        }
        return true;
    };
    if (!number(0, 4, year) || !number(5, 2, month) || !number(8, 2, day) || !number(11, 2, hour) ||
        !number(14, 2, minute) || !number(17, 2, second)) {
        return std::nullopt;
    }
    int offsetMinutes = 0;
    const std::string_view zone = text.substr(19);
    if (zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && zone[3] == ':') {
        int zoneHours = 0, zoneMinutes = 0;
        if (!number(20, 2, zoneHours) || !number(23, 2, zoneMinutes)) {
            return std::nullopt;
        }
        offsetMinutes = (zone[0] == '-' ? -1 : 1) * (zoneHours * 60 + zoneMinutes);
    }
    // Days from civil (proleptic Gregorian).
    const int y = year - (month <= 2);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const double days = static_cast<double>(era) * 146097 + dayOfEra - 719468;
    return days * 86400 + hour * 3600 + minute * 60 + second - offsetMinutes * 60;
}

// The columns whose text holds one number with a unit (27ホール, 7,012ヤード,
// 52件) sort by that number.
bool SortsByOnlyNumber(int column) {
    return column == kColumnHoles || column == kColumnDistance || column == kColumnReviewCount;
}

// The number a value holds as a whole, also in a form other than the
// shortest ("2.0", "072").
std::optional<double> PlainNumber(std::string_view text) {
    if (const std::optional<double> number = WholeNumber(text)) {
        return number;
    }
    if (text.find_first_not_of("0123456789.") != std::string_view::npos) {
        return std::nullopt;
    }
    return OnlyNumber(text);
}

// A record's value of the sorted column, typed. A text's first 16 bytes
// are kept beside it, so that most comparisons never reach the store.
struct SortKey {
    enum class Kind : std::uint8_t { Number, Text, Absent } kind = Kind::Absent;
    double number = 0;
    std::uint64_t head = 0;  // bytes 0-7, the first the most significant
    std::uint64_t tail = 0;  // bytes 8-15
    std::size_t size = 0;
};

std::uint64_t BigEndianBytes(std::string_view text, std::size_t from) {
    std::uint64_t bytes = 0;
    for (std::size_t at = from; at < from + 8; ++at) {
        bytes = (bytes << 8) | (at < text.size() ? static_cast<unsigned char>(text[at]) : 0u);
    }
    return bytes;
}

// The key of `text` in `column`; -1 takes it as a text whatever it holds.
SortKey KeyOf(std::string_view text, int column) {
    if (text.empty()) {
        return {};
    }
    std::optional<double> number;
    if (column == kColumnFetchedAt) {
        number = IsoSeconds(text);
    } else if (SortsByOnlyNumber(column)) {
        number = OnlyNumber(text);
    } else if (column >= 0 && OutputColumns[column].type != ColumnType::Text) {
        number = PlainNumber(text);
    }
    if (number) {
        return {SortKey::Kind::Number, *number, 0, 0, 0};
    }
    return {SortKey::Kind::Text, 0, BigEndianBytes(text, 0), BigEndianBytes(text, 8), text.size()};
}

// -1, 0 or 1 as the texts of `left` and `right` compare; `full` gives the
// whole texts when their first 16 bytes say nothing.
template <typename FullTexts>
int CompareTexts(const SortKey& left, const SortKey& right, FullTexts full) {
    if (left.head != right.head) {
        return left.head < right.head ? -1 : 1;
    }
    if (left.tail != right.tail) {
        return left.tail < right.tail ? -1 : 1;
    }
    if (left.size <= 16 || right.size <= 16) {
        return left.size == right.size ? 0 : left.size < right.size ? -1 : 1;
    }
    return full();
}

// Gives each text key its rank among the column's distinct texts as its
// number, so that the sort of the records compares numbers only: the texts
// lie all over the store, and comparing them there at every step would wait
// on memory far more than it computes.
template <typename ValueOf>
void RankTexts(std::vector<SortKey>& keys, const ValueOf& valueOf) {
    std::unordered_map<std::string_view, std::uint32_t> idOfText;
    std::vector<std::string_view> texts;
    std::vector<std::uint32_t> idOfRecord(keys.size());
    for (std::uint32_t record = 0; record < keys.size(); ++record) {
        if (keys[record].kind != SortKey::Kind::Text) {
            continue;
        }
        const std::string_view text = valueOf(record);
        const auto [found, added] =
            idOfText.emplace(text, static_cast<std::uint32_t>(texts.size()));
        if (added) {
            texts.push_back(text);
        }
        idOfRecord[record] = found->second;
    }
    std::vector<std::uint32_t> byText(texts.size());
    std::vector<SortKey> textKeys(texts.size());
    for (std::uint32_t id = 0; id < texts.size(); ++id) {
        byText[id] = id;
        textKeys[id] = KeyOf(texts[id], -1);
    }
    std::sort(byText.begin(), byText.end(), [&](std::uint32_t a, std::uint32_t b) {
        return CompareTexts(textKeys[a], textKeys[b], [&] {
                   const int full = texts[a].compare(texts[b]);
                   return full < 0 ? -1 : full > 0 ? 1 : 0;
               }) < 0;
    });
    std::vector<std::uint32_t> rank(texts.size());
    for (std::uint32_t at = 0; at < byText.size(); ++at) {
        rank[byText[at]] = at;
    }
    for (std::uint32_t record = 0; record < keys.size(); ++record) {
        if (keys[record].kind == SortKey::Kind::Text) {
            keys[record].number = rank[idOfRecord[record]];
        }
    }
}

bool IsRatingChange(const std::vector<ColumnChange>& columns) {
    return std::any_of(columns.begin(), columns.end(),
                       [](const ColumnChange& change) { return change.column == kColumnRating; });
}

bool IsClosing(const std::vector<ColumnChange>& columns) {
    return std::any_of(columns.begin(), columns.end(), [](const ColumnChange& change) {
        return change.column == kColumnState && change.newValue == kStateClosed;
    });
}

}  // namespace

OutputReadBounds ResultsReadBounds() {
    OutputReadBounds bounds;
    bounds.fileBytes = 512u << 20;
    bounds.courses = 250000;
    bounds.valueBytesInAll = 384u << 20;
    bounds.workbookXmlBytes = 768u << 20;
    return bounds;
}

std::string SummaryLine(const ChangeSummary& summary) {
    return "新規 " + std::to_string(summary.added) + "・掲載終了 " + std::to_string(summary.gone) +
           "・閉鎖 " + std::to_string(summary.closed) + "・評価変動 " +
           std::to_string(summary.ratingChanged) + "・取得できず " + std::to_string(summary.failed);
}

std::string SearchFolded(std::string_view utf8) {
    std::string folded;
    folded.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        char32_t code = NextCodePoint(utf8, at);
        if (code >= 0xFF01 && code <= 0xFF5E) {
            code -= 0xFEE0;
        } else if (code == 0x3000) {
            code = ' ';
        }
        if (code >= 'A' && code <= 'Z') {
            code += 'a' - 'A';
        }
        AppendUtf8(folded, code);
    }
    return folded;
}

void ResultsTable::Clear() {
    bytes_.clear();
    offsets_.clear();
    folded_.clear();
    foldedEnds_.clear();
    ratings_.clear();
    fetches_.clear();
    marks_.clear();
    changedColumns_.clear();
    fileRecords_ = 0;
    compared_ = false;
    summary_ = {};
    order_.clear();
    view_.clear();
    filter_ = {};
}

void ResultsTable::Append(const CourseEntry& entry) {
    AppendValues(entry);
    folded_ += SearchFolded(Utf8FromCp932(entry.record[kColumnName]));
    folded_ += '\n';
    folded_ += SearchFolded(Utf8FromCp932(entry.record[kColumnAddress]));
    foldedEnds_.push_back(static_cast<std::uint32_t>(folded_.size()));
    const std::optional<double> rating = PlainNumber(entry.record[kColumnRating]);
    ratings_.push_back(rating ? static_cast<float>(*rating)
                              : std::numeric_limits<float>::quiet_NaN());
    marks_.push_back(ChangeMark::None);
}

void ResultsTable::AppendValues(const CourseEntry& entry) {
    const auto put = [this](std::string_view value) {
        offsets_.push_back(static_cast<std::uint32_t>(bytes_.size()));
        bytes_ += value;
    };
    for (const std::string& value : entry.record.values) {
        put(value);
    }
    put(entry.prefecture);
    put(entry.courseId);
    put(entry.fetchedAt);
    for (int column = kColumnHoleCount; column <= kColumnFetchStatus; ++column) {
        put({});  // told from other values when asked
    }
    put(entry.latitude);
    put(entry.longitude);
    offsets_.push_back(static_cast<std::uint32_t>(bytes_.size()));
    fetches_.push_back(entry.fetchStatus);
}

void ResultsTable::AppendFrom(const ResultsTable& other, std::uint32_t record) {
    Append(other.EntryOf(record));
}

std::string_view ResultsTable::Stored(std::uint32_t record, int column) const {
    const std::size_t at = record * kStride + static_cast<std::size_t>(column);
    return std::string_view(bytes_).substr(offsets_[at], offsets_[at + 1] - offsets_[at]);
}

bool ResultsTable::Open(const std::filesystem::path& file, std::string& error) {
    return Read(file, true, error);
}

bool ResultsTable::Read(const std::filesystem::path& file, bool searchable, std::string& error) {
    ResultsTable read;
    // Reserved address space costs no memory until it is written, and spares
    // the copies of a growing store: the values take no more than the file.
    std::error_code ignored;
    const std::uintmax_t fileBytes = std::filesystem::file_size(file, ignored);
    if (!ignored) {
        read.bytes_.reserve(std::min<std::uintmax_t>(
            fileBytes * 4,
            std::min<std::uintmax_t>(ResultsReadBounds().valueBytesInAll, 1u << 31)));
    }
    const CourseSink take = [&read, searchable](CourseEntry&& entry) {
        if (searchable) {
            read.Append(entry);
        } else {
            read.AppendValues(entry);
        }
    };
    OutputFormat format = OutputFormat::Csv;
    if (!ReadOutputFileEach(file, ResultsReadBounds(), take, error, &format)) {
        return false;
    }
    read.format_ = format;
    read.fileRecords_ = read.RecordCount();
    read.order_.resize(read.fileRecords_);
    for (std::uint32_t record = 0; record < read.order_.size(); ++record) {
        read.order_[record] = record;
    }
    read.view_ = read.order_;
    *this = std::move(read);
    return true;
}

std::string ResultsTable::Text(std::uint32_t record, int column) const {
    if (column < kColumnCount) {
        return Utf8FromCp932(std::string(Stored(record, column)));
    }
    switch (column) {
        case kColumnHoleCount:
        case kColumnDistanceYards:
        case kColumnReviewNumber: {
            const int source = column == kColumnHoleCount       ? kColumnHoles
                               : column == kColumnDistanceYards ? kColumnDistance
                                                                : kColumnReviewCount;
            const std::optional<double> number = OnlyNumber(Text(record, source));
            return number ? NumberText(*number) : std::string();
        }
        case kColumnFetchStatus:
            return std::string(FetchStatusText(fetches_[record]));
        default:
            return std::string(Stored(record, column));
    }
}

std::optional<std::string_view> ResultsTable::EarlierValue(std::uint32_t record, int column) const {
    const auto found = changedColumns_.find(record);
    if (found == changedColumns_.end()) {
        return std::nullopt;
    }
    for (const ColumnChange& change : found->second) {
        if (change.column == column) {
            return std::string_view(change.oldValue);
        }
    }
    return std::nullopt;
}

CourseEntry ResultsTable::EntryOf(std::uint32_t record) const {
    CourseEntry entry;
    for (int column = 0; column < kColumnCount; ++column) {
        entry.record[column] = Stored(record, column);
    }
    entry.prefecture = Stored(record, kColumnPrefecture);
    entry.courseId = Stored(record, kColumnCourseId);
    entry.fetchedAt = Stored(record, kColumnFetchedAt);
    entry.fetchStatus = fetches_[record];
    entry.latitude = Stored(record, kColumnLatitude);
    entry.longitude = Stored(record, kColumnLongitude);
    return entry;
}

std::vector<CourseEntry> ResultsTable::Entries(const std::vector<std::uint32_t>& records) const {
    std::vector<CourseEntry> entries;
    entries.reserve(records.size());
    for (const std::uint32_t record : records) {
        entries.push_back(EntryOf(record));
    }
    return entries;
}

void ResultsTable::SortBy(int column, bool descending) {
    // Texts compare as stored: code page 932 orders kana in the order of
    // the syllabary, which the code points do not.
    const bool stored = (column < kColumnCount && !SortsByOnlyNumber(column)) ||
                        column == kColumnPrefecture || column == kColumnCourseId ||
                        column == kColumnFetchedAt;
    std::vector<std::string> told;  // the values of a column not kept in the store
    if (!stored) {
        told.reserve(RecordCount());
        for (std::uint32_t record = 0; record < RecordCount(); ++record) {
            told.push_back(Text(record, column));
        }
    }
    const auto valueOf = [&](std::uint32_t record) {
        return stored ? Stored(record, column) : std::string_view(told[record]);
    };
    std::vector<SortKey> keys(RecordCount());
    for (std::uint32_t record = 0; record < keys.size(); ++record) {
        keys[record] = KeyOf(valueOf(record), column);
    }
    RankTexts(keys, valueOf);
    // Numbers before texts, absent values last, whatever the direction.
    std::stable_sort(order_.begin(), order_.end(), [&](std::uint32_t a, std::uint32_t b) {
        const SortKey& left = keys[a];
        const SortKey& right = keys[b];
        if (left.kind != right.kind) {
            return left.kind < right.kind;
        }
        if (left.kind == SortKey::Kind::Absent) {
            return false;
        }
        return descending ? right.number < left.number : left.number < right.number;
    });
    Refilter();
}

void ResultsTable::SetFilter(const ResultsFilter& filter) {
    filter_ = filter;
    foldedSearch_ = SearchFolded(filter.search);
    storedState_ = Cp932FromUtf8(filter.state);
    Refilter();
}

bool ResultsTable::Passes(std::uint32_t record) const {
    if (filter_.changesOnly && marks_[record] == ChangeMark::None) {
        return false;
    }
    if (!filter_.prefecture.empty() && Stored(record, kColumnPrefecture) != filter_.prefecture) {
        return false;
    }
    if (!filter_.state.empty() && Stored(record, kColumnState) != storedState_) {
        return false;
    }
    if (filter_.fetch && fetches_[record] != *filter_.fetch) {
        return false;
    }
    if (filter_.ratingMin || filter_.ratingMax) {
        const float rating = ratings_[record];
        // A NaN compares false: a record without a rating falls outside.
        if (!(rating >= static_cast<float>(filter_.ratingMin.value_or(-1e30)) &&
              rating <= static_cast<float>(filter_.ratingMax.value_or(1e30)))) {
            return false;
        }
    }
    if (!foldedSearch_.empty()) {
        const std::uint32_t begin = record == 0 ? 0 : foldedEnds_[record - 1];
        const std::string_view folded =
            std::string_view(folded_).substr(begin, foldedEnds_[record] - begin);
        if (folded.find(foldedSearch_) == std::string_view::npos) {
            return false;
        }
    }
    return true;
}

void ResultsTable::Refilter() {
    view_.clear();
    for (const std::uint32_t record : order_) {
        if (Passes(record)) {
            view_.push_back(record);
        }
    }
}

std::vector<std::string> ResultsTable::DistinctValues(int column) const {
    std::vector<std::string> values;
    std::unordered_map<std::string, bool> seen;
    for (std::uint32_t record = 0; record < fileRecords_; ++record) {
        std::string text = Text(record, column);
        if (!text.empty() && seen.emplace(text, true).second) {
            values.push_back(std::move(text));
        }
    }
    return values;
}

void ResultsTable::ForgetChanges() {
    if (RecordCount() > fileRecords_) {
        const std::size_t end = offsets_[fileRecords_ * kStride];
        bytes_.resize(end);
        offsets_.resize(fileRecords_ * kStride);
        folded_.resize(fileRecords_ == 0 ? 0 : foldedEnds_[fileRecords_ - 1]);
        foldedEnds_.resize(fileRecords_);
        ratings_.resize(fileRecords_);
        fetches_.resize(fileRecords_);
        marks_.resize(fileRecords_);
        std::erase_if(order_, [this](std::uint32_t record) { return record >= fileRecords_; });
    }
    std::fill(marks_.begin(), marks_.end(), ChangeMark::None);
    changedColumns_.clear();
    compared_ = false;
    summary_ = {};
    Refilter();
}

bool ResultsTable::CompareWith(const std::filesystem::path& earlier, std::string& error) {
    ForgetChanges();
    // The earlier run's courses are only compared and copied: they keep
    // their values, without what the search and the marks need.
    ResultsTable before;
    if (!before.Read(earlier, false, error)) {
        return false;
    }
    // Matched by detail-page URL, so the courses can be compared in groups
    // of URLs: each group's courses are made whole only while it is compared.
    constexpr std::size_t kGroups = 8;
    const auto groupOf = [](std::string_view url) {
        return std::hash<std::string_view>{}(url) % kGroups;
    };
    std::unordered_map<std::string_view, std::uint32_t> beforeByUrl;
    for (std::uint32_t record = 0; record < before.RecordCount(); ++record) {
        beforeByUrl.emplace(before.Stored(record, kColumnDetailUrl), record);
    }
    std::unordered_map<std::string_view, std::uint32_t> nowByUrl;
    for (std::uint32_t record = 0; record < fileRecords_; ++record) {
        nowByUrl.emplace(Stored(record, kColumnDetailUrl), record);
    }
    // A change names its course by the URL in UTF-8; the store keeps it as
    // code-page-932 bytes.
    const auto recordOf = [](const std::unordered_map<std::string_view, std::uint32_t>& byUrl,
                             const std::string& url) {
        const auto found = byUrl.find(Cp932FromUtf8(url));
        return found == byUrl.end() ? std::optional<std::uint32_t>() : found->second;
    };
    std::vector<std::uint32_t> goneRecords;
    for (std::size_t group = 0; group < kGroups; ++group) {
        std::vector<CourseEntry> older;
        std::vector<CourseEntry> newer;
        for (std::uint32_t record = 0; record < before.RecordCount(); ++record) {
            if (groupOf(before.Stored(record, kColumnDetailUrl)) == group) {
                older.push_back(before.EntryOf(record));
            }
        }
        for (std::uint32_t record = 0; record < fileRecords_; ++record) {
            if (groupOf(Stored(record, kColumnDetailUrl)) == group) {
                newer.push_back(EntryOf(record));
            }
        }
        CompareResult result = CompareOutputs(older, newer);
        for (CourseChange& change : result.changes) {
            if (change.kind == CourseChangeKind::Failed) {
                ++summary_.failed;
                continue;
            }
            const std::optional<std::uint32_t> record =
                recordOf(change.kind == CourseChangeKind::Removed ? beforeByUrl : nowByUrl,
                         change.detailUrl);
            if (!record) {
                continue;
            }
            switch (change.kind) {
                case CourseChangeKind::Added:
                    marks_[*record] = ChangeMark::New;
                    ++summary_.added;
                    break;
                case CourseChangeKind::Removed:
                    goneRecords.push_back(*record);
                    ++summary_.gone;
                    break;
                case CourseChangeKind::Changed: {
                    const bool closing = IsClosing(change.columns);
                    marks_[*record] = closing ? ChangeMark::Closed : ChangeMark::Changed;
                    summary_.closed += closing ? 1 : 0;
                    summary_.ratingChanged += IsRatingChange(change.columns) ? 1 : 0;
                    changedColumns_[*record] = std::move(change.columns);
                    break;
                }
                case CourseChangeKind::Failed:
                    break;
            }
        }
    }
    std::sort(goneRecords.begin(), goneRecords.end());
    for (const std::uint32_t record : goneRecords) {
        const auto added = static_cast<std::uint32_t>(RecordCount());
        AppendFrom(before, record);
        marks_[added] = ChangeMark::Gone;
        order_.push_back(added);
    }
    compared_ = true;
    Refilter();
    return true;
}

}  // namespace teebasket::results
