// The body pass of the detail extraction: fax, access by car, tags, the
// labelled facility and layout sections, and the review count as the page
// shows it.
#include "MECSUtils.h"
#include "Unithread.h"

namespace teebasket {

const std::array<std::string_view, 21> SectionLabelTable = {
    "休場日",       "支払い方法",   "",
    "シューズ指定", "服装指定",     "コンペルーム",
    "宿泊施設",     "宅配便",       "ホール数",
    "距離",         "パー",         "種別",
    "グリーン数",   "グリーン",     "コース高低差",
    "面積",         "コース",       "設計者",
    "ドラコン推奨", "ニアピン推奨", "",
};

namespace {

// A scan looks at most this many pieces ahead of the piece that starts it.
constexpr std::size_t kScanWindow = 49;

struct BodyLiterals {
    std::array<std::string, 21> sectionLabels;  // code-page-932 bytes
    std::string refused = UTF8ToAnsi("不可");
    std::string listSeparator = UTF8ToAnsi("、");

    BodyLiterals() {
        for (std::size_t slot = 0; slot < sectionLabels.size(); ++slot) {
            sectionLabels[slot] = UTF8ToAnsi(std::string(SectionLabelTable[slot]));
        }
    }
};

const BodyLiterals& Literals() {
    static const BodyLiterals literals;
    return literals;
}

// The body split at ">", each piece also kept trimmed.
struct Pieces {
    std::vector<std::string> raw;
    std::vector<std::string_view> trimmed;

    explicit Pieces(const std::string& bodyText) {
        SplitText(bodyText, ">", raw);
        trimmed.reserve(raw.size());
        for (const std::string& piece : raw) {
            trimmed.push_back(TextTrimView(piece));
        }
    }
    bool Has(std::size_t index) const { return index < raw.size(); }
};

void Append(std::string& valueText, std::string_view separator, std::string_view item) {
    if (!valueText.empty()) {
        valueText.append(separator);
    }
    valueText.append(item);
}

// A text piece's text: what precedes its first "<", trimmed. Empty for a tag.
std::string_view TextOfPiece(std::string_view piece) {
    if (HasPrefix(piece, "<")) {
        return {};
    }
    const std::size_t tag = TextFind(piece, "<");
    return TextTrimView(tag == 0 ? piece : piece.substr(0, tag - 1));
}

// Joins with blanks the text pieces from `first` on, up to a piece for which
// `ends` is true, the end of the list or the end of the scan window.
template <typename EndsScan>
std::string CollectText(const Pieces& pieces, std::size_t p, std::size_t first, EndsScan ends) {
    std::string valueText;
    for (std::size_t k = first; k <= kScanWindow && pieces.Has(p + k); ++k) {
        const std::string_view piece = pieces.trimmed[p + k];
        if (ends(piece)) {
            break;
        }
        const std::string_view text = TextOfPiece(piece);
        if (!text.empty()) {
            Append(valueText, " ", text);
        }
    }
    return TextTrim(valueText);
}

void ApplyFaxRule(const Pieces& pieces, std::size_t p, CourseRecord& record) {
    if (!pieces.Has(p + 2) || !HasPrefix(pieces.trimmed[p + 1], "FAX")) {
        return;
    }
    const std::string fax = TextTrim(TextRemove(pieces.trimmed[p + 2], "</span"));
    if (record[kColumnFax].empty()) {
        record[kColumnFax] = fax;
    }
}

void ApplyReviewCountRule(const Pieces& pieces, std::size_t p, CourseRecord& record) {
    if (TextFind(pieces.raw[p], "rating-count-text") == 0 || !pieces.Has(p + 1)) {
        return;
    }
    const std::string count = TextTrim(TextRemove(pieces.trimmed[p + 1], "</span"));
    if (record[kColumnReviewCount].empty()) {
        record[kColumnReviewCount] = count;
    }
}

void ApplyCarAccessRule(const Pieces& pieces, std::size_t p, CourseRecord& record) {
    if (TextFind(pieces.raw[p], "details-block car") == 0 || !record[kColumnCarAccess].empty()) {
        return;
    }
    record[kColumnCarAccess] = CollectText(
        pieces, p, 1, [](std::string_view piece) { return piece == "</li" || piece == "</ul"; });
}

void ApplyTagRule(const Pieces& pieces, std::size_t p, CourseRecord& record) {
    if (TextFind(pieces.raw[p], "tag clean") == 0 || !record[kColumnTags].empty()) {
        return;
    }
    std::string valueText;
    for (std::size_t k = 1; k <= kScanWindow && pieces.Has(p + k); ++k) {
        const std::string_view piece = pieces.trimmed[p + k];
        if (HasPrefix(piece, "<ul") || piece == "</ul") {
            break;
        }
        if (TextFind(pieces.raw[p + k], "tag-label") == 0 || !pieces.Has(p + k + 1)) {
            continue;
        }
        const std::string label = TextTrim(TextRemove(pieces.trimmed[p + k + 1], "</div"));
        if (!label.empty() && TextFind(label, Literals().refused) == 0) {
            Append(valueText, Literals().listSeparator, label);
        }
    }
    record[kColumnTags] = TextTrim(valueText);
}

void ApplySectionRule(const Pieces& pieces, std::size_t p, CourseRecord& record) {
    if (!pieces.Has(p + 1)) {
        return;
    }
    const int column = ColumnForLabel(TextTrim(TextRemove(pieces.trimmed[p + 1], "</h3")));
    if (column < 0) {
        return;
    }
    // The later of two sections with the same label decides, even when empty.
    record[column] = CollectText(pieces, p, 2, [](std::string_view piece) {
        return HasPrefix(piece, "<h3") || piece == "</li";
    });
}

}  // namespace

int ColumnForLabel(const std::string& label) {
    const auto& labels = Literals().sectionLabels;
    for (std::size_t slot = 0; slot < labels.size(); ++slot) {
        if (!labels[slot].empty() && TextSameIgnoringCase(labels[slot], label)) {
            return static_cast<int>(slot) + 6;
        }
    }
    return -1;
}

void ExtractBodySections(const std::string& bodyText, CourseRecord& record) {
    const Pieces pieces(bodyText);
    for (std::size_t p = 0; p < pieces.raw.size(); ++p) {
        const std::string_view piece = pieces.trimmed[p];
        if (HasPrefix(piece, "<dt")) {
            ApplyFaxRule(pieces, p, record);
        } else if (HasPrefix(piece, "<sp")) {
            ApplyReviewCountRule(pieces, p, record);
        } else if (HasPrefix(piece, "<li")) {
            ApplyCarAccessRule(pieces, p, record);
        } else if (HasPrefix(piece, "<ul")) {
            ApplyTagRule(pieces, p, record);
        } else if (HasPrefix(piece, "<h3")) {
            ApplySectionRule(pieces, p, record);
        }
    }
}

}  // namespace teebasket
