// Steps shared by the listing crawl and the detail extraction. Internal to
// the harvest engine.
#pragma once

#include <string>
#include <vector>

#include "Unithread.h"

namespace teebasket::detail {

// What came of asking for one page.
struct PageRead {
    enum class Outcome {
        Page,       // the page is in `page`
        NoPage,     // no page after the attempts (an error status, a failed transfer)
        Stopped,    // a stop ended the download or a wait; nothing was read
        RunFailed,  // the scratch file could not be written or read: HarvestRun::failure says why
    };
    Outcome outcome = Outcome::NoPage;
    PageText page;     // raw bytes of the page
    FetchResult last;  // the last attempt's result
    int attempts = 0;
};

// Downloads `url` into the run's scratch file, trying again after a transient
// failure as the settings' RetryPolicy says, and starts the pause of `pause`
// that must pass before the run's next request. The page is read and its
// line written while the pause runs. Notes a failure to reach the portal in
// the run, and a scratch file that cannot be written or read as the run's
// failure (which also stops the run).
PageRead ReadPage(HarvestContext& context, const std::string& url, std::chrono::milliseconds pause);

// Waits until the pause after the previous page is over, or a stop is
// requested. Returns false when a stop was requested.
bool WaitOutPause(HarvestRun& run);

// Adds `read` (an Outcome::NoPage) to the run's page failures.
void NotePageFailure(HarvestRun& run, PageKind kind, const std::string& subject,
                     const std::string& url, const PageRead& read, int csvLine);

// Writes `line` (code-page-932 bytes) and CR LF to the output file. A failed
// write is noted in HarvestRun::failure and stops the run.
bool WriteCsvLine(HarvestRun& run, const std::string& line);

}  // namespace teebasket::detail
