// Downloaded pages: loading them and reading them line by line.
#include <bit>
#include <fstream>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "Unicommon.h"

namespace teebasket {
namespace {

bool IsLineBreak(char c) {
    return c == '\n' || c == '\r';
}

// Offset of the first CR or LF of `bytes` at or after `from`, or npos.
std::size_t FindLineBreak(std::string_view bytes, std::size_t from) {
#if defined(__SSE2__)
    const __m128i lineFeed = _mm_set1_epi8('\n');
    const __m128i carriageReturn = _mm_set1_epi8('\r');
    for (; from + 16 <= bytes.size(); from += 16) {
        const __m128i block =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + from));
        const auto breaks = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi8(block, lineFeed), _mm_cmpeq_epi8(block, carriageReturn))));
        if (breaks != 0) {
            return from + static_cast<std::size_t>(std::countr_zero(breaks));
        }
    }
#endif
    for (; from < bytes.size(); ++from) {
        if (IsLineBreak(bytes[from])) {
            return from;
        }
    }
    return std::string_view::npos;
}

}  // namespace

bool LineCursor::Next(std::string_view& line) {
    if (next_ >= bytes_.size()) {
        return false;
    }
    const std::size_t end = FindLineBreak(bytes_, next_);
    if (end == std::string_view::npos) {
        line = bytes_.substr(next_);
        next_ = bytes_.size();
        return true;
    }
    line = bytes_.substr(next_, end - next_);
    next_ = end + 1;
    if (bytes_[end] == '\r' && next_ < bytes_.size() && bytes_[next_] == '\n') {
        ++next_;
    }
    return true;
}

std::vector<std::string> SplitLines(std::string_view bytes) {
    std::vector<std::string> lines;
    LineCursor cursor(bytes);
    for (std::string_view line; cursor.Next(line);) {
        lines.emplace_back(line);
    }
    return lines;
}

bool LoadPage(const std::filesystem::path& path, PageText& page) {
    page = PageText();
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    std::string bytes;
    if (!error) {
        bytes.reserve(static_cast<std::size_t>(size));
    }
    // Read to the end whatever the size said, in case the file grew meanwhile.
    char buffer[65536];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
        bytes.append(buffer, static_cast<std::size_t>(file.gcount()));
    }
    if (file.bad()) {
        return false;
    }
    page = PageText(std::move(bytes));
    return true;
}

}  // namespace teebasket
