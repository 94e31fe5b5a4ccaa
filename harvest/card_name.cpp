// The course name of a listing card.
#include "CardName.h"

#include <charconv>
#include <optional>

#include "MECSUtils.h"
#include "Unicommon.h"

namespace teebasket {

namespace {

void AppendUtf8(std::string& text, char32_t codePoint) {
    const auto byte = [](char32_t bits) { return static_cast<char>(bits); };
    if (codePoint < 0x80) {
        text += byte(codePoint);
    } else if (codePoint < 0x800) {
        text += byte(0xC0 | (codePoint >> 6));
        text += byte(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        text += byte(0xE0 | (codePoint >> 12));
        text += byte(0x80 | ((codePoint >> 6) & 0x3F));
        text += byte(0x80 | (codePoint & 0x3F));
    } else {
        text += byte(0xF0 | (codePoint >> 18));
        text += byte(0x80 | ((codePoint >> 12) & 0x3F));
        text += byte(0x80 | ((codePoint >> 6) & 0x3F));
        text += byte(0x80 | (codePoint & 0x3F));
    }
}

// The character of the reference `name` (between "&" and ";"), or nothing.
std::optional<char32_t> ReferencedCharacter(std::string_view name) {
    struct Named {
        std::string_view name;
        char32_t character;
    };
    static constexpr Named kNamed[] = {{"amp", U'&'},  {"lt", U'<'},    {"gt", U'>'},
                                       {"quot", U'"'}, {"apos", U'\''}, {"nbsp", U' '}};
    for (const Named& named : kNamed) {
        if (name == named.name) {
            return named.character;
        }
    }
    if (name.size() < 2 || name.front() != '#') {
        return std::nullopt;
    }
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    std::uint32_t value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, hex ? 16 : 10);
    const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        value == 0 || value > 0x10FFFF || surrogate) {
        return std::nullopt;
    }
    return static_cast<char32_t>(value);
}

// `html` with its character references resolved; one that is not a known
// reference stays as it is.
std::string ResolveReferences(std::string_view html) {
    std::string text;
    text.reserve(html.size());
    for (std::size_t at = 0; at < html.size();) {
        const std::size_t semicolon = html[at] == '&' ? html.find(';', at) : std::string_view::npos;
        constexpr std::size_t kLongestReference = 10;  // "&#x10FFFF;"
        if (semicolon != std::string_view::npos && semicolon - at <= kLongestReference) {
            if (const std::optional<char32_t> character =
                    ReferencedCharacter(html.substr(at + 1, semicolon - at - 1))) {
                AppendUtf8(text, *character);
                at = semicolon + 1;
                continue;
            }
        }
        text += html[at++];
    }
    return text;
}

// `html` without its tags: everything from a "<" to the next ">" goes (to the
// end, when no ">" follows).
std::string WithoutTags(std::string_view html) {
    std::string text;
    for (std::size_t at = 0; at < html.size();) {
        const std::size_t tag = html.find('<', at);
        text.append(html.substr(at, tag == std::string_view::npos ? tag : tag - at));
        if (tag == std::string_view::npos) {
            break;
        }
        const std::size_t tagEnd = html.find('>', tag);
        at = tagEnd == std::string_view::npos ? html.size() : tagEnd + 1;
    }
    return text;
}

// The pieces of `text` between its line breaks, each trimmed, the empty ones
// left out, joined by one blank: a name written across lines reads as a
// browser shows it.
std::string JoinedLines(std::string_view text) {
    std::string joined;
    for (std::size_t at = 0; at <= text.size();) {
        const std::size_t lineBreak = text.find_first_of("\r\n", at);
        const std::size_t end = lineBreak == std::string_view::npos ? text.size() : lineBreak;
        const std::string_view piece = TextTrimView(text.substr(at, end - at));
        if (!piece.empty()) {
            joined += joined.empty() ? "" : " ";
            joined += piece;
        }
        at = end + 1;
    }
    return joined;
}

}  // namespace

std::string CutCardCourseName(std::string_view heading) {
    const std::size_t marker = heading.find("gf-card-name");
    const std::size_t open = marker == std::string_view::npos ? marker : heading.find('>', marker);
    const std::size_t close = open == std::string_view::npos ? open : heading.find("</h2>", open);
    if (close == std::string_view::npos) {
        return {};
    }
    const std::string_view inside = heading.substr(open + 1, close - open - 1);
    if (inside.find("<h2") != std::string_view::npos) {
        return {};  // the heading never ended: the "</h2>" is another heading's
    }
    const std::string name = ResolveReferences(JoinedLines(WithoutTags(inside)));
    if (name.size() > kMaxCardNameBytes) {
        return {};
    }
    return UTF8ToAnsi(TextTrimView(name));
}

}  // namespace teebasket
