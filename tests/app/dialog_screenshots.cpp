// teebasket-dialog-screenshots: pictures of the window's Japanese dialogs, as
// the program shows them (scripts/screenshot runs it):
//   screenshot-message-box.png      the question at the end of a run
//   screenshot-save-dialog.png      the save dialog with its file types
//   screenshot-resume-question.png  再開確認, at Start
//   screenshot-pages-not-read.png   the end of a run with its pages not read
//                                   listed behind the details button, opened
//   screenshot-portal-settings.png  接続先の設定 after a connection test
//                                   against a closed port
//
// usage: teebasket-dialog-screenshots FOLDER
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <cstdio>
#include <functional>

#include "MECSUtils.h"
#include "TestSupport.h"
#include "Zererav.h"
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
    return BuildMessageBox(nullptr, window::QtText(message.text), window::QtText(message.caption),
                           MessageBoxFlags(message), window::QtText(message.details));
}

// The question at the end of a finished run.
flow::Message CompletedMessage(const HarvestReport& report) {
    flow::FailureWording wording;
    wording.pagesNotRead = [](const std::vector<PageFailure>& failures) {
        return window::Utf8Text(window::PagesNotReadText(failures));
    };
    return *flow::EndOfRunFor(flow::kEndCompleted, HarvestRequest{}, report, "", wording).message;
}

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

bool SavePortalSettings(const QString& output) {
    const test::TempDir folder;  // not QTemporaryDir, which crashes under Wine
    const std::filesystem::path data = folder.path();
    const test::ClosedLoopbackPort closed;
    TPortalSettingsDialog dialog(data / "golf.ini", DefaultPortalSettings(), 12, data / "tmp.dat",
                                 FetchOptions{});
    QSignalSpy tested(&dialog, &TPortalSettingsDialog::connectionTestFinished);
    const auto test = [&dialog, &closed] {
        const QString host = QString::fromStdString(closed.host());
        dialog.findChild<QLineEdit*>(QStringLiteral("editListingHost"))->setText(host);
        dialog.findChild<QLineEdit*>(QStringLiteral("editBookingHost"))->setText(host);
        dialog.findChild<QPushButton*>(QStringLiteral("btnConnectionTest"))->click();
    };
    return Save(
        dialog, output, [&tested] { return tested.count() == 1; }, test);
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

    const std::unique_ptr<QMessageBox> resume = BuildBox(flow::ResumeQuestion());
    saved =
        Save(*resume, pictures.filePath(QStringLiteral("screenshot-resume-question.png"))) && saved;
    saved =
        SaveEndOfRun(pictures.filePath(QStringLiteral("screenshot-pages-not-read.png"))) && saved;
    saved =
        SavePortalSettings(pictures.filePath(QStringLiteral("screenshot-portal-settings.png"))) &&
        saved;
    return saved ? 0 : 1;
}
