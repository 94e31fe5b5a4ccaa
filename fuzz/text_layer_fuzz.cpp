// SplitText, NormalizeText and UTF8ToAnsi on any bytes. The first input byte
// gives the delimiter's length (0-3), the next bytes the delimiter, the rest
// the text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzChecks.h"
#include "MECSUtils.h"
#include "Unicommon.h"

using namespace teebasket;

namespace {

void CheckSplitText(const std::string& text, const std::string& delimiter) {
    std::vector<std::string> pieces = {"kept"};
    SplitText(text, delimiter, pieces);
    fuzz::Require(pieces.front() == "kept", "SplitText changed what the list held");
    std::size_t total = 0;
    std::size_t from = 0;
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        fuzz::Require(!pieces[i].empty(), "an empty piece", text);
        const std::size_t at = text.find(pieces[i], from);
        fuzz::Require(at != std::string::npos, "a piece that is not in the text, in order",
                      pieces[i]);
        from = at + pieces[i].size();
        total += pieces[i].size();
    }
    fuzz::Require(total <= text.size(), "pieces longer than the text", text);
    if (TextFind(text, delimiter) == 0 && !text.empty()) {
        fuzz::Require(pieces.size() == 2 && pieces[1] == text,
                      "a text without the delimiter is not kept whole", text);
    }
}

void CheckNormalizeText(const std::string& text) {
    const std::string normal = NormalizeText(text);
    fuzz::Require(normal.size() <= text.size(), "NormalizeText made the text longer", text);
    for (const HalfWidthPair& pair : HalfWidthTable) {
        fuzz::Require(TextFind(normal, pair.fullWidth) == 0, "a full-width character left behind",
                      text);
    }
    fuzz::Require(NormalizeText(normal) == normal, "NormalizeText is not settled after once", text);
}

void CheckUtf8ToAnsi(const std::string& text) {
    const std::string ansi = UTF8ToAnsi(text);
    fuzz::Require(ansi.find('\0') == std::string::npos, "a zero byte in the converted text", text);
    fuzz::Require(!fuzz::EndsInLoneLeadByte(ansi), "converted text ends in a lone lead byte", text);
    fuzz::Require(ansi.size() <= 2 * text.size(), "the conversion grew beyond two bytes a byte",
                  text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t delimiterSize = std::min<std::size_t>(data[0] % 4, size - 1);
    const std::string delimiter(reinterpret_cast<const char*>(data) + 1, delimiterSize);
    const std::string text(reinterpret_cast<const char*>(data) + 1 + delimiterSize,
                           size - 1 - delimiterSize);
    CheckSplitText(text, delimiter);
    CheckNormalizeText(text);
    CheckUtf8ToAnsi(text);
    return 0;
}
