// A small zip reader and the cells of a sheet's XML.
#include "xlsx_reader.h"

#include <zlib.h>
#include <cmath>
#include <cstdio>
#include <map>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>

#include "OutputColumns.h"

namespace teebasket::xlsx {
namespace {

std::uint32_t Le16(std::string_view bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
}

std::uint32_t Le32(std::string_view bytes, std::size_t at) {
    return Le16(bytes, at) | Le16(bytes, at + 2) << 16;
}

struct ZipMember {
    std::uint32_t method = 0;
    std::uint32_t crc = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t size = 0;
    std::uint64_t localOffset = 0;
};

constexpr std::uint32_t kEndOfDirectory = 0x06054b50;
constexpr std::uint32_t kDirectoryEntry = 0x02014b50;
constexpr std::uint32_t kLocalHeader = 0x04034b50;

// Finds `name` in the central directory.
bool FindMember(std::string_view zip, std::string_view name, ZipMember& member,
                std::string& error) {
    if (zip.size() < 22) {
        error = "not a zip file";
        return false;
    }
    // The end record is the last 22 bytes plus a comment of up to 65535.
    std::size_t end = std::string_view::npos;
    const std::size_t lowest = zip.size() > 22 + 65535 ? zip.size() - 22 - 65535 : 0;
    for (std::size_t at = zip.size() - 22 + 1; at-- > lowest;) {
        if (Le32(zip, at) == kEndOfDirectory) {
            end = at;
            break;
        }
    }
    if (end == std::string_view::npos) {
        error = "the zip directory is missing";
        return false;
    }
    const std::uint64_t count = Le16(zip, end + 10);
    const std::uint64_t directorySize = Le32(zip, end + 12);
    const std::uint64_t directoryOffset = Le32(zip, end + 16);
    if (directoryOffset > end || directorySize > end - directoryOffset) {
        error = "the zip directory is damaged";
        return false;
    }
    std::size_t at = static_cast<std::size_t>(directoryOffset);
    const std::size_t directoryEnd = static_cast<std::size_t>(directoryOffset + directorySize);
    for (std::uint64_t index = 0; index < count; ++index) {
        if (directoryEnd - at < 46 || Le32(zip, at) != kDirectoryEntry) {
            error = "the zip directory is damaged";
            return false;
        }
        const std::size_t nameLength = Le16(zip, at + 28);
        const std::size_t extraLength = Le16(zip, at + 30);
        const std::size_t commentLength = Le16(zip, at + 32);
        const std::size_t entryLength = 46 + nameLength + extraLength + commentLength;
        if (directoryEnd - at < entryLength) {
            error = "the zip directory is damaged";
            return false;
        }
        if (zip.substr(at + 46, nameLength) == name) {
            member.method = Le16(zip, at + 10);
            member.crc = Le32(zip, at + 16);
            member.compressedSize = Le32(zip, at + 20);
            member.size = Le32(zip, at + 24);
            member.localOffset = Le32(zip, at + 42);
            return true;
        }
        at += entryLength;
    }
    error = "the zip file has no " + std::string(name);
    return false;
}

bool Inflate(std::string_view compressed, std::size_t limit,
             const std::function<bool(std::string_view)>& piece, std::string& error) {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
        error = "zlib could not start";
        return false;
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    std::string buffer(64 * 1024, '\0');
    std::size_t total = 0;
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
        stream.avail_out = static_cast<uInt>(buffer.size());
        result = inflate(&stream, Z_NO_FLUSH);
        const std::size_t produced = buffer.size() - stream.avail_out;
        total += produced;
        if (total > limit) {
            inflateEnd(&stream);
            error = "a zip member is too large";
            return false;
        }
        if (!piece(std::string_view(buffer.data(), produced))) {
            inflateEnd(&stream);
            return false;
        }
        if (result == Z_BUF_ERROR && produced > 0) {
            result = Z_OK;  // room was all it lacked
        }
    }
    inflateEnd(&stream);
    if (result != Z_STREAM_END) {
        error = "a zip member is damaged";
        return false;
    }
    return true;
}

}  // namespace

