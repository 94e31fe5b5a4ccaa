#include "RunOutcome.h"

namespace teebasket {

namespace {

OutcomeKind KindOf(const HarvestReport& report) {
    const bool pagesFailed = !report.pageFailures.empty();
    switch (report.ending) {
        case RunEnding::Finished:
            return pagesFailed ? OutcomeKind::PagesNotRead : OutcomeKind::EveryCourseRead;
        case RunEnding::NothingFound:
            return pagesFailed ? OutcomeKind::NothingFoundPagesNotRead : OutcomeKind::NothingFound;
        case RunEnding::Stopped:
            return OutcomeKind::Stopped;
        case RunEnding::PortalStoppedAnswering:
            return OutcomeKind::PortalStoppedAnswering;
        case RunEnding::Unreachable:
            return OutcomeKind::Unreachable;
        case RunEnding::Failed:
            return OutcomeKind::Failed;
    }
    return OutcomeKind::Failed;
}

// Whether a file put in place still lacks courses: the run stopped early, or
// some page (a listing among them) was not read.
bool EndedShortOfEveryCourse(const HarvestReport& report) {
    return report.ending == RunEnding::Stopped ||
           report.ending == RunEnding::PortalStoppedAnswering || !report.pageFailures.empty() ||
           !report.everyListingRead;
}

}  // namespace

bool FileInPlace(FileOutcome files) {
    switch (files) {
        case FileOutcome::NewFileInPlace:
        case FileOutcome::ResumedFileInPlace:
            return true;
        case FileOutcome::NotTouched:
        case FileOutcome::HeaderOnlyFile:
        case FileOutcome::PartialKept:
        case FileOutcome::LeftAsBefore:
        case FileOutcome::StandardOutput:
            return false;
    }
    return false;
}

bool HasCourses(const HarvestReport& report) {
    return report.rowsWritten + report.coursesKept > 0;
}

RunOutcome OutcomeOf(const HarvestReport& report) {
    RunOutcome outcome;
    outcome.kind = KindOf(report);
    outcome.files = report.files;
    outcome.failure = report.failure.kind;
    outcome.pagesNotRead = static_cast<int>(report.pageFailures.size());
    outcome.hasCourses = HasCourses(report);
    const bool inPlace = FileInPlace(report.files);
    outcome.coursesLeftToRead =
        report.files == FileOutcome::PartialKept || (inPlace && EndedShortOfEveryCourse(report));
    outcome.everyCourseInPlace =
        inPlace && outcome.kind == OutcomeKind::EveryCourseRead && report.everyListingRead;
    return outcome;
}

}  // namespace teebasket
