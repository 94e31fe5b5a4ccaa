#include "bulk_pages.h"

#include <algorithm>
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

// A long unit of line feeds: fewer, larger pieces than one byte at a time.
constexpr std::string_view kLineFeeds =
    "\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n"
    "\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n";

}  // namespace

void BulkPageShape::AppendBytes(std::size_t offset, std::size_t length, std::string& out) const {
    const std::size_t end = offset + std::min(length, size - std::min(offset, size));
    std::size_t at = offset;
    if (at < head.size()) {
        const std::size_t count = std::min(end, head.size()) - at;
        out.append(head.substr(at, count));
        at += count;
    }
    while (at < end) {
        const std::size_t inUnit = (at - head.size()) % unit.size();
        const std::size_t count = std::min(unit.size() - inUnit, end - at);
        out.append(unit.substr(inUnit, count));
        at += count;
    }
}

std::optional<BulkPageShape> FindBulkPage(std::string_view name) {
    if (const auto size = SizeAfter(name, "x-newlines-")) {
        return BulkPageShape{{}, kLineFeeds, *size};
    }
    if (const auto size = SizeAfter(name, "x-longline-")) {
        return BulkPageShape{
            R"(<script type="application/json" id="page-data">{"page":1}</script>)",
            "<h3>休場日</h3><p>月曜日,火曜日</p><dt>FAX</dt><dd>0436-12-3456</dd>", *size};
    }
    if (const auto size = SizeAfter(name, "x-longjson-")) {
        return BulkPageShape{
            R"(<script type="application/ld+json">{"@context":"https://schema.org")",
            R"(,"name":"美浜ゴルフ倶楽部","image":"/photo/1.jpg")", *size};
    }
    return std::nullopt;
}

std::optional<std::string> BulkPage(std::string_view name) {
    const std::optional<BulkPageShape> shape = FindBulkPage(name);
    if (!shape) {
        return std::nullopt;
    }
    std::string page;
    page.reserve(shape->size);
    shape->AppendBytes(0, shape->size, page);
    return page;
}

}  // namespace teebasket::portal