bool HasZipMember(std::string_view zip, std::string_view name) {
    ZipMember member;
    std::string ignored;
    return FindMember(zip, name, member, ignored);
}

bool ForEachZipMemberPiece(std::string_view zip, std::string_view name, std::size_t limit,
                           const std::function<bool(std::string_view)>& piece, std::string& error,
                           bool& pieceSaidNo) {
    pieceSaidNo = false;
    ZipMember member;
    if (!FindMember(zip, name, member, error)) {
        return false;
    }
    if (member.size > limit) {
        error = "a zip member is too large";
        return false;
    }
    const std::uint64_t local = member.localOffset;
    if (local > zip.size() || zip.size() - local < 30 || Le32(zip, local) != kLocalHeader) {
        error = "the zip file is damaged";
        return false;
    }
    const std::uint64_t dataOffset = local + 30 + Le16(zip, local + 26) + Le16(zip, local + 28);
    if (dataOffset > zip.size() || member.compressedSize > zip.size() - dataOffset) {
        error = "the zip file is damaged";
        return false;
    }
    const std::string_view data = zip.substr(dataOffset, member.compressedSize);
    uLong crc = crc32(0L, Z_NULL, 0);
    std::size_t size = 0;
    const auto take = [&](std::string_view bytes) {
        crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()),
                    static_cast<uInt>(bytes.size()));
        size += bytes.size();
        if (!piece(bytes)) {
            pieceSaidNo = true;
            return false;
        }
        return true;
    };
    if (member.method == 0) {
        if (!take(data)) {
            return false;
        }
    } else if (member.method == 8) {
        if (!Inflate(data, limit, take, error)) {
            return false;
        }
    } else {
        error = "a zip member is compressed in an unknown way";
        return false;
    }
    if (size != member.size || crc != member.crc) {
        error = "a zip member is damaged";
        return false;
    }
    return true;
}

bool ReadZipMember(std::string_view zip, std::string_view name, std::size_t limit,
                   std::string& bytes, std::string& error) {
    bytes.clear();
    bool pieceSaidNo = false;
    return ForEachZipMemberPiece(
        zip, name, limit,
        [&bytes](std::string_view piece) {
            bytes += piece;
            return true;
        },
        error, pieceSaidNo);
}

namespace {

// Whether two short names are equal; compared in place, as the names of
// tags and attributes are a few bytes each.
bool Same(std::string_view left, std::string_view right) {
    if (left.size() != right.size()) {
        return false;
    }
    for (std::size_t at = 0; at < left.size(); ++at) {
        if (left[at] != right[at]) {
            return false;
        }
    }
    return true;
}

// One tag of the XML, or the text before it.
struct XmlTag {
    std::string_view name;  // without its namespace prefix
    std::string_view attributes;
    bool closing = false;
    bool selfClosing = false;
};

// Where the first blank of `inside` stands, or npos.
std::size_t BlankAt(std::string_view inside) {
    for (std::size_t at = 0; at < inside.size(); ++at) {
        const char c = inside[at];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            return at;
        }
    }
    return std::string_view::npos;
}

