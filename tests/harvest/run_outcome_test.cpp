// The account of a run that both front ends read.
#include "RunOutcome.h"

#include <gtest/gtest.h>

namespace teebasket {
namespace {

HarvestReport Ended(RunEnding ending, FileOutcome files, int rows, int pagesNotRead = 0) {
    HarvestReport report;
    report.ending = ending;
    report.files = files;
    report.rowsWritten = rows;
    report.pageFailures.resize(static_cast<std::size_t>(pagesNotRead));
    report.everyListingRead = ending != RunEnding::Stopped;
    return report;
}

TEST(OutcomeOf, TheKindTellsPagesNotReadApart) {
    const struct {
        RunEnding ending;
        int pagesNotRead;
        OutcomeKind kind;
    } cases[] = {
        {RunEnding::Finished, 0, OutcomeKind::EveryCourseRead},
        {RunEnding::Finished, 2, OutcomeKind::PagesNotRead},
        {RunEnding::NothingFound, 0, OutcomeKind::NothingFound},
        {RunEnding::NothingFound, 1, OutcomeKind::NothingFoundPagesNotRead},
        {RunEnding::Stopped, 1, OutcomeKind::Stopped},
        {RunEnding::PortalStoppedAnswering, 5, OutcomeKind::PortalStoppedAnswering},
        {RunEnding::Unreachable, 5, OutcomeKind::Unreachable},
        {RunEnding::Failed, 1, OutcomeKind::Failed},
    };
    for (const auto& c : cases) {
        const RunOutcome outcome =
            OutcomeOf(Ended(c.ending, FileOutcome::NewFileInPlace, 1, c.pagesNotRead));
        EXPECT_EQ(outcome.kind, c.kind) << static_cast<int>(c.ending);
        EXPECT_EQ(outcome.pagesNotRead, c.pagesNotRead);
    }
}

TEST(OutcomeOf, CoursesLeftToReadAndEveryCourseInPlace) {
    // A whole file in place.
    RunOutcome outcome = OutcomeOf(Ended(RunEnding::Finished, FileOutcome::ResumedFileInPlace, 0));
    EXPECT_FALSE(outcome.coursesLeftToRead);
    EXPECT_TRUE(outcome.everyCourseInPlace);
    // A file in place that lacks courses: pages not read, a stop, the portal gone.
    for (const HarvestReport& report :
         {Ended(RunEnding::Finished, FileOutcome::NewFileInPlace, 3, 1),
          Ended(RunEnding::Stopped, FileOutcome::NewFileInPlace, 3),
          Ended(RunEnding::PortalStoppedAnswering, FileOutcome::ResumedFileInPlace, 3)}) {
        outcome = OutcomeOf(report);
        EXPECT_TRUE(outcome.coursesLeftToRead) << static_cast<int>(report.ending);
        EXPECT_FALSE(outcome.everyCourseInPlace) << static_cast<int>(report.ending);
    }
    // Rows in the partial file, whatever the ending.
    EXPECT_TRUE(OutcomeOf(Ended(RunEnding::Failed, FileOutcome::PartialKept, 3)).coursesLeftToRead);
    // Nothing put in place leaves nothing to continue.
    for (FileOutcome files : {FileOutcome::NotTouched, FileOutcome::LeftAsBefore,
                              FileOutcome::HeaderOnlyFile, FileOutcome::StandardOutput}) {
        outcome = OutcomeOf(Ended(RunEnding::Stopped, files, 3));
        EXPECT_FALSE(outcome.coursesLeftToRead) << static_cast<int>(files);
        EXPECT_FALSE(outcome.everyCourseInPlace) << static_cast<int>(files);
    }
}

TEST(HasCourses, WrittenOrKept) {
    HarvestReport report;
    EXPECT_FALSE(HasCourses(report));
    report.coursesKept = 1;
    EXPECT_TRUE(HasCourses(report));
    EXPECT_TRUE(OutcomeOf(report).hasCourses);
    report = {};
    report.rowsWritten = 1;
    EXPECT_TRUE(HasCourses(report));
}

}  // namespace
}  // namespace teebasket
