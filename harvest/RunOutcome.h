// RunOutcome: the account of a finished run that both front ends read, so
// that the window's end code and teebasket-cli's exit code, and the last-run
// record, are each decided from the same value.
#pragma once

#include "HarvestRun.h"

namespace teebasket {

// How a run ended, as the front ends tell it apart.
enum class OutcomeKind {
    EveryCourseRead,           // every prefecture walked, every page read, some course has its line
    PagesNotRead,              // every prefecture walked, some course has its line, pages failed
    NothingFound,              // no course line, every page read: the portal lists none
    NothingFoundPagesNotRead,  // no course line, and some pages could not be read
    Stopped,                   // the caller asked for a stop
    PortalStoppedAnswering,    // some course has its line, then the portal stopped answering
    Unreachable,               // no course line: the portal could not be reached
    Failed,                    // the run could not do its work: `failure` says why
};

struct RunOutcome {
    OutcomeKind kind = OutcomeKind::EveryCourseRead;
    FileOutcome files = FileOutcome::NotTouched;
    RunFailureKind failure = RunFailureKind::None;
    int pagesNotRead = 0;
    bool hasCourses = false;  // some course has its line, written by this run or kept
    // The run's file lacks courses that a later run can still read into it:
    // the rows stay in the partial file, or a file was put in place after a
    // stop, pages that failed or listings not all read.
    bool coursesLeftToRead = false;
    // A file with every course read took the output's place.
    bool everyCourseInPlace = false;
};

// The output file took its place: a new file, or a resumed one.
bool FileInPlace(FileOutcome files);

// Some course has its line: written by this run or kept from an earlier file.
bool HasCourses(const HarvestReport& report);

// The account of the run that `report` describes, read after RunEnded.
RunOutcome OutcomeOf(const HarvestReport& report);

}  // namespace teebasket