// Reads the next tag from `at`, giving the text before it. False at the end
// of the XML; `broken` when a tag does not close.
bool NextTag(std::string_view xml, std::size_t& at, std::string_view& text, XmlTag& tag,
             bool& broken) {
    for (;;) {
        const std::size_t open = xml.find('<', at);
        if (open == std::string_view::npos) {
            text = xml.substr(at);
            at = xml.size();
            return false;
        }
        text = xml.substr(at, open - at);
        std::string_view closer = ">";
        // Only a tag beginning <! or <? can end otherwise than at the next >.
        if (open + 1 < xml.size() && (xml[open + 1] == '!' || xml[open + 1] == '?')) {
            const std::string_view rest = xml.substr(open);
            if (rest.starts_with("<!--")) {
                closer = "-->";
            } else if (rest.starts_with("<![CDATA[")) {
                closer = "]]>";
            } else if (rest.starts_with("<?")) {
                closer = "?>";
            }
        }
        const std::size_t close =
            closer.size() == 1 ? xml.find('>', open + 1) : xml.find(closer, open + 1);
        if (close == std::string_view::npos) {
            broken = true;
            return false;
        }
        at = close + closer.size();
        if (closer.size() != 1) {
            continue;  // comments and the like carry no cells
        }
        std::string_view inside = xml.substr(open + 1, close - open - 1);
        tag = XmlTag{};
        if (inside.starts_with("/")) {
            tag.closing = true;
            inside.remove_prefix(1);
        }
        if (inside.ends_with("/")) {
            tag.selfClosing = true;
            inside.remove_suffix(1);
        }
        const std::size_t nameEnd = BlankAt(inside);
        std::string_view name = inside.substr(0, nameEnd);
        if (const std::size_t colon = name.find(':'); colon != std::string_view::npos) {
            name.remove_prefix(colon + 1);
        }
        tag.name = name;
        tag.attributes =
            nameEnd == std::string_view::npos ? std::string_view() : inside.substr(nameEnd);
        return true;
    }
}

// The value of attribute `name` (without a prefix) in `attributes`.
std::string_view Attribute(std::string_view attributes, std::string_view name) {
    std::size_t at = 0;
    while (at < attributes.size()) {
        const std::size_t equals = attributes.find('=', at);
        if (equals == std::string_view::npos) {
            return {};
        }
        std::size_t nameStart = at;
        while (nameStart < equals &&
               (attributes[nameStart] == ' ' || attributes[nameStart] == '\t' ||
                attributes[nameStart] == '\r' || attributes[nameStart] == '\n')) {
            ++nameStart;
        }
        std::string_view key = attributes.substr(nameStart, equals - nameStart);
        while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) {
            key.remove_suffix(1);
        }
        std::size_t quote = equals + 1;
        while (quote < attributes.size() && attributes[quote] == ' ') {
            ++quote;
        }
        if (quote >= attributes.size() || (attributes[quote] != '"' && attributes[quote] != '\'')) {
            return {};
        }
        const std::size_t valueEnd = attributes.find(attributes[quote], quote + 1);
        if (valueEnd == std::string_view::npos) {
            return {};
        }
        if (Same(key, name)) {
            return attributes.substr(quote + 1, valueEnd - quote - 1);
        }
        at = valueEnd + 1;
    }
    return {};
}

