// teebasket-dialog-screenshots: pictures of the window's Japanese dialogs, as
// the program shows them (scripts/screenshot runs it):
//   screenshot-message-box.png      the question at the end of a run
//   screenshot-save-dialog.png      the save dialog with its file types
//   screenshot-resume-question.png  再開確認, at Start
//   screenshot-stop-notice.png      the notice after a stop: where the rows are
//   screenshot-retry.png            the window while a page is asked for again
//                                   (a page of the demo portal that answers 503)
//   screenshot-pages-not-read.png   the end of a run with its pages not read
//                                   listed behind the details button, opened
//   screenshot-portal-settings.png  接続先の設定 after a connection test
//                                   whose listing host answers (a demo
//                                   portal) and whose booking host is a
//                                   closed port
//   screenshot-schedules.png        定期取得 with two schedules, one whose
//                                   last run needs attention
//   screenshot-schedule-add.png     定期取得の追加, for a third
//
// usage: teebasket-dialog-screenshots FOLDER
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <cstdio>
#include <functional>

#include "MECSUtils.h"
#include "ScheduleDialog.h"
#include "ScheduleState.h"
#include "TestSupport.h"
#include "WindowTestSupport.h"
#include "Zererav.h"
#include "path_text.h"
#include "window_internal.h"

using namespace teebasket;

namespace {

// Shows `widget` and saves its picture once `ready` holds (within 10 s);
// `prepare` runs once it is shown.
bool Save(
    QWidget& widget, const QString& output,
    const std::function<bool()>& ready = [] { return true; },
    const std::function<void()>& prepare = [] {}) {
    widget.show();
    if (!QTest::qWaitForWindowExposed(&widget)) {
        std::fprintf(stderr, "%s: the window was not shown\n", qPrintable(output));
        return false;
    }
    prepare();
    if (!QTest::qWaitFor(ready, 10000)) {
        std::fprintf(stderr, "%s: the window was not ready in time\n", qPrintable(output));
        widget.hide();
        return false;
    }
    // Lets a layout that changed settle before the picture: no wait, the
    // events already posted are handled.
    QApplication::processEvents();
    const bool saved = widget.grab().save(output, "PNG");
    std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "saved" : "could not save",
                 qPrintable(output));
    widget.hide();
    return saved;
}

PageFailure Failure(PageKind kind, const char* subjectUtf8, const char* nameUtf8, long status,
                    FetchError error, const std::string& url) {
    PageFailure failure;
    failure.kind = kind;
    failure.problem = status != 0 ? PageProblem::HttpStatus : PageProblem::Fetch;
    failure.httpStatus = status;
    failure.error = error;
    failure.subject = UTF8ToAnsi(subjectUtf8);
    failure.courseName = UTF8ToAnsi(nameUtf8);
    failure.url = url;
    return failure;
}

std::unique_ptr<QMessageBox> BuildBox(const flow::Message& message) {
    QStringList buttonTexts;
    for (const std::string& button : message.buttonTexts) {
        buttonTexts << window::QtText(button);
    }
    return BuildMessageBox(nullptr, window::QtText(message.text), window::QtText(message.caption),
                           MessageBoxFlags(message), window::QtText(message.details), buttonTexts);
}

flow::FailureWording Wording() {
    flow::FailureWording wording;
    wording.pagesNotRead = [](const std::vector<PageFailure>& failures) {
        return window::Utf8Text(window::PagesNotReadText(failures));
    };
    return wording;
}

// A run of 関東 into 関東.csv.
HarvestRequest KantoRequest() {
    HarvestRequest request;
    request.output.path = "/home/user/関東.csv";
    return request;
}

// The question at the end of a finished run.
flow::Message CompletedMessage(HarvestReport report) {
    report.files = FileOutcome::NewFileInPlace;
    report.linesInFile = 140;
    return *flow::EndOfRunFor(flow::kEndCompleted, KantoRequest(), report, "", Wording()).message;
}

// The notice after a stop beside an earlier file.
flow::Message StopNotice() {
    HarvestReport report;
    report.files = FileOutcome::PartialKept;
    report.rowsWritten = 12;
    report.partialPath = "/home/user/関東.csv.partial";
    return *flow::EndOfRunFor(flow::kEndCancelled, KantoRequest(), report, "", Wording()).message;
}

flow::Message ResumeQuestionOfAStoppedRun() {
    flow::LastRunRecord last;
    last.courses = 12;
    last.coursesListed = 20;
    last.ended = flow::ClockTime{2026, 12, 9, 14, 50};
    return flow::ResumeQuestion(last);
}

