// The dialog 定期取得: the schedules of the data folder, each with when it
// runs, what it collects, its last and next run and its last result (an
// alert in red, its details as the row's tooltip). 追加... adds one for the
// prefectures ticked in the main window through the system's own scheduler;
// 削除 removes the chosen one with every trace. The work is the schedule
// book's (ScheduleBook.h), the same as teebasket-cli schedule's.
#pragma once

#include <QDialog>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ScheduleForm.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QTableWidget;
class QTimeEdit;

namespace teebasket {

// Where the schedules live and what a new one starts from.
struct TScheduleContext {
    std::filesystem::path dataFolder;
    std::filesystem::path iniFile;     // the golf.ini a scheduled run reads
    std::filesystem::path cliProgram;  // teebasket-cli, which the scheduler starts
    std::vector<int> rows;             // the prefectures ticked in the main window
    std::string output;                // UTF-8: the last file saved to, or ""
    int outputType = 0;
    bool registerWithScheduler = true;  // false: the files only, as schedule add --no-register
};

// The dialog that describes a new schedule.
class TScheduleAddDialog : public QDialog {
    Q_OBJECT

  public:
    // `taken` are the names of the schedules there are.
    TScheduleAddDialog(const TScheduleContext& context, std::vector<std::string> taken,
                       QWidget* parent = nullptr);

    flow::ScheduleForm Form() const;
    // The schedule as entered; valid once the dialog was accepted.
    const schedule::Schedule& EnteredSchedule() const { return schedule_; }
    // Closes when the entries make a schedule, or says what is wrong.
    void accept() override;

    QLineEdit* nameEdit() const { return name_; }
    QComboBox* cadenceBox() const { return cadence_; }
    QSpinBox* monthDayBox() const { return monthDay_; }
    QComboBox* weekdayBox() const { return weekday_; }
    QTimeEdit* timeEdit() const { return time_; }
    QLineEdit* outputEdit() const { return output_; }
    QComboBox* typeBox() const { return type_; }
    QLabel* problemLabel() const { return problem_; }

  private:
    void BrowseOutput();

    TScheduleContext context_;
    std::vector<std::string> taken_;
    schedule::Schedule schedule_;
    QLineEdit* name_ = nullptr;
    QComboBox* cadence_ = nullptr;
    QStackedWidget* day_ = nullptr;
    QSpinBox* monthDay_ = nullptr;
    QComboBox* weekday_ = nullptr;
    QTimeEdit* time_ = nullptr;
    QLineEdit* output_ = nullptr;
    QComboBox* type_ = nullptr;
    QLabel* problem_ = nullptr;
};

class TScheduleDialog : public QDialog {
    Q_OBJECT

  public:
    explicit TScheduleDialog(TScheduleContext context, QWidget* parent = nullptr);

    // Reads the schedules again and shows them.
    void Refresh();
    // Adds `schedule` and shows what was done; true when it was saved.
    bool AddSchedule(const schedule::Schedule& schedule);
    // Removes the schedule `name` without asking and shows what was done.
    bool RemoveSchedule(const std::string& name);

    // How a question is asked: the text; true for yes. A message box unless set.
    using Confirm = std::function<bool(const QString& text)>;
    void setConfirm(Confirm confirm) { confirm_ = std::move(confirm); }

    QTableWidget* table() const { return table_; }
    QLabel* messageLabel() const { return message_; }
    const std::vector<flow::ScheduleRow>& rows() const { return rows_; }

  private:
    void AddClicked();
    void RemoveClicked();
    void ShowMessage(const QString& text, bool problem);
    void ShowRows();

    TScheduleContext context_;
    std::vector<flow::ScheduleRow> rows_;
    QTableWidget* table_ = nullptr;
    QLabel* message_ = nullptr;
    QPushButton* removeButton_ = nullptr;
    Confirm confirm_;
};

}  // namespace teebasket
