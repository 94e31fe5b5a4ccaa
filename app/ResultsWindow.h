// The window 取得結果: the courses of an output file or of a run of the
// history as a table (ResultsTable over a thin item model), with filters, a
// search, the changes since the previous run highlighted, and saving of the
// rows shown or chosen. A top-level window of its own beside the main one.
#pragma once

#include <QAbstractTableModel>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "ResultsTable.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTableView;
class QTimer;
class QUrl;

namespace teebasket {

class TWindowDialogs;

// One run of the history as the window lists it.
struct TResultsRun {
    QString label;                  // when it finished, what it chose, how many courses
    std::filesystem::path records;  // its courses, JSON Lines
    std::filesystem::path output;   // the file it put in place
    std::optional<std::filesystem::path> previousRecords;  // the previous run of its selection
};

// The runs of the history in `dataFolder`, newest first (none when the
// program keeps no history).
std::vector<TResultsRun> ResultsHistoryRuns(const std::filesystem::path& dataFolder);

// The records of the run before the newest run that put `output` in place
// with the selection `prefectures` (JIS X 0401 codes); nothing when the
// history holds none.
std::optional<std::filesystem::path> PreviousRunRecords(const std::filesystem::path& dataFolder,
                                                        const std::vector<int>& prefectures,
                                                        const std::filesystem::path& output);

// The table's item model: one row per shown record, the 40 columns; the
// background tells the change, the tooltip the earlier value.
class TResultsModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    explicit TResultsModel(results::ResultsTable& table, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

    // The table changed under the model (opened, compared, filtered).
    void Reset();

    // The colours of the marks: a row's background, and a changed cell's.
    static QColor MarkColour(results::ChangeMark mark);
    static QColor ChangedCellColour();

  private:
    results::ResultsTable& table_;
};

class TResultsWindow : public QWidget {
    Q_OBJECT

  public:
    // `openUrl` opens a course's detail page (QDesktopServices::openUrl).
    TResultsWindow(TWindowDialogs& dialogs, std::filesystem::path dataFolder,
                   std::function<bool(const QUrl&)> openUrl, QWidget* parent = nullptr);
    ~TResultsWindow() override;

    // Opens `file` in the table; compared with `earlier` when given. A file
    // that cannot be read is said in a message; the table stays as it was.
    bool OpenFile(const std::filesystem::path& file,
                  const std::optional<std::filesystem::path>& earlier = std::nullopt);
    // Compares the open file with `earlier` (any output file).
    bool CompareWith(const std::filesystem::path& earlier);

    // Lists the runs of the history anew.
    void ReloadHistory();

    // What opens a course's detail page from now on.
    void SetUrlOpener(std::function<bool(const QUrl&)> openUrl) { openUrl_ = std::move(openUrl); }

    const results::ResultsTable& table() const { return table_; }
    QTableView* view() const { return view_; }
    QLabel* summaryLabel() const { return summary_; }

  signals:
    void filtered();

  private:
    void BuildControls();
    // The choices of the filters from the file's values, none chosen.
    void ResetFilters();
    void ApplyFilter();
    void ShowCounts();
    void ShowColumnMenu(const QPoint& at);
    void OpenDetailPage(const QModelIndex& index);
    void ChooseFile();
    void ChooseEarlierFile();
    void SaveRows();
    void OpenHistoryRun(int index);
    void Complain(const QString& text);

    TWindowDialogs& dialogs_;
    std::filesystem::path dataFolder_;
    std::function<bool(const QUrl&)> openUrl_;
    results::ResultsTable table_;
    TResultsModel* model_ = nullptr;
    std::vector<TResultsRun> runs_;

    QComboBox* history_ = nullptr;
    QComboBox* prefecture_ = nullptr;
    QComboBox* state_ = nullptr;
    QComboBox* fetch_ = nullptr;
    QLineEdit* ratingMin_ = nullptr;
    QLineEdit* ratingMax_ = nullptr;
    QLineEdit* search_ = nullptr;
    QCheckBox* changesOnly_ = nullptr;
    QTimer* searchDelay_ = nullptr;
    QLabel* summary_ = nullptr;
    QLabel* counts_ = nullptr;
    QTableView* view_ = nullptr;
};

}  // namespace teebasket