#ifndef _WIN32
// The window while a course page that answers 503 is asked for the third
// time: the run waits inside the window's call while the picture is taken.
bool SaveRetry(const QString& output) {
    test::TempDir pages;
    const auto card = [](const std::string& id, const std::string& name) {
        return "<h2 class=\"gf-card-name\">\n<a href=\"/guide/disp/c_id/" + id + "/?rt=1\">" +
               name + "</a></h2>\n";
    };
    test::WriteFileBytes(
        pages.path() / "listing" / "tokyo.html",
        card("1001", "青葉") + card("x-status-503", "若葉") + card("1003", "紅葉"));
    test::WriteFileBytes(pages.path() / "detail" / "1001.html", "<html></html>");
    const test::PortalProcess portal({.pagesDir = pages.path()});
    const test::TempDir folder;  // not QTemporaryDir, which crashes under Wine
    testing::ScriptedDialogs dialogs;
    dialogs.AnswerSave(QString::fromStdU16String((folder.path() / u"関東.csv").u16string()));
    TWindowEnvironment environment;
    environment.dataFolder = folder.path();
    environment.settings.portal.listingHost = portal.host();
    environment.settings.portal.bookingHost = portal.host();
    environment.settings.portal.caCertificate = portal.certificate();
    environment.settings.pauses = {std::chrono::milliseconds(0), std::chrono::milliseconds(0)};
    environment.dialogs = &dialogs;
    TFrmMain window(std::move(environment));
    bool saved = false;
    QObject::connect(&window, &TFrmMain::retryWaiting, &window, [&] {
        if (window.report().retry.retry != 2) {
            return;
        }
        window.repaint();
        saved = window.grab().save(output, "PNG");
        std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "saved" : "could not save",
                     qPrintable(output));
        window.btnCancelClick();  // answered from the script below
    });
    dialogs.AnswerMessage(kIdYes);  // 中断確認
    dialogs.AnswerMessage(kIdOk);   // where the rows are
    window.show();
    if (!QTest::qWaitForWindowExposed(&window) ||
        !QTest::qWaitFor([&window] { return window.settingsLoaded(); }, 10000)) {
        std::fprintf(stderr, "%s: the window was not shown\n", qPrintable(output));
        return false;
    }
    auto* list = window.findChild<QListWidget*>(QStringLiteral("lstArea"));
    list->item(12)->setCheckState(Qt::Checked);
    list->scrollToItem(list->item(12));
    window.btnActionClick();
    const bool ended =
        QTest::qWaitFor([&window] { return window.phase() == TFrmMain::RunPhase::Idle; }, 60000);
    return saved && ended;
}
#endif

bool SaveEndOfRun(const QString& output) {
    const std::string portal = "https://127.0.0.1:48443";
    const std::vector<PageFailure> failures{
        Failure(PageKind::Listing, "北海道", "", 503, FetchError::None,
                portal + "/doc/area/hokkaido/?sort=kana&page=1"),
        Failure(PageKind::Detail, "130407", "青葉カントリー倶楽部 東コース", 0,
                FetchError::TimedOut, portal + "/guide/disp/c_id/130407"),
        Failure(PageKind::Detail, "131122", "", 404, FetchError::None,
                portal + "/guide/disp/c_id/131122"),
    };
    HarvestReport report;
    report.pageFailures = failures;
    const std::unique_ptr<QMessageBox> box = BuildBox(CompletedMessage(report));
    const auto openDetails = [&box] {
        for (QAbstractButton* button : box->buttons()) {
            if (box->buttonRole(button) == QMessageBox::ActionRole) {
                button->click();  // the details button
            }
        }
    };
    return Save(
        *box, output, [] { return true; }, openDetails);
}

#ifndef _WIN32
bool SavePortalSettings(const QString& output) {
    const test::TempDir folder;  // not QTemporaryDir, which crashes under Wine
    const std::filesystem::path data = folder.path();
    const test::PortalProcess portal({.extraArgs = {"--courses-per-prefecture", "20"}});
    const test::ClosedLoopbackPort closed;
    TPortalSettingsDialog dialog(data / "golf.ini", DefaultPortalSettings(), 12, data / "tmp.dat",
                                 FetchOptions{});
    QSignalSpy tested(&dialog, &TPortalSettingsDialog::connectionTestFinished);
    const auto field = [&dialog](const char* name) {
        return dialog.findChild<QLineEdit*>(QString::fromLatin1(name));
    };
    const auto test = [&] {
        field("editListingHost")->setText(QString::fromStdString(portal.host()));
        field("editBookingHost")->setText(QString::fromStdString(closed.host()));
        field("editCACertificate")->setText(QString::fromStdString(portal.certificate().string()));
        dialog.findChild<QPushButton*>(QStringLiteral("btnConnectionTest"))->click();
    };
    return Save(
        dialog, output, [&tested] { return tested.count() == 1; }, test);
}
#endif

