// FuzzChecks: the invariants that the fuzz harnesses hold the engine to, and
// the way a harness reports a broken one (a message, then abort, which
// libFuzzer records as a crash with the input that caused it).
#pragma once

#include <curl/curl.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace teebasket::fuzz {

// Prints `what` and the offending bytes (escaped) to stderr and aborts.
[[noreturn]] void Broken(std::string_view what, std::string_view bytes = {});

// Aborts through Broken when `condition` is false.
void Require(bool condition, std::string_view what, std::string_view bytes = {});

// True when `bytes` (code page 932) ends in the lead byte of a double-byte
// character whose second byte is missing.
bool EndsInLoneLeadByte(std::string_view bytes);

// True when `bytes` holds a CR, an LF or a zero byte.
bool HasLineBreakOrZero(std::string_view bytes);

// The values of a course line ("v1","v2",...,"v31", with quotes inside a value
// doubled), or nothing (an empty list) when the line is not made that way.
std::vector<std::string> SplitCourseLine(std::string_view line);

// True when `host` (host or host:port) names `name` and `port` as libcurl
// read them from an address; ports compare as numbers ("012" is 12).
bool SameHostAndPort(const std::string& host, const std::string& name,
                     const std::optional<std::string>& port);

// The detail address of course `id` on `host` (host or host:port), read back
// by libcurl as it will request it: https, that host and port, and the path "/guide/disp/c_id/" and
// one segment, exactly as the address (and so the CSV) writes it, with no query, fragment or
// credentials. Aborts through Broken otherwise.
void CheckDetailUrl(const std::string& url, const std::string& host, std::string_view id);

struct UrlFree {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using ParsedUrl = std::unique_ptr<CURLU, UrlFree>;

// One part of `url` as libcurl reads it, or nothing when it has none.
std::optional<std::string> UrlPart(CURLU* url, CURLUPart part);

// The input split at zero bytes into at most `limit` pieces.
std::vector<std::string> SplitAtZero(std::string_view input, std::size_t limit);

}  // namespace teebasket::fuzz
