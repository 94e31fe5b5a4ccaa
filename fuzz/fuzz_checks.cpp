#include "FuzzChecks.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include "Unicommon.h"

namespace teebasket::fuzz {

void Broken(std::string_view what, std::string_view bytes) {
    std::fprintf(stderr, "INVARIANT BROKEN: %.*s\n", static_cast<int>(what.size()), what.data());
    if (!bytes.empty()) {
        std::fputs("bytes: ", stderr);
        for (const char c : bytes.substr(0, 400)) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
                std::fputc(byte, stderr);
            } else {
                std::fprintf(stderr, "\\x%02X", byte);
            }
        }
        std::fputc('\n', stderr);
    }
    std::abort();
}

void Require(bool condition, std::string_view what, std::string_view bytes) {
    if (!condition) {
        Broken(what, bytes);
    }
}

bool EndsInLoneLeadByte(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (IsLeadByte(static_cast<unsigned char>(bytes[i]))) {
            if (i + 1 == bytes.size()) {
                return true;
            }
            i += 2;
        } else {
            ++i;
        }
    }
    return false;
}

bool HasLineBreakOrZero(std::string_view bytes) {
    return bytes.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::vector<std::string> SplitCourseLine(std::string_view line) {
    std::vector<std::string> values;
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] != '"') {
            return {};
        }
        std::string value;
        for (++i;; ++i) {
            if (i >= line.size()) {
                return {};
            }
            if (line[i] == '"') {
                if (i + 1 < line.size() && line[i + 1] == '"') {
                    value.push_back('"');
                    ++i;
                    continue;
                }
                break;
            }
            value.push_back(line[i]);
        }
        if (i + 1 >= line.size() || line[i + 1] != ',') {
            return {};
        }
        i += 2;
        values.push_back(std::move(value));
    }
    return values;
}

std::optional<std::string> UrlPart(CURLU* url, CURLUPart part) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, 0) != CURLUE_OK || text == nullptr) {
        return std::nullopt;
    }
    std::string value(text);
    curl_free(text);
    return value;
}

namespace {

std::string_view WithoutLeadingZeros(std::string_view digits) {
    while (digits.size() > 1 && digits.front() == '0') {
        digits.remove_prefix(1);
    }
    return digits;
}

}  // namespace

bool SameHostAndPort(const std::string& host, const std::string& name,
                     const std::optional<std::string>& port) {
    const std::size_t close = host.rfind(']');
    const std::size_t colon = host.rfind(':');
    const bool hasPort =
        colon != std::string::npos && (close == std::string::npos || colon > close);
    if (host.substr(0, hasPort ? colon : std::string::npos) != name ||
        hasPort != port.has_value()) {
        return false;
    }
    return !hasPort || WithoutLeadingZeros(std::string_view(host).substr(colon + 1)) ==
                           WithoutLeadingZeros(*port);
}

void CheckDetailUrl(const std::string& url, const std::string& host, std::string_view id) {
    const ParsedUrl parsed(curl_url());
    Require(parsed != nullptr, "curl_url failed");
    Require(curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) == CURLUE_OK,
            "libcurl refuses the detail address", url);
    Require(UrlPart(parsed.get(), CURLUPART_SCHEME) == "https", "not https", url);
    const std::optional<std::string> name = UrlPart(parsed.get(), CURLUPART_HOST);
    Require(name && SameHostAndPort(host, *name, UrlPart(parsed.get(), CURLUPART_PORT)),
            "another host or port", url);
    for (const CURLUPart part :
         {CURLUPART_QUERY, CURLUPART_FRAGMENT, CURLUPART_USER, CURLUPART_PASSWORD}) {
        Require(!UrlPart(parsed.get(), part), "a query, fragment or credentials", url);
    }
    const std::string prefix = "https://" + host;
    Require(url.starts_with(prefix), "the address does not start with its host", url);
    const std::optional<std::string> path = UrlPart(parsed.get(), CURLUPART_PATH);
    Require(path == url.substr(prefix.size()), "libcurl requests another path than recorded", url);
    Require(path->starts_with("/guide/disp/c_id/"), "not a detail path", url);
    const std::string_view segment =
        std::string_view(*path).substr(std::string_view("/guide/disp/c_id/").size());
    Require(segment.find('/') == std::string_view::npos, "more than one segment", url);
    Require(segment != "." && segment != "..", "a dot segment", url);
    Require(segment.size() >= id.size(), "the identifier lost bytes", url);
}

std::vector<std::string> SplitAtZero(std::string_view input, std::size_t limit) {
    std::vector<std::string> pieces;
    while (pieces.size() + 1 < limit) {
        const std::size_t zero = input.find('\0');
        if (zero == std::string_view::npos) {
            break;
        }
        pieces.emplace_back(input.substr(0, zero));
        input.remove_prefix(zero + 1);
    }
    pieces.emplace_back(input);
    return pieces;
}

}  // namespace teebasket::fuzz
