#include "ScheduleAlerts.h"

namespace teebasket::schedule {

namespace {

// Whether `part` is more than `whole` / `denominator`, in whole numbers.
bool MoreThanShare(int part, int whole, int denominator) {
    return whole > 0 && part * denominator > whole;
}

}  // namespace

std::vector<Alert> AlertsFor(const RunFigures& figures) {
    std::vector<Alert> alerts;
    if (!figures.fileInPlace || figures.coursesInFile == 0) {
        alerts.push_back(Alert::WroteNothing);
    }
    if (MoreThanShare(figures.coursePagesUnread, figures.coursePagesTried, 10)) {
        alerts.push_back(Alert::CoursePagesUnread);
    }
    if (figures.changes && MoreThanShare(figures.changes->changed + figures.changes->removed,
                                         figures.changes->previousCourses, 3)) {
        alerts.push_back(Alert::ManyChanged);
    }
    const int pagesRead = figures.coursePagesTried - figures.coursePagesUnread;
    if (MoreThanShare(figures.pagesWithoutName, pagesRead, 10)) {
        alerts.push_back(Alert::NamesMissing);
    }
    return alerts;
}

std::string AlertKey(Alert alert) {
    switch (alert) {
        case Alert::WroteNothing:
            return "wrote-nothing";
        case Alert::CoursePagesUnread:
            return "pages-unread";
        case Alert::ManyChanged:
            return "many-changed";
        case Alert::NamesMissing:
            return "names-missing";
    }
    return {};
}

std::optional<Alert> AlertOfKey(const std::string& key) {
    for (const Alert alert :
         {Alert::WroteNothing, Alert::CoursePagesUnread, Alert::ManyChanged, Alert::NamesMissing}) {
        if (AlertKey(alert) == key) {
            return alert;
        }
    }
    return std::nullopt;
}

std::string AlertText(Alert alert) {
    switch (alert) {
        case Alert::WroteNothing:
            return "ファイルを書き込めませんでした。 / The run wrote no file.";
        case Alert::CoursePagesUnread:
            return "1割を超えるコースのページを読めませんでした。 / More than a tenth of the "
                   "course pages could not be read.";
        case Alert::ManyChanged:
            return "3分の1を超えるコースが変更または掲載終了です。 / More than a third of the "
                   "courses changed or are gone.";
        case Alert::NamesMissing:
            return "1割を超えるページで名称を読めませんでした（ページの構成が変わった可能性があり"
                   "ます）。 / More than a tenth of the pages gave no name: the portal's layout "
                   "may have changed.";
    }
    return {};
}

}  // namespace teebasket::schedule
