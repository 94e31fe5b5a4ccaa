// Unithread: the harvest engine. One run walks the chosen prefectures in list
// order, crawls each prefecture's listing pages, extracts every course's
// detail page into a CourseRecord and writes one line per course, in the
// run's format, into the output file's transaction. A page that fails on the way is asked for
// again; one that cannot be read is named in the run's report.
//
// The engine has no user interface and no global state: the caller makes a
// HarvestRun from a HarvestRequest, owns the CrawlPace and the observer, and
// reads the HarvestReport. Texts taken from pages (and the prefecture display
// names that the engine hands to its observer) are code-page-932 bytes in
// std::string.
#pragma once

#include "CourseRecord.h"
#include "CuttingRules.h"
#include "EarlierFile.h"
#include "HarvestConfig.h"
#include "HarvestFailure.h"
#include "HarvestRun.h"
#include "JournalFile.h"
#include "Prefectures.h"
#include "RunOutcome.h"
#include "StopFlag.h"
#include "Unicommon.h"
