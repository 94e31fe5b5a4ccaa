#include "bulk_pages.h"

#include <charconv>

namespace teebasket::portal {
namespace {

std::optional<std::size_t> SizeAfter(std::string_view name, std::string_view prefix) {
    if (name.substr(0, prefix.size()) != prefix || name.size() == prefix.size()) {
        return std::nullopt;
    }
    std::size_t value = 0;
    const char* last = name.data() + name.size();
    const auto [end, error] = std::from_chars(name.data() + prefix.size(), last, value);
    if (error != std::errc() || end != last || value > kMaximumBulkBytes) {
        return std::nullopt;
    }
    return value;
}

// `head`, then `unit` repeated, cut at exactly `size` bytes (which may fall
// inside a character).
std::string Repeated(std::string_view head, std::string_view unit, std::size_t size) {
    std::string page;
    page.reserve(size);
    page.append(head.substr(0, size));
    while (page.size() < size) {
        page.append(unit.substr(0, size - page.size()));
    }
    return page;
}

}  // namespace

std::optional<std::string> BulkPage(std::string_view name) {
    if (const auto size = SizeAfter(name, "x-newlines-")) {
        return std::string(*size, '\n');
    }
    if (const auto size = SizeAfter(name, "x-longline-")) {
        return Repeated(R"(<script type="application/json" id="page-data">{"page":1}</script>)",
                        "<h3>休場日</h3><p>月曜日,火曜日</p><dt>FAX</dt><dd>0436-12-3456</dd>",
                        *size);
    }
    if (const auto size = SizeAfter(name, "x-longjson-")) {
        return Repeated(R"(<script type="application/ld+json">{"@context":"https://schema.org")",
                        R"(,"name":"美浜ゴルフ倶楽部","image":"/photo/1.jpg")", *size);
    }
    return std::nullopt;
}

}  // namespace teebasket::portal
