// The body pass of the detail extraction: fax, access by car, tags, the
// labelled facility and layout sections, and the review count as the page
// shows it.
#include "CuttingRules.h"
#include "MECSUtils.h"

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

// The body's pieces between ">" (as SplitText gives them), each also seen
// trimmed, addressed by index from 0. The walk goes forward and reads at most
// kScanWindow + 1 pieces ahead of the current one, so only those are kept:
// however many pieces a body has, they cost a fixed amount of memory.
class Pieces {
  public:
    explicit Pieces(std::string_view bodyText) : splitter_(bodyText, ">") {}

    // True when piece `index` exists. Reads pieces as far as `index`; an
    // index may be read once Has has said it exists, and stays readable
    // while the walk is at most kScanWindow + 1 pieces further on.
    bool Has(std::size_t index) {
        while (index >= read_ && !ended_) {
            ReadOne();
        }
        return index < read_;
    }
    std::string_view Raw(std::size_t index) const { return ring_[index % kRingSize].raw; }
    std::string_view Trimmed(std::size_t index) const { return ring_[index % kRingSize].trimmed; }

  private:
    struct Piece {
        std::string_view raw;
        std::string_view trimmed;
    };
    static constexpr std::size_t kRingSize = 64;
    static_assert(kRingSize > kScanWindow + 1);

    void ReadOne() {
        std::string_view piece;
        if (!splitter_.Next(piece)) {
            ended_ = true;
            return;
        }
        ring_[read_ % kRingSize] = {piece, TextTrimView(piece)};
        ++read_;
    }

    TextSplitter splitter_;
    std::array<Piece, kRingSize> ring_{};
    std::size_t read_ = 0;  // pieces read so far
    bool ended_ = false;
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
std::string CollectText(Pieces& pieces, std::size_t p, std::size_t first, EndsScan ends) {
    std::string valueText;
    for (std::size_t k = first; k <= kScanWindow && pieces.Has(p + k); ++k) {
        const std::string_view piece = pieces.Trimmed(p + k);
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

void ApplyFaxRule(Pieces& pieces, std::size_t p, CourseRecord& record) {
    if (!pieces.Has(p + 2) || !HasPrefix(pieces.Trimmed(p + 1), "FAX")) {
        return;
    }
    const std::string fax = TextTrim(TextRemove(pieces.Trimmed(p + 2), "</span"));
    if (record[kColumnFax].empty()) {
        record[kColumnFax] = fax;
    }
}

void ApplyReviewCountRule(Pieces& pieces, std::size_t p, CourseRecord& record) {
    if (TextFind(pieces.Raw(p), "rating-count-text") == 0 || !pieces.Has(p + 1)) {
        return;
    }
    const std::string count = TextTrim(TextRemove(pieces.Trimmed(p + 1), "</span"));
    if (record[kColumnReviewCount].empty()) {
        record[kColumnReviewCount] = count;
    }
}

void ApplyCarAccessRule(Pieces& pieces, std::size_t p, CourseRecord& record) {
    if (TextFind(pieces.Raw(p), "details-block car") == 0 || !record[kColumnCarAccess].empty()) {
        return;
    }
    record[kColumnCarAccess] = CollectText(
        pieces, p, 1, [](std::string_view piece) { return piece == "</li" || piece == "</ul"; });
}

void ApplyTagRule(Pieces& pieces, std::size_t p, CourseRecord& record) {
    if (TextFind(pieces.Raw(p), "tag clean") == 0 || !record[kColumnTags].empty()) {
        return;
    }
    std::string valueText;
    for (std::size_t k = 1; k <= kScanWindow && pieces.Has(p + k); ++k) {
        const std::string_view piece = pieces.Trimmed(p + k);
        if (HasPrefix(piece, "<ul") || piece == "</ul") {
            break;
        }
        if (TextFind(pieces.Raw(p + k), "tag-label") == 0 || !pieces.Has(p + k + 1)) {
            continue;
        }
        const std::string label = TextTrim(TextRemove(pieces.Trimmed(p + k + 1), "</div"));
        if (!label.empty() && TextFind(label, Literals().refused) == 0) {
            Append(valueText, Literals().listSeparator, label);
        }
    }
    record[kColumnTags] = TextTrim(valueText);
}

void ApplySectionRule(Pieces& pieces, std::size_t p, CourseRecord& record) {
    if (!pieces.Has(p + 1)) {
        return;
    }
    const int column = ColumnForLabel(TextTrim(TextRemove(pieces.Trimmed(p + 1), "</h3")));
    if (column < 0) {
        return;
    }
    // The later of two sections with the same label decides, even when empty.
    record[column] = CollectText(pieces, p, 2, [](std::string_view piece) {
        return HasPrefix(piece, "<h3") || piece == "</li";
    });
}

}  // namespace

int ColumnForLabel(std::string_view label) {
    const auto& labels = Literals().sectionLabels;
    for (std::size_t slot = 0; slot < labels.size(); ++slot) {
        if (!labels[slot].empty() && TextSameIgnoringCase(labels[slot], label)) {
            return static_cast<int>(slot) + 6;
        }
    }
    return -1;
}

void ExtractBodySections(std::string_view bodyText, CourseRecord& record) {
    Pieces pieces(bodyText);
    for (std::size_t p = 0; pieces.Has(p); ++p) {
        const std::string_view piece = pieces.Trimmed(p);
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