// Two schedules, the weekly one's last run needing attention, in a data
// folder of their own; their units go to the folder too, unregistered.
bool SaveSchedules(const QString& output, const QString& addOutput) {
    const test::TempDir folder;
    const std::filesystem::path data = folder.path();
#ifndef _WIN32
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((data / "config").string()));
#endif
    TScheduleContext context;
    context.dataFolder = data;
    context.iniFile = data / "golf.ini";
    context.cliProgram = data / "teebasket-cli";
    context.registerWithScheduler = false;
    const auto add = [&](const char* name, schedule::Cadence cadence, int day, int hour,
                         std::vector<int> rows, const char* file) {
        flow::ScheduleForm form;
        form.name = name;
        form.cadence = cadence;
        form.monthDay = day;
        form.weekday = day;
        form.hour = hour;
        form.rows = std::move(rows);
        form.output = PathText(data / PathFromUtf8(file));
        form.iniFile = context.iniFile;
        schedule::Schedule made;
        return flow::ScheduleOfForm(form, made).empty() &&
               schedule::AddSchedule(made, {context.cliProgram, data}, false).outcome ==
                   schedule::StepOutcome::Done;
    };
    bool saved =
        add("kanto", schedule::Cadence::Monthly, 1, 3, {7, 8, 9, 10, 11, 12, 13}, "関東.csv") &&
        add("tokyo-weekly", schedule::Cadence::Weekly, 1, 6, {12}, "東京.xlsx");
    const schedule::ScheduleResult result{"2026-12-07T06:31:12+09:00",
                                          10,
                                          "",
                                          {schedule::Alert::ManyChanged},
                                          data / PathFromUtf8("東京.changes.xlsx")};
    std::string problem;
    saved = schedule::WriteWholeFile(
                schedule::StateFilePath(schedule::SchedulesFolderIn(data), "tokyo-weekly"),
                schedule::ResultFileText(result), problem) &&
            saved;
    TScheduleDialog dialog(context);
    dialog.resize(900, 260);
    saved = Save(dialog, output) && saved;
    context.rows = {26, 27};
    context.output = PathText(data / PathFromUtf8("近畿.csv"));
    TScheduleAddDialog adding(context, {});
    adding.nameEdit()->setText(QStringLiteral("kinki"));
    return Save(adding, addOutput) && saved;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    InstallJapaneseTranslations(application);
    const QStringList args = QApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: teebasket-dialog-screenshots FOLDER\n");
        return 2;
    }
    const QDir pictures(args[1]);

    const std::unique_ptr<QMessageBox> box = BuildBox(CompletedMessage(HarvestReport{}));
    bool saved = Save(*box, pictures.filePath(QStringLiteral("screenshot-message-box.png")));

    // A folder with an earlier list and a folder of older ones.
    const test::TempDir folder;
    const QString folderPath = QString::fromStdU16String(folder.path().u16string());
    QDir(folderPath).mkdir(QStringLiteral("過去の一覧"));
    QFile earlier(QDir(folderPath).filePath(QStringLiteral("関東.csv")));
    saved = earlier.open(QIODevice::WriteOnly) && earlier.write("x") == 1 && saved;
    earlier.close();
    const std::unique_ptr<QFileDialog> dialog = BuildSaveDialog(
        nullptr, TSaveDialogRequest{window::QtText(flow::kSaveDialogTitle), OutputTypeFilters(),
                                    window::QtText(flow::kDefaultFileName)});
    dialog->setDirectory(folderPath);
    dialog->setViewMode(QFileDialog::Detail);
    dialog->selectFile(window::QtText(flow::kDefaultFileName));
    dialog->resize(640, 400);
    // The file list fills in the background: wait for its two entries.
    const auto listed = [&dialog] {
        const auto* view = dialog->findChild<QAbstractItemView*>(QStringLiteral("treeView"));
        return view != nullptr && view->model() != nullptr &&
               view->model()->rowCount(view->rootIndex()) >= 2;
    };
    saved =
        Save(*dialog, pictures.filePath(QStringLiteral("screenshot-save-dialog.png")), listed) &&
        saved;

    const std::unique_ptr<QMessageBox> resume = BuildBox(ResumeQuestionOfAStoppedRun());
    saved =
        Save(*resume, pictures.filePath(QStringLiteral("screenshot-resume-question.png"))) && saved;
    const std::unique_ptr<QMessageBox> stopped = BuildBox(StopNotice());
    saved =
        Save(*stopped, pictures.filePath(QStringLiteral("screenshot-stop-notice.png"))) && saved;
#ifndef _WIN32
    // Pictured against a demo portal of their own, which a Windows program
    // under Wine cannot start.
    saved = SaveRetry(pictures.filePath(QStringLiteral("screenshot-retry.png"))) && saved;
#endif
    saved =
        SaveEndOfRun(pictures.filePath(QStringLiteral("screenshot-pages-not-read.png"))) && saved;
#ifndef _WIN32
    saved =
        SavePortalSettings(pictures.filePath(QStringLiteral("screenshot-portal-settings.png"))) &&
        saved;
#endif
    saved = SaveSchedules(pictures.filePath(QStringLiteral("screenshot-schedules.png")),
                          pictures.filePath(QStringLiteral("screenshot-schedule-add.png"))) &&
            saved;
    return saved ? 0 : 1;
}
