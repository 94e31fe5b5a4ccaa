// The dialogs 定期取得 and 定期取得の追加.
#include "ScheduleDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <algorithm>

#include "window_internal.h"

namespace teebasket {

using namespace window;

namespace {

const QString kScheduleDialogTitle = QStringLiteral("定期取得");
const QString kAddDialogTitle = QStringLiteral("定期取得の追加");
const QStringList kColumns = {
    QStringLiteral("名前"),       QStringLiteral("実行"),       QStringLiteral("都道府県"),
    QStringLiteral("保存先"),     QStringLiteral("前回の実行"), QStringLiteral("次回の実行"),
    QStringLiteral("前回の結果"),
};
constexpr int kFieldWidth = 320;
constexpr int kOutputColumn = 3;
constexpr int kOutputColumnWidth = 280;

QString PrefecturesOf(const std::vector<int>& rows) {
    std::vector<int> codes;
    for (const int row : MakeSelection(rows).rows) {
        codes.push_back(row + 1);
    }
    return QtText(flow::PrefecturesText(codes));
}

}  // namespace

// ---------------------------------------------------------------------------
// 定期取得の追加

TScheduleAddDialog::TScheduleAddDialog(const TScheduleContext& context,
                                       std::vector<std::string> taken, QWidget* parent)
    : QDialog(parent), context_(context), taken_(std::move(taken)) {
    setWindowTitle(kAddDialogTitle);
    auto* form = new QFormLayout;

    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("scheduleName"));
    name_->setPlaceholderText(QStringLiteral("例: kanto-monthly（半角英数字、-、_）"));
    name_->setMaxLength(40);
    form->addRow(QStringLiteral("名前(&N):"), name_);

    cadence_ = new QComboBox(this);
    cadence_->addItems({QStringLiteral("毎月"), QStringLiteral("毎週")});
    day_ = new QStackedWidget(this);
    monthDay_ = new QSpinBox(day_);
    monthDay_->setRange(1, schedule::kLastScheduledDay);
    monthDay_->setSuffix(QStringLiteral(" 日"));
    weekday_ = new QComboBox(day_);
    for (int weekday = 0; weekday < schedule::kWeekdays; ++weekday) {
        weekday_->addItem(QtText(schedule::WeekdayJapaneseName(weekday)));
    }
    weekday_->setCurrentIndex(1);
    day_->addWidget(monthDay_);
    day_->addWidget(weekday_);
    connect(cadence_, &QComboBox::currentIndexChanged, day_, &QStackedWidget::setCurrentIndex);
    time_ = new QTimeEdit(QTime(3, 0), this);
    time_->setDisplayFormat(QStringLiteral("HH:mm"));
    auto* when = new QHBoxLayout;
    when->addWidget(cadence_);
    when->addWidget(day_);
    when->addWidget(time_);
    when->addStretch();
    form->addRow(QStringLiteral("実行(&W):"), when);

    auto* prefectures = new QLabel(
        context_.rows.empty() ? QStringLiteral("（メインの画面で都道府県をチェックしてください）")
                              : PrefecturesOf(context_.rows),
        this);
    form->addRow(QStringLiteral("都道府県:"), prefectures);

    output_ = new QLineEdit(QtText(context_.output), this);
    output_->setMinimumWidth(kFieldWidth);
    auto* browse = new QPushButton(kCaptionBrowse, this);
    connect(browse, &QPushButton::clicked, this, &TScheduleAddDialog::BrowseOutput);
    auto* file = new QHBoxLayout;
    file->addWidget(output_);
    file->addWidget(browse);
    form->addRow(QStringLiteral("保存先(&F):"), file);

    type_ = new QComboBox(this);
    for (const std::string& filter : flow::OutputTypeFilters()) {
        type_->addItem(QtText(filter));
    }
    type_->setCurrentIndex(std::clamp(context_.outputType, 0, type_->count() - 1));
    form->addRow(QStringLiteral("ファイルの種類(&T):"), type_);