void AppendUtf8(std::string& out, std::uint32_t codePoint) {
    if (codePoint == 0 || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        out += "\xEF\xBF\xBD";
    } else if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

bool ParseHex(std::string_view digits, std::uint32_t& value) {
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    return error == std::errc() && end == digits.data() + digits.size() && !digits.empty();
}

// XML text with its entities and character references resolved, then the
// workbook's _xHHHH_ escapes.
std::string DecodeText(std::string_view raw) {
    std::string text;
    text.reserve(raw.size());
    for (std::size_t at = 0; at < raw.size();) {
        if (raw[at] != '&') {
            text.push_back(raw[at++]);
            continue;
        }
        const std::size_t semicolon = raw.find(';', at);
        if (semicolon == std::string_view::npos || semicolon - at > 12) {
            text.push_back(raw[at++]);
            continue;
        }
        const std::string_view entity = raw.substr(at + 1, semicolon - at - 1);
        std::uint32_t codePoint = 0;
        if (entity == "amp") {
            text.push_back('&');
        } else if (entity == "lt") {
            text.push_back('<');
        } else if (entity == "gt") {
            text.push_back('>');
        } else if (entity == "quot") {
            text.push_back('"');
        } else if (entity == "apos") {
            text.push_back('\'');
        } else if (entity.starts_with("#x") && ParseHex(entity.substr(2), codePoint)) {
            AppendUtf8(text, codePoint);
        } else if (entity.starts_with("#") && entity.size() > 1 &&
                   std::from_chars(entity.data() + 1, entity.data() + entity.size(), codePoint)
                           .ptr == entity.data() + entity.size()) {
            AppendUtf8(text, codePoint);
        } else {
            text.append(raw.substr(at, semicolon - at + 1));
        }
        at = semicolon + 1;
    }
    std::string unescaped;
    for (std::size_t at = 0; at < text.size();) {
        std::uint32_t codePoint = 0;
        if (text.compare(at, 2, "_x") == 0 && at + 7 <= text.size() && text[at + 6] == '_' &&
            ParseHex(std::string_view(text).substr(at + 2, 4), codePoint)) {
            AppendUtf8(unescaped, codePoint);
            at += 7;
        } else {
            unescaped.push_back(text[at++]);
        }
    }
    return unescaped;
}

// The column index of a cell reference such as "AB12" (0-based), or -1.
long ColumnOfReference(std::string_view reference) {
    long column = 0;
    std::size_t at = 0;
    while (at < reference.size() && reference[at] >= 'A' && reference[at] <= 'Z' && at < 4) {
        column = column * 26 + (reference[at] - 'A' + 1);
        ++at;
    }
    return at == 0 ? -1 : column - 1;
}

// Decoding never makes a text longer than 7 times shorter (_x0041_ is one
// byte), so raw text beyond this many times a limit is over it.
constexpr std::size_t kMostBytesPerDecodedByte = 8;

// Appends the decoded `raw` to `out` unless that makes `out` longer than
// `limit`; then sets `tooLong` and leaves `out` as it was.
void AppendDecoded(std::string_view raw, std::size_t limit, std::string& out, bool& tooLong) {
    if (tooLong || raw.empty()) {
        return;
    }
    if (raw.size() > kMostBytesPerDecodedByte * limit) {
        tooLong = true;
        return;
    }
    // Most texts hold no entity and no escape: they decode to themselves.
    const bool plain =
        raw.find('&') == std::string_view::npos && raw.find("_x") == std::string_view::npos;
    const std::string decoded = plain ? std::string() : DecodeText(raw);
    const std::string_view text = plain ? raw : std::string_view(decoded);
    if (out.size() + text.size() > limit) {
        tooLong = true;
        return;
    }
    out += text;
}

// The texts of the <t> elements up to the end tag `end`, runs of phonetic
// guides (<rPh>) left out; at most `limit` bytes, `tooLong` set beyond.
bool CollectText(std::string_view xml, std::size_t& at, std::string_view end, std::size_t limit,
                 std::string& out, bool& tooLong, std::string& error) {
    std::string_view text;
    XmlTag tag;
    bool broken = false;
    bool inText = false;
    int phonetic = 0;
    while (NextTag(xml, at, text, tag, broken)) {
        if (inText && phonetic == 0) {
            AppendDecoded(text, limit, out, tooLong);
        }
        if (Same(tag.name, end) && tag.closing) {
            return true;
        }
        if (Same(tag.name, "rPh") && !tag.selfClosing) {
            phonetic += tag.closing ? -1 : 1;
        } else if (Same(tag.name, "t") && !tag.selfClosing) {
            inText = !tag.closing;
        }
    }
    error = "the workbook's XML is broken";
    return false;
}

std::string SizeText(std::size_t bytes) {
    return bytes % 1024 == 0 ? std::to_string(bytes / 1024) + " KiB"
                             : std::to_string(bytes) + " bytes";
}

// Whether a number format code shows a date: a year or a day outside its
// quoted literals, escaped characters and bracketed parts. `offset` gets
// the first quoted literal that is an offset from UTC (+09:00).
bool IsDateFormat(std::string_view code, std::string& offset) {
    bool date = false;
    for (std::size_t at = 0; at < code.size(); ++at) {
        const char c = code[at];
        if (c == '"') {
            const std::size_t close = code.find('"', at + 1);
            const std::string_view literal =
                code.substr(at + 1, close == std::string_view::npos ? close : close - at - 1);
            if (offset.empty() && literal.size() == 6 && (literal[0] == '+' || literal[0] == '-') &&
                literal[3] == ':' && std::all_of(literal.begin() + 1, literal.end(), [](char d) {
                    return d == ':' || (d >= '0' && d <= '9');
                })) {
                offset = std::string(literal);
            }
            at = close == std::string_view::npos ? code.size() : close;
        } else if (c == '\\') {
            ++at;
        } else if (c == '[') {
            const std::size_t close = code.find(']', at);
            at = close == std::string_view::npos ? code.size() : close;
        } else if (c == 'y' || c == 'Y' || c == 'd' || c == 'D') {
            date = true;
        }
    }
    return date;
}

// Excel's built-in formats 14-22 and 45-47 show dates and times.
bool IsBuiltInDateFormat(long id) {
    return (id >= 14 && id <= 22) || (id >= 45 && id <= 47);
}

long NumberAttribute(std::string_view attributes, std::string_view name) {
    const std::string_view text = Attribute(attributes, name);
    long value = -1;
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
    return failure == std::errc() && end == text.data() + text.size() ? value : -1;
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(long long days, int& year, int& month, int& day) {
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long shifted = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * shifted + 2) / 5 + 1);
    month = static_cast<int>(shifted < 10 ? shifted + 3 : shifted - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

// A workbook's date number (days since 1899-12-30, the time as the
// fraction) as YYYY-MM-DDTHH:MM:SS and `offset`; empty outside 1900-03-01
// to 9999-12-31, where the number means no date this way.
std::string DateTimeText(double serial, const std::string& offset) {
    if (!(serial >= 61 && serial < 2958466)) {
        return {};
    }
    auto days = static_cast<long long>(serial);
    long long seconds = std::llround((serial - static_cast<double>(days)) * 86400);
    if (seconds >= 86400) {
        ++days;
        seconds -= 86400;
    }
    int year = 0;
    int month = 0;
    int day = 0;
    CivilFromDays(days - 25569, year, month, day);
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02lld:%02lld:%02lld", year, month, day,
                  seconds / 3600, seconds / 60 % 60, seconds % 60);
    return buffer + offset;
}

// The row being read: its number and cells, and the cell being read.
class RowReader {
  public:
    RowReader(const SharedStrings& shared, const std::vector<DateStyle>& dateStyles,
              std::size_t maxColumns, std::size_t maxCellBytes)
        : shared_(shared),
          dateStyles_(dateStyles),
          maxColumns_(maxColumns),
          maxCellBytes_(maxCellBytes) {}

    bool open() const { return open_; }
    long number() const { return number_; }
    std::vector<std::string>& cells() { return cells_; }
    std::size_t maxCellBytes() const { return maxCellBytes_; }

    void StartRow(std::string_view attributes) {
        long number = number_ + 1;
        const std::string_view given = Attribute(attributes, "r");
        long stated = 0;
        if (std::from_chars(given.data(), given.data() + given.size(), stated).ec == std::errc() &&
            stated >= number && stated <= 1048576) {
            number = stated;
        }
        number_ = number;
        cells_.clear();
        column_ = -1;
        open_ = true;
    }

    void EndRow() { open_ = false; }

    void StartCell(std::string_view attributes) {
        const long given = ColumnOfReference(Attribute(attributes, "r"));
        column_ = given > column_ ? given : column_ + 1;
        cellType_ = std::string(Attribute(attributes, "t"));
        cellStyle_ = NumberAttribute(attributes, "s");
        value_.clear();
        valueTooLong_ = false;
    }

    std::string_view cellType() const { return cellType_; }
    std::string& value() { return value_; }
    bool& valueTooLong() { return valueTooLong_; }

    // Puts the cell read into the row; false with the reason when it is too
    // long.
    bool EndCell(bool inlineText, std::string& error) {
        if (column_ < 0 || static_cast<std::size_t>(column_) >= maxColumns_) {
            return true;
        }
        std::string cell;
        bool tooLong = valueTooLong_;
        if (inlineText) {
            cell = std::move(value_);
        } else if (cellType_ == "s") {
            std::size_t index = 0;
            std::string_view text;
            if (std::from_chars(value_.data(), value_.data() + value_.size(), index).ec ==
                std::errc()) {
                tooLong = tooLong || !shared_.Text(index, text);
                cell = text;
            }
        } else if (cellType_ == "str" || cellType_ == "e") {
            cell = std::move(value_);
        } else if (cellType_ == "b") {
            cell = value_ == "1" ? "TRUE" : value_.empty() ? "" : "FALSE";
        } else if (!value_.empty()) {
            double number = 0;
            const auto [end, failure] =
                std::from_chars(value_.data(), value_.data() + value_.size(), number);
            const bool isNumber = failure == std::errc() && end == value_.data() + value_.size();
            cell = isNumber ? NumberText(number) : std::move(value_);
            if (isNumber) {
                if (std::string date = DateOfStyle(number); !date.empty()) {
                    cell = std::move(date);
                }
            }
        }
        if (tooLong) {
            error = "a cell in row " + std::to_string(number_) + " holds more than " +
                    SizeText(maxCellBytes_);
            return false;
        }
        const auto place = static_cast<std::size_t>(column_);
        if (cells_.size() <= place) {
            cells_.resize(place + 1);
        }
        cells_[place] = std::move(cell);
        return true;
    }

  private:
    // The cell's number as an ISO 8601 date-time when its style shows a
    // date; empty otherwise.
    std::string DateOfStyle(double number) const {
        if (cellStyle_ < 0 || static_cast<std::size_t>(cellStyle_) >= dateStyles_.size() ||
            !dateStyles_[static_cast<std::size_t>(cellStyle_)].date) {
            return {};
        }
        return DateTimeText(number, dateStyles_[static_cast<std::size_t>(cellStyle_)].offset);
    }

    const SharedStrings& shared_;
    const std::vector<DateStyle>& dateStyles_;
    std::size_t maxColumns_;
    std::size_t maxCellBytes_;
    long number_ = 0;
    bool open_ = false;
    std::vector<std::string> cells_;
    long column_ = -1;
    std::string cellType_;
    long cellStyle_ = -1;
    std::string value_;
    bool valueTooLong_ = false;
};

}  // namespace

