// TFrmMain: the prefecture list, its select-all box and golf.ini.
#include <QCheckBox>
#include <QListWidget>
#include <QSignalBlocker>
#include <filesystem>

#include "HarvestConfig.h"
#include "ProfileFile.h"
#include "Zererav.h"
#include "window_internal.h"

namespace teebasket {

using namespace window;

namespace {

void SetTick(QListWidget* list, int row, bool ticked) {
    // Ticks set from code never count as the user's toggle.
    const QSignalBlocker quiet(list);
    list->item(row)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

bool IsTicked(const QListWidget* list, int row) {
    return list->item(row)->checkState() == Qt::Checked;
}

void SetSelectAllQuietly(QCheckBox* box, bool checked) {
    const QSignalBlocker detached(box);
    box->setChecked(checked);
}

}  // namespace

void TFrmMain::chkAreaClick() {
    const bool checked = chkArea->isChecked();
    for (int row = 0; row < lstArea->count(); ++row) {
        SetTick(lstArea, row, checked);
    }
    if (lstArea->count() > 0) {
        lstArea->setFocus();
    }
}

void TFrmMain::lstAreaClickCheck() {
    const bool everyRowTicked = TickedCount() == lstArea->count();
    if (chkArea->isChecked() && !everyRowTicked) {
        SetSelectAllQuietly(chkArea, false);
    } else if (!chkArea->isChecked() && everyRowTicked) {
        SetSelectAllQuietly(chkArea, true);
    }
}

int TFrmMain::TickedCount() const {
    int count = 0;
    for (int row = 0; row < lstArea->count(); ++row) {
        count += IsTicked(lstArea, row) ? 1 : 0;
    }
    return count;
}

std::vector<int> TFrmMain::TickedRows() const {
    std::vector<int> rows;
    for (int row = 0; row < lstArea->count(); ++row) {
        if (IsTicked(lstArea, row)) {
            rows.push_back(row);
        }
    }
    return rows;
}

void TFrmMain::LoadSettings() {
    settingsLoaded_ = true;
    const std::filesystem::path file = settingsPath();
    std::error_code error;
    int highlight = 0;
    if (std::filesystem::exists(file, error)) {
        // Only a "1" ticks a row; rows are never cleared here.
        const std::vector<int> rows = LoadSelectedRows(file);
        int ticked = 0;
        for (int row : rows) {
            if (row >= 0 && row < lstArea->count()) {
                SetTick(lstArea, row, true);
                ++ticked;
            }
        }
        if (ticked == lstArea->count()) {
            chkArea->setChecked(true);  // raises chkAreaClick, which moves the focus
        } else if (ticked > 0) {
            highlight = TickedRows().front();
        }
    }
    lstArea->setCurrentRow(highlight);
    lstArea->scrollToItem(lstArea->item(highlight));
}

void TFrmMain::SaveSettings() {
    const std::filesystem::path file = settingsPath();
    std::error_code error;
    if (!std::filesystem::is_directory(file.parent_path(), error)) {
        return;
    }
    std::vector<bool> ticked;
    for (int row = 0; row < lstArea->count(); ++row) {
        ticked.push_back(IsTicked(lstArea, row));
    }
    SettingsWriteFailure failure = WriteSetting(file, kConfigSection, kAreaKey, AreaValue(ticked));
    if (!failure && saveChoice_) {
        failure = flow::RememberSaveChoice(file, *saveChoice_);
    }
    if (failure) {
        Ask(SettingsNotSavedText(failure), kCaptionError, kMbOk | kMbIconError | kMbTopmost);
    }
}

}  // namespace teebasket
