// RunEndCode: the code with which the window ends a run, and the code that
// the engine's account of a run gives when nobody stopped it. No Qt.
#pragma once

#include <cstdint>

#include "RunOutcome.h"

namespace teebasket {

// The end codes, written only by the window. TFrmMain names them as its own.
struct RunEndCodes {
    enum EndCode : std::uint32_t {
        kEndCompleted = 0,       // rows written (also while the run goes and nobody stopped it)
        kEndNothingFound = 1,    // the run wrote no row
        kEndCancelled = 2,       // the user confirmed Cancel
        kEndFailed = 3,          // the run could not do its work (HarvestReport::failure)
        kEndClosing = 5,         // a close confirmed after the run had ended
        kEndClosingStopped = 6,  // a close confirmed during the run, which was asked to stop
        kEndUnreachable = 9,     // the portal could not be reached
    };
};

// The end code of a run that ended by itself: a stopped run whose stop the
// window did not ask for, or that the portal ended, counts by its rows.
RunEndCodes::EndCode EndCodeOf(const RunOutcome& outcome);

}  // namespace teebasket
