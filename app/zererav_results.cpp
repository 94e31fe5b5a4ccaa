// The main window's way to the window 取得結果.
#include <QDesktopServices>
#include <QFileInfo>
#include <QListWidget>
#include <QUrl>

#include "ResultsWindow.h"
#include "Zererav.h"
#include "window_internal.h"

namespace teebasket {

TResultsWindow* TFrmMain::resultsWindow() const {
    return resultsWindow_.data();
}

void TFrmMain::ShowResults(const QString& file) {
    if (resultsWindow_.isNull()) {
        resultsWindow_ = new TResultsWindow(*environment_.dialogs, environment_.dataFolder,
                                            &QDesktopServices::openUrl, this);
    } else {
        resultsWindow_->ReloadHistory();
    }
    if (!file.isEmpty() && QFileInfo(file).isFile()) {
        // The selection of the run that wrote the file, else the one ticked.
        std::vector<int> codes;
        for (const int row : request() != nullptr ? request()->selection.rows : TickedRows()) {
            codes.push_back(row + 1);
        }
        const std::filesystem::path path = window::ToPath(file);
        resultsWindow_->OpenFile(path, PreviousRunRecords(environment_.dataFolder, codes, path));
    }
    resultsWindow_->show();
    resultsWindow_->raise();
    resultsWindow_->activateWindow();
}

}  // namespace teebasket
