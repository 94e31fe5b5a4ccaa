// PageText: a downloaded page's bytes, read line by line where they lie.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace teebasket {

// Splits raw bytes into lines: a line ends at CR, at LF or at CR LF (one
// break); the last line needs no terminator. Bytes are kept as they are.
std::vector<std::string> SplitLines(std::string_view bytes);

// Reads raw bytes line by line, cut as SplitLines cuts them, without copying
// them: each line is a view into the bytes, which must outlive the cursor.
class LineCursor {
  public:
    explicit LineCursor(std::string_view bytes) : bytes_(bytes) {}

    // Sets `line` to the next line and returns true, or returns false after
    // the last line.
    bool Next(std::string_view& line);

    // The number of bytes behind the line that Next gave last.
    std::size_t Remaining() const { return bytes_.size() - next_; }

  private:
    std::string_view bytes_;
    std::size_t next_ = 0;
};

// A downloaded page: its raw bytes (UTF-8 as the server sent them) in one
// buffer, read line by line through a LineCursor. Reading a page this way
// costs its size once, however many lines it has.
class PageText {
  public:
    PageText() = default;
    explicit PageText(std::string bytes) : bytes_(std::move(bytes)) {}

    std::string_view Bytes() const { return bytes_; }
    bool Empty() const { return bytes_.empty(); }
    LineCursor Lines() const { return LineCursor(bytes_); }

  private:
    std::string bytes_;
};

// Loads a file whole into `page`, in one buffer of the file's size. Returns
// false (and leaves `page` empty) when the file does not exist or cannot be
// read.
bool LoadPage(const std::filesystem::path& path, PageText& page);

}  // namespace teebasket
