// What becomes of a run's files at its end, from how it ended, what was at
// the output path and what it wrote: one case of the table each.
#include <gtest/gtest.h>

#include "OutputTransaction.h"

namespace teebasket::detail {
namespace {

constexpr RunEnding kEveryEnding[] = {
    RunEnding::Finished,     RunEnding::Stopped,     RunEnding::PortalStoppedAnswering,
    RunEnding::NothingFound, RunEnding::Unreachable, RunEnding::Failed,
};

// A run of `ending` that wrote `rows` course lines into a new file.
FileOutcomeFacts RunOf(RunEnding ending, int rows, bool earlierFile) {
    return {.ending = ending, .earlierFile = earlierFile, .rowsWritten = rows};
}

FileOutcomeFacts Resumed(FileOutcomeFacts facts, ResumedFrom from, int kept) {
    facts.resumedFrom = from;
    facts.coursesKept = kept;
    return facts;
}

TEST(FileOutcomeTable, AFinishedRunPutsItsFileInPlaceWhateverWasThere) {
    for (const bool earlierFile : {false, true}) {
        SCOPED_TRACE(earlierFile);
        EXPECT_EQ(ChooseFileOutcome(RunOf(RunEnding::Finished, 12, earlierFile)),
                  FileOutcome::NewFileInPlace);
        for (const ResumedFrom from : {ResumedFrom::PartialFile, ResumedFrom::OutputFile}) {
            EXPECT_EQ(
                ChooseFileOutcome(Resumed(RunOf(RunEnding::Finished, 3, earlierFile), from, 9)),
                FileOutcome::ResumedFileInPlace);
            // Every course was kept: nothing was left to read.
            EXPECT_EQ(
                ChooseFileOutcome(Resumed(RunOf(RunEnding::Finished, 0, earlierFile), from, 9)),
                FileOutcome::ResumedFileInPlace);
        }
    }
}

// Every course page failed: each row is the earlier file's own row, so the
// finished file loses nothing and takes the place. When the pages failed to
// connect the portal stopped answering, and the earlier file stays.
TEST(FileOutcomeTable, EveryCoursePageFailedAndTheRowsAreTheEarlierFiles) {
    EXPECT_EQ(ChooseFileOutcome(RunOf(RunEnding::Finished, 5, true)), FileOutcome::NewFileInPlace);
    EXPECT_EQ(ChooseFileOutcome(RunOf(RunEnding::PortalStoppedAnswering, 5, true)),
              FileOutcome::PartialKept);
}

TEST(FileOutcomeTable, AStoppedRunsRowsTakeThePlaceOnlyWhenThatLosesNothing) {
    for (const RunEnding ending : {RunEnding::Stopped, RunEnding::PortalStoppedAnswering}) {
        SCOPED_TRACE(static_cast<int>(ending));
        EXPECT_EQ(ChooseFileOutcome(RunOf(ending, 4, false)), FileOutcome::NewFileInPlace);
        EXPECT_EQ(ChooseFileOutcome(RunOf(ending, 4, true)), FileOutcome::PartialKept);
        // Continuing the output file itself: every line of it is in the
        // partial file.
        EXPECT_EQ(ChooseFileOutcome(Resumed(RunOf(ending, 4, true), ResumedFrom::OutputFile, 7)),
                  FileOutcome::ResumedFileInPlace);
        // Continuing a partial file: the file at the path is another one.
        EXPECT_EQ(ChooseFileOutcome(Resumed(RunOf(ending, 4, true), ResumedFrom::PartialFile, 7)),
                  FileOutcome::PartialKept);
        EXPECT_EQ(ChooseFileOutcome(Resumed(RunOf(ending, 4, false), ResumedFrom::PartialFile, 7)),
                  FileOutcome::ResumedFileInPlace);
    }
}

TEST(FileOutcomeTable, WithoutACourseAnEarlierFileStaysAndOnlyTheWindowGetsAHeaderFile) {
    for (const RunEnding ending :
         {RunEnding::NothingFound, RunEnding::Unreachable, RunEnding::Stopped}) {
        SCOPED_TRACE(static_cast<int>(ending));
        FileOutcomeFacts window = RunOf(ending, 0, true);
        window.headerFileWhenEmpty = true;
        EXPECT_EQ(ChooseFileOutcome(window), FileOutcome::LeftAsBefore);
        window.earlierFile = false;
        EXPECT_EQ(ChooseFileOutcome(window), FileOutcome::HeaderOnlyFile);
        // A partial file continued without a course is left as it was.
        EXPECT_EQ(ChooseFileOutcome(Resumed(window, ResumedFrom::PartialFile, 0)),
                  FileOutcome::LeftAsBefore);

        EXPECT_EQ(ChooseFileOutcome(RunOf(ending, 0, false)), FileOutcome::LeftAsBefore);
        EXPECT_EQ(ChooseFileOutcome(RunOf(ending, 0, true)), FileOutcome::LeftAsBefore);
    }
}

TEST(FileOutcomeTable, AFailedRunLeavesThePathAndKeepsAPartialFileOnlyToContinue) {
    for (const bool earlierFile : {false, true}) {
        SCOPED_TRACE(earlierFile);
        FileOutcomeFacts failed = RunOf(RunEnding::Failed, 0, earlierFile);
        failed.headerFileWhenEmpty = true;
        EXPECT_EQ(ChooseFileOutcome(failed), FileOutcome::LeftAsBefore);
        failed.rowsWritten = 6;
        EXPECT_EQ(ChooseFileOutcome(failed), FileOutcome::PartialKept);
        EXPECT_EQ(ChooseFileOutcome(Resumed(RunOf(RunEnding::Failed, 0, earlierFile),
                                            ResumedFrom::OutputFile, 3)),
                  FileOutcome::PartialKept);
    }
}

TEST(FileOutcomeTable, LinesToStandardOutputStayThereHoweverTheRunEnded) {
    for (const RunEnding ending : kEveryEnding) {
        FileOutcomeFacts facts = RunOf(ending, 8, false);
        facts.toStandardOutput = true;
        EXPECT_EQ(ChooseFileOutcome(facts), FileOutcome::StandardOutput)
            << static_cast<int>(ending);
    }
}

}  // namespace
}  // namespace teebasket::detail
