// Course detail extraction: the structured-data block, the page body and the
// course's row.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>

#include "MECSUtils.h"
#include "OutputColumns.h"
#include "harvest_steps.h"

namespace teebasket {
namespace {

// Code-page-932 literals the extraction looks for or writes.
struct DetailLiterals {
    std::string closedMark = UTF8ToAnsi("（閉鎖）");
    std::string closedState = UTF8ToAnsi("閉鎖");
    std::string reviewCounter = UTF8ToAnsi("件");
    std::string noReviews = UTF8ToAnsi("0件");
};

const DetailLiterals& Literals() {
    static const DetailLiterals literals;
    return literals;
}

// Bytes 2 to 5 of the trimmed element: the first four characters of a key
// after its opening quote.
std::string_view TrimmedKey(std::string_view element) {
    const std::string_view trimmed = TextTrimView(element);
    return trimmed.size() > 1 ? trimmed.substr(1, 4) : std::string_view();
}

// What follows the first ":" of the trimmed element; false when it has none.
bool ValueOf(std::string_view element, std::string_view& value) {
    const std::string_view trimmed = TextTrimView(element);
    const std::size_t colon = TextFind(trimmed, ":");
    if (colon == 0) {
        return false;
    }
    value = trimmed.substr(colon);
    return true;
}

std::string Unquote(std::string_view text) {
    return TextRemove(text, "\"");
}

// A plain decimal number (sign, digits, one point, exponent); nothing for any
// other text.
std::optional<double> ReadDecimal(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    const std::size_t digitsFrom = i;
    bool digits = false;
    while (i < text.size() && ((text[i] >= '0' && text[i] <= '9') || text[i] == '.')) {
        digits = digits || text[i] != '.';
        ++i;
    }
    if (!digits || std::count(text.begin() + digitsFrom, text.begin() + i, '.') > 1) {
        return std::nullopt;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t e = i + 1;
        if (e < text.size() && (text[e] == '+' || text[e] == '-')) {
            ++e;
        }
        if (e == text.size()) {
            return std::nullopt;
        }
        for (; e < text.size(); ++e) {
            if (text[e] < '0' || text[e] > '9') {
                return std::nullopt;
            }
        }
        i = text.size();
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    std::string_view number = text;
    if (!number.empty() && number.front() == '+') {
        number.remove_prefix(1);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || end != number.data() + number.size()) {
        return std::nullopt;
    }
    return value;
}

// The shortest general form with up to 15 significant digits, "." as the
// decimal point whatever the locale.
std::string FormatDecimal(double value) {
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    return error == std::errc() ? std::string(buffer, end) : std::string("0");
}

// The course's name, without the closed mark that makes its state 閉鎖.
void SetNameAndState(std::string value, CourseRecord& record) {
    if (TextFind(value, Literals().closedMark) != 0) {
        record[kColumnState] = Literals().closedState;
        value = TextRemove(value, Literals().closedMark);
    }
    record[kColumnName] = TextTrim(value);
}

void TakeNameAndState(std::string_view element, CourseRecord& record) {
    std::string_view rawValue;
    if (ValueOf(element, rawValue)) {
        SetNameAndState(Unquote(rawValue), record);
    }
}

void TakePostalCode(std::string_view element, CourseRecord& record) {
    std::string_view rawValue;
    if (!ValueOf(element, rawValue)) {
        return;
    }
    std::string value = TextTrim(Unquote(rawValue));
    if (value.size() == 7) {
        value.insert(3, "-");
        record[kColumnPostalCode] = TextTrim(value);
    }
}

void TakeAddress(std::string_view streetElement, std::string_view regionElement,
                 CourseRecord& record) {
    std::string region(TextTrimView(regionElement));
    if (TextFind(region, ":") != 0) {
        std::string_view regionValue;
        ValueOf(region, regionValue);
        region = TextTrim(Unquote(regionValue));
    }
    std::string_view street;
    if (!ValueOf(streetElement, street)) {
        return;
    }
    record[kColumnAddress] = region + TextTrim(NormalizeText(Unquote(street)));
}

void TakeTelephone(std::string_view element, CourseRecord& record) {
    std::string_view value;
    if (ValueOf(element, value)) {
        record[kColumnTelephone] = TextTrim(TextRemove(Unquote(value), "}"));
    }
}

// The rating value stands in the element before the best-rating key: its
// first four bytes, as the portal states it (4.70 gives 4.7). A value that is
// not a number leaves the rating empty.
void TakeRating(std::string_view ratingElement, CourseRecord& record) {
    std::string_view value;
    if (!ValueOf(ratingElement, value)) {
        return;
    }
    const std::string digits = TextTrim(TextCopy(Unquote(value), 1, 4));
    if (const std::optional<double> rating = ReadDecimal(digits)) {
        record[kColumnRating] = FormatDecimal(*rating);
    }
}

// The review count stands in the element before the "geo" key, unless the
// count is missing and the telephone stands there instead.
void TakeReviewCount(std::string_view countElement, CourseRecord& record) {
    const std::string_view element = TextTrimView(countElement);
    std::string_view value;
    if (TextFind(element, "telephone") != 0 || !ValueOf(element, value)) {
        return;
    }
    record[kColumnReviewCount] =
        TextTrim(TextRemove(Unquote(value), "}")) + Literals().reviewCounter;
}

constexpr std::string_view kJsonBlanks = " \t\r\n";

// `text` from `at` on, blanks skipped.
std::string_view AfterBlanks(std::string_view text, std::size_t at) {
    const std::size_t from = text.find_first_not_of(kJsonBlanks, std::min(at, text.size()));
    return from == std::string_view::npos ? std::string_view() : text.substr(from);
}

// What follows the key `"name":` in `json`, blanks skipped; empty when the
// key is not there. A key is a quoted name that a colon follows.
std::string_view AfterJsonKey(std::string_view json, std::string_view name) {
    const std::string quoted = "\"" + std::string(name) + "\"";
    for (std::size_t at = json.find(quoted); at != std::string_view::npos;
         at = json.find(quoted, at + 1)) {
        const std::string_view rest = AfterBlanks(json, at + quoted.size());
        if (rest.starts_with(':')) {
            return AfterBlanks(rest, 1);
        }
    }
    return {};
}

// The JSON value at the start of `text`, as plain text: a string's contents
// without its quotes, or a bare token up to a comma, brace or blank.
std::string_view JsonScalar(std::string_view text) {
    if (text.starts_with('"')) {
        const std::size_t close = text.find('"', 1);
        return close == std::string_view::npos ? std::string_view() : text.substr(1, close - 1);
    }
    return text.substr(0, text.find_first_of(",}] \t\r\n"));
}

// The first pass: structured data from the script lines that hold it, and
// the body text, every line from the first page-data script line on, trimmed
// and converted.
CourseRecord ParseDetailLines(LineCursor lines, const PortalSettings& portal,
                              const std::string& courseId, CoursePosition* position) {
    CourseRecord record;
    std::string bodyText;
    bool inBody = false;
    for (std::string_view line; lines.Next(line);) {
        const std::string_view trimmed = TextTrimView(line);
        if (HasPrefix(trimmed, "<sc")) {
            if (TextFind(trimmed, "application/json\"") != 0) {
                if (!inBody) {
                    // A blank and at most the line's bytes for this line and
                    // each one behind it: the body never needs more room.
                    bodyText.reserve(trimmed.size() + lines.Remaining() + 2);
                }
                inBody = true;
            } else if (TextFind(trimmed, "@context") != 0) {
                ExtractStructuredData(line, record);
                if (position != nullptr && position->latitude.empty()) {
                    *position = PositionOfStructuredData(line);
                }
            }
        }
        if (inBody) {
            bodyText.push_back(' ');
            AppendUTF8ToAnsi(bodyText, trimmed);
        }
    }
    if (!bodyText.empty()) {
        ExtractBodySections(bodyText, record);
    }
    record[kColumnDetailUrl] = DetailUrl(portal, courseId);
    const std::string& reviews = record[kColumnReviewCount];
    if (!reviews.empty() && reviews != Literals().noReviews) {
        record[kColumnReviewUrl] = ReviewUrl(portal, courseId);
    }
    return record;
}

}  // namespace

std::string EncodePathSegment(const std::string& bytes) {
    // A segment that is "." or ".." would be taken out of the path, with the
    // segment before it, by the HTTP client or the server; written as %2E it
    // is an ordinary name.
    if (bytes == "." || bytes == "..") {
        std::string encoded;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            encoded += "%2E";
        }
        return encoded;
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        const bool allowed =
            (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9') ||
            std::string_view("-._~!$&'()*+,;=:@").find(c) != std::string_view::npos;
        if (allowed) {
            encoded.push_back(c);
        } else {
            encoded.push_back('%');
            encoded.push_back(kHex[byte >> 4]);
            encoded.push_back(kHex[byte & 0x0F]);
        }
    }
    return encoded;
}

std::string DetailUrl(const PortalSettings& portal, const std::string& courseId) {
    return "https://" + portal.bookingHost + "/guide/disp/c_id/" + EncodePathSegment(courseId);
}

std::string ReviewUrl(const PortalSettings& portal, const std::string& courseId) {
    return "https://" + portal.bookingHost + "/voice/detail/c_id/" + EncodePathSegment(courseId);
}

std::string HostOfUrl(std::string_view url) {
    constexpr std::string_view kScheme = "https://";
    if (!url.starts_with(kScheme)) {
        return {};
    }
    url.remove_prefix(kScheme.size());
    return std::string(url.substr(0, url.find_first_of("/?#")));
}

void ExtractStructuredData(std::string_view line, CourseRecord& record) {
    const std::string text = UTF8ToAnsi(TextTrimView(line));
    // The elements between commas, read one ahead; a rule looks at most one
    // element back and one forward.
    TextSplitter elements(text, ",");
    std::string_view previous;
    std::string_view current;
    std::string_view next;
    bool hasCurrent = elements.Next(current);
    bool hasNext = hasCurrent && elements.Next(next);
    for (std::size_t i = 0; hasCurrent; ++i) {
        const std::string_view key = TrimmedKey(current);
        if (key == "name") {
            if (hasNext && TrimmedKey(next) == "imag") {
                TakeNameAndState(current, record);
            }
        } else if (key == "post") {
            TakePostalCode(current, record);
        } else if (key == "stre") {
            if (hasNext) {
                TakeAddress(current, next, record);
            }
        } else if (key == "tele") {
            TakeTelephone(current, record);
        } else if (key == "best") {
            if (i >= 2) {
                TakeRating(previous, record);
            }
        } else if (key == "geo\"") {
            if (i >= 2) {
                TakeReviewCount(previous, record);
            }
            return;  // nothing after the "geo" key is examined
        }
        previous = current;
        current = next;
        hasCurrent = hasNext;
        hasNext = hasCurrent && elements.Next(next);
    }
}

CourseRecord ParseCourseDetail(const PageText& page, const PortalSettings& portal,
                               const std::string& courseId, CoursePosition* position) {
    return ParseDetailLines(page.Lines(), portal, courseId, position);
}

CoursePosition PositionOfStructuredData(std::string_view line) {
    std::string_view geo = AfterJsonKey(line, "geo");
    if (!geo.starts_with('{')) {
        return {};
    }
    // GeoCoordinates holds no object of its own: it ends at the first brace.
    geo = geo.substr(0, geo.find('}'));
    CoursePosition position{CoordinateText(JsonScalar(AfterJsonKey(geo, "latitude")), 90),
                            CoordinateText(JsonScalar(AfterJsonKey(geo, "longitude")), 180)};
    if (position.latitude.empty() || position.longitude.empty()) {
        return {};
    }
    return position;
}

namespace {

// The row of a course whose page was read; a page without a name takes the
// name of the course's listing card, which the report counts.
CourseEntry ReadCourseEntry(detail::RunState& state, const PageText& page,
                            const std::string& courseId, const std::string& cardName) {
    CourseEntry entry;
    CoursePosition position;
    entry.record = ParseCourseDetail(page, state.request.settings.portal, courseId, &position);
    entry.latitude = std::move(position.latitude);
    entry.longitude = std::move(position.longitude);
    if (entry.record[kColumnName].empty()) {
        SetNameAndState(cardName, entry.record);
        ++state.report.pagesWithoutName;
    }
    entry.fetchedAt = IsoLocalTime(std::time(nullptr));
    entry.fetchStatus = CourseFetch::Fetched;
    return entry;
}

// The row of a course whose page could not be read: the earlier file's row
// for the same page as it was (its fetch time too), or else nothing but the
// card's name and the page's URL, which no one can take for a course's facts.
CourseEntry UnreadCourseEntry(const detail::RunState& state, const std::string& url,
                              const std::string& cardName) {
    if (const CourseEntry* earlier = state.output.EarlierRow(url)) {
        CourseEntry entry = *earlier;
        entry.fetchStatus = CourseFetch::Kept;
        return entry;
    }
    CourseEntry entry;
    entry.record[kColumnState].clear();
    entry.record[kColumnName] = cardName;
    entry.record[kColumnDetailUrl] = url;
    entry.fetchStatus = CourseFetch::Failed;
    return entry;
}

}  // namespace

void ExtractCourseDetail(detail::RunState& state, const std::string& courseId,
                         const std::string& cardName) {
    const std::string url = DetailUrl(state.request.settings.portal, courseId);
    // The pause runs while the page is read and its row written, so that a
    // run killed in the pause has the row of every page it has read.
    const detail::PageRead read =
        detail::ReadPage(state, url, state.request.settings.pauses.afterDetail);
    if (read.outcome == detail::PageRead::Outcome::Stopped ||
        read.outcome == detail::PageRead::Outcome::RunFailed) {
        return;  // no row: the page was neither read nor found missing
    }
    CourseEntry entry;
    if (read.outcome == detail::PageRead::Outcome::NoPage) {
        detail::NotePageFailure(state, PageKind::Detail, courseId, url, read);
        entry = UnreadCourseEntry(state, url, cardName);
        state.report.pageFailures.back().keptEarlierRow = entry.fetchStatus == CourseFetch::Kept;
    } else {
        detail::NotePageAnswered(state);
        entry = ReadCourseEntry(state, read.page, courseId, cardName);
    }
    if (entry.prefecture.empty()) {
        entry.prefecture = AnsiToUTF8(state.report.currentPrefecture);
    }
    if (entry.courseId.empty()) {
        entry.courseId = AnsiToUTF8(courseId);
    }
    if (detail::WriteCourse(state, entry)) {
        ++state.report.rowsWritten;
    }
}

}  // namespace teebasket
