// The window's end code of a run that ended by itself, from the engine's
// account of the run.
#include "RunEndCode.h"

#include <gtest/gtest.h>

namespace teebasket {
namespace {

TEST(EndCodeOf, OneCodePerKindOfOutcome) {
    const std::pair<OutcomeKind, RunEndCodes::EndCode> table[] = {
        {OutcomeKind::EveryCourseRead, RunEndCodes::kEndCompleted},
        {OutcomeKind::PagesNotRead, RunEndCodes::kEndCompleted},
        {OutcomeKind::Stopped, RunEndCodes::kEndCompleted},
        {OutcomeKind::NothingFound, RunEndCodes::kEndNothingFound},
        {OutcomeKind::NothingFoundPagesNotRead, RunEndCodes::kEndNothingFound},
        {OutcomeKind::PortalStoppedAnswering, RunEndCodes::kEndUnreachable},
        {OutcomeKind::Unreachable, RunEndCodes::kEndUnreachable},
        {OutcomeKind::Failed, RunEndCodes::kEndFailed},
    };
    for (const auto& [kind, code] : table) {
        RunOutcome outcome;
        outcome.kind = kind;
        EXPECT_EQ(EndCodeOf(outcome), code) << static_cast<int>(kind);
    }
}

}  // namespace
}  // namespace teebasket
