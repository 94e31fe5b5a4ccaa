// The golf.ini reader and editor on any file: a write changes only its key's
// line (or adds it, with its section header), keeps every other line byte for
// byte in its place, and reads back as written (as the profile functions read
// a value: without surrounding blanks and one pair of enclosing quotes).
//
// Input: the file's bytes, a zero byte, then the value to write (printable
// ASCII, as the program's own keys hold); the last input byte picks the key.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "FuzzChecks.h"
#include "ProfileFile.h"

using namespace teebasket;
namespace fs = std::filesystem;

namespace {

struct Key {
    const char* section;
    const char* key;
};
constexpr Key kKeys[] = {{"Config", "Area"},
                         {"Portal", "ListingHost"},
                         {"Portal", "BookingHost"},
                         {"Portal", "CACertificate"},
                         {"config", "AREA"}};

// The lines of `bytes`, each with its line end, as the profile functions
// read them: a line ends at LF (CR LF included); a lone CR is part of a line.
std::vector<std::string> LinesWithEnds(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            lines.push_back(bytes.substr(start, i + 1 - start));
            start = i + 1;
        }
    }
    if (start < bytes.size()) {
        lines.push_back(bytes.substr(start));
    }
    return lines;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return std::move(bytes).str();
}

void WriteAll(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// What a value reads back as, by the rules of the Windows profile functions:
// without the blanks around it, and without one pair of matching quotes
// (" or ') that enclose it.
std::string AsReadBack(const std::string& value) {
    const std::size_t first = value.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    std::string text = value.substr(first, value.find_last_not_of(" \t") - first + 1);
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
        text.back() == text.front()) {
        text = text.substr(1, text.size() - 2);
    }
    return text;
}

// Every line of `before` is in `after`, in order and unchanged, except one
// line (the key's) that may be replaced; at most two lines (a section header
// and the key) are added. A last line without a line end may gain one.
void CheckOtherLinesKept(const std::string& before, const std::string& after) {
    std::vector<std::string> old = LinesWithEnds(before);
    const std::vector<std::string> now = LinesWithEnds(after);
    std::size_t head = 0;
    while (head < old.size() && head < now.size() && old[head] == now[head]) {
        ++head;
    }
    std::size_t tail = 0;
    while (tail < old.size() - head && tail < now.size() - head &&
           old[old.size() - 1 - tail] == now[now.size() - 1 - tail]) {
        ++tail;
    }
    const std::size_t oldChanged = old.size() - head - tail;
    const std::size_t newChanged = now.size() - head - tail;
    bool lastGainedEnd = false;
    if (oldChanged == 1 && head == old.size() - 1) {
        // The unterminated last line, now with a line end and what follows.
        const std::string& last = old.back();
        lastGainedEnd = last.find('\n') == std::string::npos && now[head].starts_with(last) &&
                        now[head].size() <= last.size() + 2;
    }
    fuzz::Require(oldChanged <= 1, "more than one line of the file changed", before);
    fuzz::Require(newChanged <= (lastGainedEnd ? 3u : 2u), "more than two lines added", after);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string input(reinterpret_cast<const char*>(data), size - 1);
    const Key key = kKeys[data[size - 1] % std::size(kKeys)];
    const std::vector<std::string> parts = fuzz::SplitAtZero(input, 2);
    const std::string& file = parts[0];
    const std::string value = parts.size() > 1 ? parts[1] : "1";
    for (const char c : value) {
        if (c < 0x20 || c > 0x7E) {
            return 0;  // the program writes printable ASCII only
        }
    }

    static const fs::path path = [] {
        const fs::path folder =
            fs::temp_directory_path() / ("teebasket-fuzz-ini-" + std::to_string(::getpid()));
        fs::create_directories(folder);
        return folder / "golf.ini";
    }();
    WriteAll(path, file);
    (void)ReadProfileString(path, key.section, key.key, "default");

    const std::string problem = WriteProfileString(path, key.section, key.key, value);
    fuzz::Require(problem.empty(), "the write failed", problem);
    const std::string after = ReadAll(path);
    CheckOtherLinesKept(file, after);
    fuzz::Require(ReadProfileString(path, key.section, key.key, "default") == AsReadBack(value),
                  "the key does not read back as written", after);
    return 0;
}