bool ReadDateStyles(std::string_view xml, std::vector<DateStyle>& styles, std::string& error) {
    std::map<long, DateStyle> formats;
    std::size_t at = 0;
    std::string_view text;
    XmlTag tag;
    bool broken = false;
    bool inCellStyles = false;
    while (NextTag(xml, at, text, tag, broken)) {
        if (Same(tag.name, "numFmt") && !tag.closing) {
            DateStyle& style = formats[NumberAttribute(tag.attributes, "numFmtId")];
            style.date =
                IsDateFormat(DecodeText(Attribute(tag.attributes, "formatCode")), style.offset);
        } else if (Same(tag.name, "cellXfs")) {
            inCellStyles = !tag.closing && !tag.selfClosing;
        } else if (Same(tag.name, "xf") && !tag.closing && inCellStyles &&
                   styles.size() < kMaxCellStyles) {
            const long id = NumberAttribute(tag.attributes, "numFmtId");
            const auto found = formats.find(id);
            styles.push_back(found != formats.end() ? found->second
                                                    : DateStyle{IsBuiltInDateFormat(id), {}});
        }
    }
    if (broken) {
        error = "the workbook's styles are broken";
        return false;
    }
    return true;
}

bool SharedStrings::Text(std::size_t index, std::string_view& text) const {
    text = {};
    if (index >= spans_.size()) {
        return true;
    }
    const Span& span = spans_[index];
    text = std::string_view(text_).substr(span.offset, span.length);
    return !span.tooLong;
}

