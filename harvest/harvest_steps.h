// Steps shared by the listing crawl and the detail extraction. Internal to
// the harvest engine.
#pragma once

#include <string>
#include <vector>

#include "Unithread.h"

namespace teebasket::detail {

// Downloads `url` into the run's scratch file, notes a failure to reach the
// portal in the run, then pauses for `pause` (shorter when a stop is
// requested). Returns the page, or an empty one when nothing was stored.
PageText FetchPageLines(HarvestContext& context, const std::string& url,
                        std::chrono::milliseconds pause);

// Writes `line` (code-page-932 bytes) and CR LF to the output file and flushes
// it, so that a finished row survives whatever happens next. A failed write
// is noted in HarvestRun::failure and stops the run.
bool WriteCsvLine(HarvestRun& run, const std::string& line);

}  // namespace teebasket::detail
