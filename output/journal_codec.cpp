// The journal codecs of the output formats.
#include <bitset>
#include <nlohmann/json.hpp>
#include <string_view>
#include <unordered_map>

#include "JournalCodec.h"
#include "OutputColumns.h"
#include "csv_fields.h"

namespace teebasket {
namespace {

using OrderedJson = nlohmann::ordered_json;

// The read column (IsReadColumn) whose JSON Lines key is `key`, or -1.
int ReadColumnOfKey(std::string_view key) {
    static const std::unordered_map<std::string_view, int> columns = [] {
        std::unordered_map<std::string_view, int> byKey;
        for (int column = 0; column < kOutputColumnCount; ++column) {
            if (IsReadColumn(column)) {
                byKey.emplace(OutputColumns[column].key, column);
            }
        }
        return byKey;
    }();
    const auto found = columns.find(key);
    return found == columns.end() ? -1 : found->second;
}

// As ReadColumnOfKey, trying first the column `expected` (the keys are
// unique, and a line of ours names them in the order of the columns);
// `expected` moves on to the column after the one found.
int ReadColumnOfKey(std::string_view key, int& expected) {
    if (expected >= 0 && expected < kOutputColumnCount && OutputColumns[expected].key == key) {
        const int column = expected++;
        return IsReadColumn(column) ? column : -1;
    }
    const int column = ReadColumnOfKey(key);
    if (column >= 0) {
        expected = column + 1;
    }
    return column;
}

// The members of one JSON Lines object, taken as the parser meets them, with
// no document built: a string or a number is a column's text, null leaves it
// empty, anything else in a read column makes the line no course of ours. A
// member named twice counts as the last one. Members of other names, nested
// values included, are passed over.
class CourseMembers : public nlohmann::json_sax<nlohmann::json> {
  public:
    // Whether the line was one object with the key detail_url and no read
    // column of another kind of value.
    bool Complete() const { return sawObject_ && sawDetailUrl_ && !bad_.any(); }
    const std::array<std::string, kOutputColumnCount>& texts() const { return texts_; }

    bool null() override { return Take({}, true); }
    bool boolean(bool) override { return Take({}, false); }
    bool number_integer(number_integer_t value) override {
        return Take(NumberText(static_cast<double>(value)), true);
    }
    bool number_unsigned(number_unsigned_t value) override {
        return Take(NumberText(static_cast<double>(value)), true);
    }
    bool number_float(number_float_t value, const string_t&) override {
        return Take(NumberText(value), true);
    }
    bool string(string_t& value) override { return Take(std::move(value), true); }
    bool binary(binary_t&) override { return Take({}, false); }
    bool start_object(std::size_t) override { return Open(); }
    bool end_object() override { return Close(); }
    bool start_array(std::size_t) override { return depth_ > 0 && Open(); }
    bool end_array() override { return Close(); }
    bool key(string_t& name) override {
        if (depth_ == 1) {
            column_ = ReadColumnOfKey(name, expectedColumn_);
            sawDetailUrl_ = sawDetailUrl_ || name == "detail_url";
        }
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

  private:
    // A value: a member of the object when it stands at its first level.
    bool Take(std::string&& text, bool fits) {
        if (depth_ == 0) {
            return false;  // the line is no object
        }
        if (depth_ == 1 && column_ >= 0) {
            texts_[column_] = std::move(text);
            bad_.set(static_cast<std::size_t>(column_), !fits);
        }
        return true;
    }
    bool Open() {
        if (depth_ == 0) {
            sawObject_ = true;
        } else if (!Take({}, false)) {
            return false;
        }
        ++depth_;
        return sawObject_;
    }
    bool Close() {
        --depth_;
        return true;
    }

    std::array<std::string, kOutputColumnCount> texts_;
    std::bitset<kOutputColumnCount> bad_;
    int column_ = -1;
    int expectedColumn_ = 0;
    int depth_ = 0;
    bool sawObject_ = false;
    bool sawDetailUrl_ = false;
};

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Whether `line` holds a CR or an LF: two scans for one byte each, which a
// line of a kilobyte passes far sooner than a scan for either at each byte.
bool HoldsLineBreak(std::string_view line) {
    return line.find('\r') != std::string_view::npos || line.find('\n') != std::string_view::npos;
}

// The original CSV, byte for byte.
class CsvCodec final : public JournalCodec {
  public:
    std::string Preamble() const override { return CsvHeaderLine() + "\r\n"; }

    std::string Line(const CourseEntry& entry) const override {
        CourseRecord record = entry.record;
        for (std::string& value : record.values) {
            if (value.find_first_of("\r\n") != std::string::npos) {
                value = csv::OnOneLine(std::move(value));
            }
        }
        return CourseLine(record);
    }

    std::string_view LineEnd() const override { return "\r\n"; }

    bool Read(std::string_view line, CourseEntry& entry) const override {
        entry = CourseEntry{};
        if (!ReadCourseLine(line, entry.record)) {
            return false;
        }
        for (std::string& value : entry.record.values) {
            value = csv::WithoutFormulaGuard(std::move(value));
        }
        entry.fetchStatus = InferredFetch(entry.record);
        return true;
    }

    bool StartsLikeMine(std::string_view fileStart) const override {
        return fileStart.starts_with(Preamble());
    }
};

class CsvUtf8Codec final : public JournalCodec {
  public:
    std::string Preamble() const override {
        std::string preamble(kUtf8Bom);
        for (int column = 0; column < kOutputColumnCount; ++column) {
            if (column > 0) {
                preamble.push_back(',');
            }
            csv::AppendQuoted(preamble, OutputColumns[column].header);
        }
        return preamble + "\r\n";
    }