void SharedStrings::Add(std::string_view text, bool tooLong) {
    Span span;
    span.offset = text_.size();
    span.tooLong = tooLong;
    if (!tooLong) {
        span.length = text.size();
        text_.append(text);
    }
    spans_.push_back(span);
}

bool ReadSharedStrings(std::string_view xml, std::size_t maxStrings, std::size_t maxStringBytes,
                       SharedStrings& strings, std::string& error) {
    std::size_t at = 0;
    std::string_view text;
    XmlTag tag;
    bool broken = false;
    std::string item;
    while (NextTag(xml, at, text, tag, broken)) {
        if (Same(tag.name, "si") && !tag.closing) {
            if (strings.size() >= maxStrings) {
                error =
                    "the workbook has more than " + std::to_string(maxStrings) + " shared strings";
                return false;
            }
            item.clear();
            bool tooLong = false;
            if (!tag.selfClosing &&
                !CollectText(xml, at, "si", maxStringBytes, item, tooLong, error)) {
                return false;
            }
            strings.Add(item, tooLong);
        }
    }
    if (broken) {
        error = "the workbook's shared strings are broken";
        return false;
    }
    return true;
}

namespace {

// The rows of a sheet's XML, walked a piece at a time: each piece ends where
// a row ends (or the sheet does), and what was begun carries over.
class SheetRowWalker {
  public:
    SheetRowWalker(const SharedStrings& sharedStrings, const std::vector<DateStyle>& dateStyles,
                   std::size_t maxColumns, std::size_t maxCellBytes,
                   const std::function<bool(long, std::vector<std::string>&)>& visit,
                   std::string& error)
        : row_(sharedStrings, dateStyles, maxColumns, maxCellBytes),
          maxCellBytes_(maxCellBytes),
          visit_(visit),
          error_(error) {}

