// HarvestFailure: what went wrong in a run, as data: the pages that could not
// be read (libcurl's text, an HTTP status), and, from the output component,
// why the run could not do its work (RunFailure.h). The window and
// teebasket-cli put it into words.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

#include "RunFailure.h"
#include "Unicommon.h"

namespace teebasket {

enum class PageKind { Listing, Detail };

// Why a page could not be read after its attempts.
enum class PageProblem {
    Fetch,           // the download failed: FetchError says how
    HttpStatus,      // the portal answered with an error status (httpStatus)
    TooManyCourses,  // the prefecture lists more courses than a run takes
                     // (kMaxCoursesPerPrefecture)
};

// A page that could not be read after its attempts. A detail page's course
// still has its row: the earlier file's row for the same page when there was
// one (keptEarlierRow), else only its card's name and its detail-page URL.
struct PageFailure {
    PageKind kind = PageKind::Detail;
    PageProblem problem = PageProblem::Fetch;
    FetchError error = FetchError::None;  // for PageProblem::Fetch
    long httpStatus = 0;                  // the last answer's status; 0 when no answer came
    std::string detail;                   // libcurl's text, or the refused redirect's address
    int attempts = 0;
    // The course identifier as cut from the listing (detail page), or the
    // prefecture's display name (listing page); code-page-932 bytes.
    std::string subject;
    // The course's name (code-page-932 bytes) when the page told it; mostly
    // empty, for a page that could not be read tells nothing.
    std::string courseName;
    std::string url;  // ASCII
    // The course's row is the earlier file's row for the same page, as it was.
    bool keptEarlierRow = false;
};

// True for the failures that mean the portal could not be connected to:
// host not found, refused, no connection in time, TLS, a portal that stopped
// answering.
bool IsConnectionFailure(const PageFailure& failure);

// True when `failure` points to the portal settings rather than to a passing
// trouble: a connection refused, or a host name not found, on a host that is
// not the build's default one. Waiting does not mend it.
bool PointsToPortalSettings(const PageFailure& failure);

}  // namespace teebasket