    auto* note = new QLabel(
        QStringLiteral("コンピューターの電源が切れていて実行できなかった分は、次に起動したときに"
                       "実行します。\n接続先はこの画面の設定（golf.ini）を使います。"),
        this);
    note->setWordWrap(true);
    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("scheduleProblem"));
    QPalette red = problem_->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    problem_->setPalette(red);
    problem_->setWordWrap(true);
    problem_->hide();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("追加"));
    connect(buttons, &QDialogButtonBox::accepted, this, &TScheduleAddDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TScheduleAddDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(problem_);
    layout->addWidget(buttons);
}

flow::ScheduleForm TScheduleAddDialog::Form() const {
    flow::ScheduleForm form;
    form.name = Utf8Text(name_->text().trimmed());
    form.cadence =
        cadence_->currentIndex() == 0 ? schedule::Cadence::Monthly : schedule::Cadence::Weekly;
    form.monthDay = monthDay_->value();
    form.weekday = weekday_->currentIndex();
    form.hour = time_->time().hour();
    form.minute = time_->time().minute();
    form.rows = context_.rows;
    form.output = Utf8Text(output_->text().trimmed());
    form.outputType = type_->currentIndex();
    form.iniFile = context_.iniFile;
    return form;
}

void TScheduleAddDialog::accept() {
    std::string problem = flow::ScheduleOfForm(Form(), schedule_);
    if (problem.empty() &&
        std::find(taken_.begin(), taken_.end(), schedule_.name) != taken_.end()) {
        problem = "定期取得「" + schedule_.name +
                  "」はすでにあります。別の名前にするか、先に削除してください";
    }
    if (!problem.empty()) {
        problem_->setText(QtText(problem));
        problem_->show();
        return;
    }
    QDialog::accept();
}

void TScheduleAddDialog::BrowseOutput() {
    const QStringList filters = OutputTypeFilters();
    QString filter = filters.value(type_->currentIndex());
    const QString chosen = QFileDialog::getSaveFileName(
        this, QStringLiteral("定期取得の保存先"), output_->text(),
        filters.join(QStringLiteral(";;")), &filter, QFileDialog::DontConfirmOverwrite);
    if (chosen.isEmpty()) {
        return;
    }
    type_->setCurrentIndex(std::max(0, static_cast<int>(filters.indexOf(filter))));
    output_->setText(chosen);
}

// ---------------------------------------------------------------------------
// 定期取得

