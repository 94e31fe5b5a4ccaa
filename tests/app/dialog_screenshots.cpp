// teebasket-dialog-screenshots: pictures of the window's Japanese dialogs, as
// the program shows them: the question at the end of a run and the save
// dialog (scripts/screenshot runs it).
//
// usage: teebasket-dialog-screenshots MESSAGE-BOX.png SAVE-DIALOG.png
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <functional>

#include "Zererav.h"
#include "window_internal.h"

using namespace teebasket;

namespace {

// Shows `widget` and saves its picture once `ready` holds (within 10 s).
bool Save(
    QWidget& widget, const QString& output,
    const std::function<bool()>& ready = [] { return true; }) {
    widget.show();
    if (!QTest::qWaitForWindowExposed(&widget) || !QTest::qWaitFor(ready, 10000)) {
        std::fprintf(stderr, "%s: the window was not ready in time\n", qPrintable(output));
        widget.hide();
        return false;
    }
    const bool saved = widget.grab().save(output, "PNG");
    std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "saved" : "could not save",
                 qPrintable(output));
    widget.hide();
    return saved;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    InstallJapaneseTranslations(application);
    const QStringList args = QApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr,
                     "usage: teebasket-dialog-screenshots MESSAGE-BOX.png SAVE-DIALOG.png\n");
        return 2;
    }

    const std::unique_ptr<QMessageBox> box =
        BuildMessageBox(nullptr, window::kTextCompleted, window::kCaptionCompleted,
                        kMbYesNo | kMbIconQuestion | kMbDefButton2 | kMbTopmost);
    bool saved = Save(*box, args[1]);

    // A folder with an earlier list and a folder of older ones.
    QTemporaryDir folder;
    QDir(folder.path()).mkdir(QStringLiteral("過去の一覧"));
    QFile earlier(folder.filePath(QStringLiteral("関東.csv")));
    saved = earlier.open(QIODevice::WriteOnly) && earlier.write("x") == 1 && saved;
    earlier.close();
    const std::unique_ptr<QFileDialog> dialog =
        BuildSaveDialog(nullptr, TSaveDialogRequest{window::kSaveDialogTitle, OutputTypeFilters(),
                                                    window::kDefaultFileName});
    dialog->setDirectory(folder.path());
    dialog->setViewMode(QFileDialog::Detail);
    dialog->selectFile(window::kDefaultFileName);
    dialog->resize(640, 400);
    // The file list fills in the background: wait for its two entries.
    const auto listed = [&dialog] {
        const auto* view = dialog->findChild<QAbstractItemView*>(QStringLiteral("treeView"));
        return view != nullptr && view->model() != nullptr &&
               view->model()->rowCount(view->rootIndex()) >= 2;
    };
    saved = Save(*dialog, args[2], listed) && saved;
    return saved ? 0 : 1;
}