    // False when the walk must stop: `visit` or a cell said no (`error`
    // says why).
    bool Walk(std::string_view xml) {
        std::size_t at = 0;
        std::string_view text;
        XmlTag tag;
        while (!done_ && NextTag(xml, at, text, tag, broken_)) {
            if (inValue_) {
                AppendDecoded(text, maxCellBytes_, row_.value(), row_.valueTooLong());
            }
            if (Same(tag.name, "row") && !tag.closing) {
                if (row_.open() && !EndRow()) {
                    return false;
                }
                row_.StartRow(tag.attributes);
                if (tag.selfClosing && !EndRow()) {
                    return false;
                }
            } else if (Same(tag.name, "row") && tag.closing && row_.open()) {
                if (!EndRow()) {
                    return false;
                }
            } else if (Same(tag.name, "c") && !tag.closing && row_.open()) {
                row_.StartCell(tag.attributes);
                if (tag.selfClosing) {
                    continue;
                }
                if (row_.cellType() == "inlineStr") {
                    if (!CollectText(xml, at, "c", maxCellBytes_, row_.value(), row_.valueTooLong(),
                                     error_) ||
                        !row_.EndCell(true, error_)) {
                        return false;
                    }
                }
            } else if (Same(tag.name, "v")) {
                inValue_ = !tag.closing && !tag.selfClosing;
            } else if (Same(tag.name, "c") && tag.closing && row_.open()) {
                if (!row_.EndCell(false, error_)) {
                    return false;
                }
            } else if (Same(tag.name, "sheetData") && tag.closing) {
                done_ = true;
            }
        }
        return true;
    }

    // The end of the sheet: the last row, if one is still open.
    bool Finish() {
        if (broken_) {
            error_ = "the workbook's sheet is broken";
            return false;
        }
        return !row_.open() || EndRow();
    }

  private:
    bool EndRow() {
        row_.EndRow();
        return visit_(row_.number(), row_.cells());
    }

    RowReader row_;
    std::size_t maxCellBytes_;
    const std::function<bool(long, std::vector<std::string>&)>& visit_;
    std::string& error_;
    bool inValue_ = false;
    bool broken_ = false;
    bool done_ = false;
};

}  // namespace

