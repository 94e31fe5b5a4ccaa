// Small helpers for the cutting-rule tests: pages are written in UTF-8, as
// the portal sends them; record values are code-page-932 bytes.
#pragma once

#include <string>
#include <vector>

#include "MECSUtils.h"
#include "Unithread.h"

namespace teebasket::test {

// UTF-8 text as code-page-932 bytes.
inline std::string A(const std::string& utf8) {
    return UTF8ToAnsi(utf8);
}

// Code-page-932 bytes as UTF-8, for readable comparisons.
inline std::string U(const std::string& ansi) {
    return UTF16ToAnsi(AnsiToUTF16(ansi, kCodePageJapanese), kCodePageUtf8);
}

inline PortalSettings TestPortal() {
    PortalSettings portal;
    portal.listingHost = "list.example:8443";
    portal.bookingHost = "book.example";
    return portal;
}

// A page of `lines`, each ended by LF.
inline PageText PageOf(const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line;
        bytes += '\n';
    }
    return PageText(std::move(bytes));
}

inline CourseRecord ParseDetail(const std::vector<std::string>& lines,
                                const std::string& courseId = "120012") {
    return ParseCourseDetail(PageOf(lines), TestPortal(), courseId);
}

// The structured-data line of a detail page, as the portal writes it.
inline std::string StructuredData(const std::string& members) {
    return R"(<script type="application/ld+json">{"@context":"https://schema.org","@type":"GolfCourse",)" +
           members + "}</script>";
}

// A detail page whose body (from the JSON script line on) holds `bodyHtml`.
inline std::vector<std::string> PageWithBody(const std::string& bodyHtml,
                                             const std::string& structuredData = "") {
    std::vector<std::string> lines = {"<!DOCTYPE html>", "<html>", "<head>"};
    if (!structuredData.empty()) {
        lines.push_back(structuredData);
    }
    lines.push_back(R"(<script id="app-state" type="application/json">{"page":1}</script>)");
    lines.push_back("</head><body>");
    lines.push_back(bodyHtml);
    lines.push_back("</body></html>");
    return lines;
}

}  // namespace teebasket::test