TScheduleDialog::TScheduleDialog(TScheduleContext context, QWidget* parent)
    : QDialog(parent), context_(std::move(context)) {
    setWindowTitle(kScheduleDialogTitle);
    table_ = new QTableWidget(0, static_cast<int>(kColumns.size()), this);
    table_->setObjectName(QStringLiteral("schedules"));
    table_->setHorizontalHeaderLabels(kColumns);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setTextElideMode(Qt::ElideMiddle);
    table_->setWordWrap(false);
    table_->setMinimumSize(760, 180);

    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("scheduleMessage"));
    message_->setWordWrap(true);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    message_->hide();

    auto* add = new QPushButton(QStringLiteral("追加(&A)..."), this);
    removeButton_ = new QPushButton(QStringLiteral("削除(&D)"), this);
    auto* refresh = new QPushButton(QStringLiteral("最新の情報に更新"), this);
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    connect(add, &QPushButton::clicked, this, &TScheduleDialog::AddClicked);
    connect(removeButton_, &QPushButton::clicked, this, &TScheduleDialog::RemoveClicked);
    connect(refresh, &QPushButton::clicked, this, &TScheduleDialog::Refresh);
    connect(close, &QPushButton::clicked, this, &TScheduleDialog::accept);
    connect(table_, &QTableWidget::itemSelectionChanged, this,
            [this] { removeButton_->setEnabled(!table_->selectedItems().isEmpty()); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(removeButton_);
    buttons->addWidget(refresh);
    buttons->addStretch();
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addWidget(message_);
    layout->addLayout(buttons);
    Refresh();
}

void TScheduleDialog::Refresh() {
    rows_.clear();
    for (const schedule::ScheduleEntry& entry : schedule::ListSchedules(context_.dataFolder)) {
        rows_.push_back(flow::RowOfEntry(entry));
    }
    ShowRows();
}

void TScheduleDialog::ShowRows() {
    table_->setRowCount(static_cast<int>(rows_.size()));
    for (int index = 0; index < static_cast<int>(rows_.size()); ++index) {
        const flow::ScheduleRow& row = rows_[static_cast<std::size_t>(index)];
        const std::string* texts[] = {&row.name,    &row.when,    &row.prefectures, &row.output,
                                      &row.lastRun, &row.nextRun, &row.lastResult};
        for (int column = 0; column < static_cast<int>(std::size(texts)); ++column) {
            auto* item = new QTableWidgetItem(QtText(*texts[column]));
            if (column == kOutputColumn) {
                item->setToolTip(item->text());
            } else if (!row.details.empty()) {
                item->setToolTip(QtText(row.details));
            }
            if (row.needsAttention && column == static_cast<int>(std::size(texts)) - 1) {
                item->setForeground(Qt::red);
            }
            table_->setItem(index, column, item);
        }
    }
    table_->resizeColumnsToContents();
    // A long path is shortened in its middle; the whole one is its tooltip.
    if (table_->columnWidth(kOutputColumn) > kOutputColumnWidth) {
        table_->setColumnWidth(kOutputColumn, kOutputColumnWidth);
    }
    removeButton_->setEnabled(!table_->selectedItems().isEmpty());
}

void TScheduleDialog::ShowMessage(const QString& text, bool problem) {
    QPalette palette = message_->palette();
    palette.setColor(QPalette::WindowText, problem ? Qt::red : Qt::black);
    message_->setPalette(palette);
    message_->setText(text);
    message_->setVisible(!text.isEmpty());
}

bool TScheduleDialog::AddSchedule(const schedule::Schedule& schedule) {
    const schedule::SystemStep step = schedule::AddSchedule(
        schedule, {context_.cliProgram, context_.dataFolder}, context_.registerWithScheduler);
    // A schedule the scheduler did not take is still saved, to be registered by hand.
    const bool saved = step.outcome != schedule::StepOutcome::CannotWrite;
    ShowMessage(QtText(flow::StepText(step)), step.outcome != schedule::StepOutcome::Done);
    Refresh();
    return saved;
}

bool TScheduleDialog::RemoveSchedule(const std::string& name) {
    const schedule::SystemStep step = schedule::RemoveSchedule(context_.dataFolder, name);
    ShowMessage(QtText(flow::StepText(step)), step.outcome != schedule::StepOutcome::Done);
    Refresh();
    return step.outcome == schedule::StepOutcome::Done;
}

void TScheduleDialog::AddClicked() {
    std::vector<std::string> taken;
    for (const flow::ScheduleRow& row : rows_) {
        taken.push_back(row.name);
    }
    TScheduleAddDialog dialog(context_, std::move(taken), this);
    if (dialog.exec() == QDialog::Accepted) {
        AddSchedule(dialog.EnteredSchedule());
    }
}

void TScheduleDialog::RemoveClicked() {
    const int index = table_->currentRow();
    if (index < 0 || index >= static_cast<int>(rows_.size())) {
        return;
    }
    const std::string name = rows_[static_cast<std::size_t>(index)].name;
    const QString question = QStringLiteral(
                                 "定期取得「%1」を削除しますか？\nスケジューラへの登録も外します。"
                                 "取得したファイルは残ります。")
                                 .arg(QtText(name));
    const bool yes =
        confirm_ ? confirm_(question)
                 : QMessageBox::question(this, kScheduleDialogTitle, question) == QMessageBox::Yes;
    if (yes) {
        RemoveSchedule(name);
    }
}

}  // namespace teebasket
