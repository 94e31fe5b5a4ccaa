// Other code pages through iconv, by the name "CP" and the code page number.
#include <iconv.h>

#include "other_code_pages.h"

namespace teebasket::other_code_pages {
namespace {

class IconvHandle {
  public:
    IconvHandle(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (valid()) {
            iconv_close(handle_);
        }
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // Converts `input` whole; false when iconv refuses any of it.
    bool Convert(const char* input, std::size_t inputSize, std::string& output) {
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        output.resize(inputSize * 4 + 8);
        char* in = const_cast<char*>(input);
        char* out = output.data();
        std::size_t inLeft = inputSize;
        std::size_t outLeft = output.size();
        if (iconv(handle_, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
            return false;
        }
        output.resize(output.size() - outLeft);
        return inLeft == 0;
    }

  private:
    iconv_t handle_;
};

std::string IconvName(unsigned codePage) {
    return "CP" + std::to_string(codePage);
}

}  // namespace

std::u16string Decode(const std::string& text, unsigned codePage) {
    IconvHandle converter("UTF-16LE", IconvName(codePage).c_str());
    std::string units;
    if (!converter.valid() || !converter.Convert(text.data(), text.size(), units)) {
        return {};
    }
    std::u16string wide(units.size() / 2, u'\0');
    for (std::size_t i = 0; i < wide.size(); ++i) {
        wide[i] = static_cast<char16_t>(static_cast<unsigned char>(units[2 * i]) |
                                        static_cast<unsigned char>(units[2 * i + 1]) << 8);
    }
    return wide;
}

std::string Encode(const std::vector<char32_t>& codePoints, unsigned codePage) {
    IconvHandle converter(IconvName(codePage).c_str(), "UTF-32LE");
    if (!converter.valid()) {
        return {};
    }
    std::string result;
    std::string bytes;
    for (const char32_t point : codePoints) {
        const char unit[4] = {static_cast<char>(point & 0xFF), static_cast<char>(point >> 8 & 0xFF),
                              static_cast<char>(point >> 16 & 0xFF), 0};
        if (converter.Convert(unit, 4, bytes)) {
            result += bytes;
        } else {
            result.push_back('?');
        }
    }
    return result;
}

}  // namespace teebasket::other_code_pages
