// TFrmMain: the prefecture list, its select-all box with the count of ticked
// rows, the regions of its context menu, and golf.ini.
#include <QAction>
#include <QCheckBox>
#include <QListWidget>
#include <QSignalBlocker>
#include <algorithm>
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

// The select-all box keeps its designed width unless its count needs more;
// it never reaches the buttons.
constexpr int kSelectAllWidth = 119;
constexpr int kSelectAllMaxWidth = 147;

bool EveryRowTicked(const QListWidget* list, const PrefectureRegion& region) {
    for (int row = region.firstRow; row <= region.lastRow; ++row) {
        if (!IsTicked(list, row)) {
            return false;
        }
    }
    return true;
}

}  // namespace

void TFrmMain::chkAreaClick() {
    const bool checked = chkArea->isChecked();
    for (int row = 0; row < lstArea->count(); ++row) {
        SetTick(lstArea, row, checked);
    }
    ShowTickedCount();
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
    ShowTickedCount();
}

void TFrmMain::TickRegion(int region) {
    if (region < 0 || region >= kRegionCount || lstArea->count() != kPrefectureCount) {
        return;
    }
    const PrefectureRegion& chosen = PrefectureRegions.at(static_cast<std::size_t>(region));
    const bool tick = !EveryRowTicked(lstArea, chosen);
    for (int row = chosen.firstRow; row <= chosen.lastRow; ++row) {
        SetTick(lstArea, row, tick);
    }
    lstArea->setCurrentRow(chosen.firstRow);
    lstArea->scrollToItem(lstArea->item(chosen.firstRow));
    lstAreaClickCheck();
}

void TFrmMain::ShowTickedCount() {
    chkArea->setText(kCaptionSelectAll +
                     QStringLiteral("%1/%2").arg(TickedCount()).arg(lstArea->count()));
    chkArea->resize(std::clamp(chkArea->sizeHint().width(), kSelectAllWidth, kSelectAllMaxWidth),
                    chkArea->height());
    if (lstArea->count() != kPrefectureCount) {
        return;
    }
    for (int region = 0; region < regionActions_.size(); ++region) {
        regionActions_.at(region)->setChecked(
            EveryRowTicked(lstArea, PrefectureRegions.at(static_cast<std::size_t>(region))));
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
    ShowTickedCount();
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
