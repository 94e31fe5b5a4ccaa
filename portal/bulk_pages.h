// Oversized pages of the demo portal, for measuring how much memory a client
// needs to read a page: many lines, or one very long line. Internal to the
// portal's server.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace teebasket::portal {

// A bulk page: `head`, then `unit` repeated, cut at exactly `size` bytes
// (which may fall inside a character). The texts are constants, so a page of
// any size is made piece by piece as it is sent.
struct BulkPageShape {
    std::string_view head;
    std::string_view unit;  // never empty
    std::size_t size = 0;

    // Appends the page's bytes from `offset` on, `length` of them at most, to
    // `out`.
    void AppendBytes(std::size_t offset, std::size_t length, std::string& out) const;
};

// The shape of the bulk fault path `name`, or nothing when `name` is not one:
//   x-newlines-N  N line feeds
//   x-longline-N  one line of N bytes: the page-data script tag that starts
//                 a detail page's body, then labelled sections in Japanese,
//                 dense with ">" and ",", cut at N bytes
//   x-longjson-N  one structured-data line of N bytes: a script tag with
//                 "@context", then name/image members repeated, cut at N
// N is at most kMaximumBulkBytes.
std::optional<BulkPageShape> FindBulkPage(std::string_view name);

// The whole body of the bulk fault path `name`, or nothing when it is not one.
std::optional<std::string> BulkPage(std::string_view name);

inline constexpr std::array<std::string_view, 3> kBulkPageNames = {"x-newlines-N", "x-longline-N",
                                                                   "x-longjson-N"};
inline constexpr std::size_t kMaximumBulkBytes = 256u * 1024u * 1024u;

}  // namespace teebasket::portal