    std::string Line(const CourseEntry& entry) const override {
        const OutputRow row = OutputValues(entry);
        std::string line;
        line.reserve(1024);
        for (int column = 0; column < kOutputColumnCount; ++column) {
            if (column > 0) {
                line.push_back(',');
            }
            std::string value = csv::OnOneLine(row[column].text);
            // A number ("-2", "-122.4") is never a formula: it stays a number.
            if (!row[column].number && csv::CouldBeFormula(value)) {
                value.insert(0, 1, '\'');
            }
            csv::AppendQuoted(line, value);
        }
        return line;
    }

    std::string_view LineEnd() const override { return "\r\n"; }

    bool Read(std::string_view line, CourseEntry& entry) const override {
        if (HoldsLineBreak(line)) {
            return false;
        }
        std::vector<std::string> fields;
        std::size_t at = 0;
        if (!csv::ReadRecord(line, at, fields, kOutputColumnCount) ||
            fields.size() != kOutputColumnCount || at != line.size()) {
            return false;
        }
        std::array<std::string, kOutputColumnCount> texts;
        for (int column = 0; column < kOutputColumnCount; ++column) {
            texts[column] = csv::WithoutFormulaGuard(std::move(fields[column]));
        }
        entry = EntryFromTexts(texts);
        return true;
    }

    bool StartsLikeMine(std::string_view fileStart) const override {
        return fileStart.starts_with(Preamble());
    }
};

class JsonlCodec final : public JournalCodec {
  public:
    std::string Preamble() const override { return {}; }

    std::string Line(const CourseEntry& entry) const override {
        const OutputRow row = OutputValues(entry);
        OrderedJson object = OrderedJson::object();
        for (int column = 0; column < kOutputColumnCount; ++column) {
            const OutputValue& value = row[column];
            const std::string key(OutputColumns[column].key);
            if (value.number) {
                const double number = *value.number;
                if (number > -1e15 && number < 1e15 &&
                    number == static_cast<double>(static_cast<long long>(number))) {
                    object[key] = static_cast<long long>(number);
                } else {
                    object[key] = number;
                }
            } else if (value.text.empty()) {
                object[key] = nullptr;
            } else {
                object[key] = value.text;
            }
        }
        object["fetch_status"] = FetchStatusKey(entry.fetchStatus);
        // Bytes that are not UTF-8 (never from the converters) become U+FFFD
        // rather than an exception.
        return object.dump(-1, ' ', false, OrderedJson::error_handler_t::replace);
    }

    std::string_view LineEnd() const override { return "\n"; }

    bool Read(std::string_view line, CourseEntry& entry) const override {
        if (HoldsLineBreak(line)) {
            return false;
        }
        return ReadObject(line, entry);
    }

    bool StartsLikeMine(std::string_view fileStart) const override {
        // Either nothing yet, or an object whose first key is ours.
        return fileStart.empty() || fileStart.starts_with("{\"name\":");
    }

    static bool ReadObject(std::string_view text, CourseEntry& entry) {
        CourseMembers members;
        if (!nlohmann::json::sax_parse(text, &members) || !members.Complete()) {
            return false;
        }
        entry = EntryFromTexts(members.texts());
        return true;
    }
};

// The lines of `bytes` after `from`, each without its line end `end`; a last
// piece without it is given as torn.
template <typename Visit>
bool ForEachLine(std::string_view bytes, std::size_t from, std::string_view end, Visit visit) {
    std::size_t at = from;
    while (at < bytes.size()) {
        const std::size_t stop = bytes.find(end, at);
        const bool torn = stop == std::string_view::npos;
        const std::size_t lineEnd = torn ? bytes.size() : stop;
        if (!visit(bytes.substr(at, lineEnd - at), torn)) {
            return false;
        }
        at = torn ? bytes.size() : stop + end.size();
    }
    return true;
}

}  // namespace

const JournalCodec& JournalCodecFor(OutputFormat format) {
    static const CsvCodec csvCodec;
    static const CsvUtf8Codec csvUtf8Codec;
    static const JsonlCodec jsonlCodec;
    switch (format) {
        case OutputFormat::CsvUtf8:
            return csvUtf8Codec;
        case OutputFormat::Jsonl:
        case OutputFormat::Xlsx:
            return jsonlCodec;
        case OutputFormat::Csv:
            break;
    }
    return csvCodec;
}

bool ReadJournal(const JournalCodec& codec, std::string_view bytes,
                 std::vector<CourseEntry>& entries, std::string& error, bool skipBadLines) {
    const std::string preamble = codec.Preamble();
    if (!bytes.starts_with(preamble) || !codec.StartsLikeMine(bytes)) {
        error = "the file does not begin as this program writes it";
        return false;
    }
    int lineNumber = preamble.empty() ? 0 : 1;
    return ForEachLine(
        bytes, preamble.size(), codec.LineEnd(), [&](std::string_view line, bool torn) {
            ++lineNumber;
            CourseEntry entry;
            if (codec.Read(line, entry)) {
                if (!torn) {
                    entries.push_back(std::move(entry));
                }
                return true;
            }
            if (torn || skipBadLines) {
                return true;
            }
            error =
                "line " + std::to_string(lineNumber) + " is not a course as this program writes it";
            return false;
        });
}

}  // namespace teebasket
