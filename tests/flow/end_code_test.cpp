// The window's end code of a run that ended by itself, from the engine's
// account of the run.
#include "WindowFlow.h"

#include <gtest/gtest.h>

namespace teebasket {
namespace {

TEST(EndCodeOf, OneCodePerKindOfOutcome) {
    const std::pair<OutcomeKind, flow::EndCode> table[] = {
        {OutcomeKind::EveryCourseRead, flow::kEndCompleted},
        {OutcomeKind::PagesNotRead, flow::kEndCompleted},
        {OutcomeKind::Stopped, flow::kEndCompleted},
        {OutcomeKind::NothingFound, flow::kEndNothingFound},
        {OutcomeKind::NothingFoundPagesNotRead, flow::kEndNothingFound},
        {OutcomeKind::PortalStoppedAnswering, flow::kEndUnreachable},
        {OutcomeKind::Unreachable, flow::kEndUnreachable},
        {OutcomeKind::Failed, flow::kEndFailed},
    };
    for (const auto& [kind, code] : table) {
        RunOutcome outcome;
        outcome.kind = kind;
        EXPECT_EQ(flow::EndCodeOf(outcome), code) << static_cast<int>(kind);
    }
}

}  // namespace
}  // namespace teebasket
