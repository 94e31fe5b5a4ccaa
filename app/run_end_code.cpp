#include "RunEndCode.h"

namespace teebasket {

RunEndCodes::EndCode EndCodeOf(const RunOutcome& outcome) {
    switch (outcome.kind) {
        case OutcomeKind::EveryCourseRead:
        case OutcomeKind::PagesNotRead:
        case OutcomeKind::Stopped:
            return RunEndCodes::kEndCompleted;
        case OutcomeKind::NothingFound:
        case OutcomeKind::NothingFoundPagesNotRead:
            return RunEndCodes::kEndNothingFound;
        case OutcomeKind::PortalStoppedAnswering:
        case OutcomeKind::Unreachable:
            return RunEndCodes::kEndUnreachable;
        case OutcomeKind::Failed:
            return RunEndCodes::kEndFailed;
    }
    return RunEndCodes::kEndFailed;
}

}  // namespace teebasket