bool ForEachSheetRow(std::string_view xml, const SharedStrings& sharedStrings,
                     std::size_t maxColumns, std::size_t maxCellBytes,
                     const std::function<bool(long, std::vector<std::string>&)>& visit,
                     std::string& error, const std::vector<DateStyle>& dateStyles) {
    SheetRowWalker walker(sharedStrings, dateStyles, maxColumns, maxCellBytes, visit, error);
    return walker.Walk(xml) && walker.Finish();
}

bool RowRuns::Take(std::string_view bytes) {
    constexpr std::string_view kRowEnd = "</row>";
    // The row begun in `pending_` is completed and walked on its own; the
    // whole rows after it are walked where the piece lies, uncopied.
    const std::size_t lastRowEnd = bytes.rfind(kRowEnd);
    if (lastRowEnd == std::string_view::npos) {
        pending_ += bytes;
        const std::size_t rowEnd = pending_.rfind(kRowEnd);
        if (rowEnd == std::string::npos) {
            return true;
        }
        const std::size_t walked = rowEnd + kRowEnd.size();
        if (!walk_(std::string_view(pending_).substr(0, walked))) {
            return false;
        }
        pending_.erase(0, walked);
        return true;
    }
    // An end tag may straddle the pieces: the first one is looked for
    // in what was pending with the start of this piece.
    const std::size_t carried = pending_.size();
    pending_.append(bytes.substr(0, std::min(bytes.size(), kRowEnd.size() - 1)));
    std::size_t firstRowEnd = pending_.find(kRowEnd);
    std::size_t from = 0;
    if (firstRowEnd != std::string::npos) {
        from = firstRowEnd + kRowEnd.size() - carried;
    } else {
        firstRowEnd = bytes.find(kRowEnd);
        from = firstRowEnd + kRowEnd.size();
        pending_.resize(carried);
        pending_.append(bytes.substr(0, from));
    }
    pending_.resize(carried + from);
    if (!walk_(pending_)) {
        return false;
    }
    const std::size_t walked = lastRowEnd + kRowEnd.size();
    if (walked > from && !walk_(bytes.substr(from, walked - from))) {
        return false;
    }
    pending_.assign(bytes.substr(walked));
    return true;
}

bool ForEachSheetRowOfMember(std::string_view zip, std::string_view name, std::size_t limit,
                             const SharedStrings& sharedStrings, std::size_t maxColumns,
                             std::size_t maxCellBytes,
                             const std::function<bool(long, std::vector<std::string>&)>& visit,
                             std::string& error, bool& memberUnreadable,
                             const std::vector<DateStyle>& dateStyles) {
    SheetRowWalker walker(sharedStrings, dateStyles, maxColumns, maxCellBytes, visit, error);
    RowRuns runs([&walker](std::string_view run) { return walker.Walk(run); });
    const auto piece = [&runs](std::string_view bytes) { return runs.Take(bytes); };
    bool pieceSaidNo = false;
    std::string problem;
    if (!ForEachZipMemberPiece(zip, name, limit, piece, problem, pieceSaidNo)) {
        memberUnreadable = !pieceSaidNo;
        if (memberUnreadable) {
            error = problem;
        }
        return false;
    }
    memberUnreadable = false;
    return runs.Finish() && walker.Finish();
}

bool ReadSheetRows(std::string_view xml, const SharedStrings& sharedStrings, std::size_t maxColumns,
                   std::vector<std::vector<std::string>>& rows, std::string& error,
                   const std::vector<DateStyle>& dateStyles) {
    return ForEachSheetRow(
        xml, sharedStrings, maxColumns, std::string::npos / kMostBytesPerDecodedByte,
        [&rows](long number, const std::vector<std::string>& cells) {
            rows.resize(static_cast<std::size_t>(number));
            rows.back() = cells;
            return true;
        },
        error, dateStyles);
}

}  // namespace teebasket::xlsx
