// ScheduleAlerts: when a scheduled run needs someone's attention. Pure rules
// over the figures of a finished run and its comparison with the run before.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace teebasket::schedule {

// The changes since the previous run of the same selection.
struct ChangeFigures {
    int previousCourses = 0;  // courses the previous run could compare (not failed)
    int changed = 0;
    int removed = 0;
};

struct RunFigures {
    bool fileInPlace = false;              // the run put its file in the output's place
    int coursesInFile = 0;                 // course lines of that file
    int coursePagesTried = 0;              // course pages this run asked for
    int coursePagesUnread = 0;             // of those, pages that could not be read
    int pagesWithoutName = 0;              // pages read that gave no course name
    std::optional<ChangeFigures> changes;  // nothing: no previous run to compare with
};

enum class Alert {
    WroteNothing,       // no file put in place, or one without a course
    CoursePagesUnread,  // more than a tenth of the course pages could not be read
    ManyChanged,        // more than a third of the previous courses changed or gone
    NamesMissing,       // more than a tenth of the pages read gave no name: the layout changed
};

// The alerts that `figures` raise, in the order above; none when all is well.
std::vector<Alert> AlertsFor(const RunFigures& figures);

// "wrote-nothing", "pages-unread", "many-changed", "names-missing": the
// alert's word in the state file.
std::string AlertKey(Alert alert);
std::optional<Alert> AlertOfKey(const std::string& key);

// One line for people, Japanese then English (UTF-8).
std::string AlertText(Alert alert);

}  // namespace teebasket::schedule
