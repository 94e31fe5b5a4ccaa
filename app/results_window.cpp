// The window 取得結果 and its item model.
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleValidator>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <set>

#include "ResultsWindow.h"
#include "Zererav.h"
#include "window_internal.h"

namespace teebasket {

using window::FromPath;
using window::QtText;
using window::ToPath;
using window::Utf8Text;

namespace {

const QString kResultsTitle = QStringLiteral("取得結果");
const QString kAll = QStringLiteral("すべて");
const QString kEarlierValue = QStringLiteral("前回: %1");
const QString kMarkNew = QStringLiteral("新規");
const QString kMarkGone = QStringLiteral("掲載終了（前回の取得結果）");
const QString kMarkClosed = QStringLiteral("閉鎖");
const QString kCounts = QStringLiteral("%1 件を表示（全 %2 件）");
const QString kNotCompared = QStringLiteral("比較なし");
const QString kSaveTitle = QStringLiteral("取得結果の保存");
const QString kOpenTitle = QStringLiteral("取得結果を開く");
const QString kEarlierTitle = QStringLiteral("比較するファイル");
const QString kOutputFiles =
    QStringLiteral("取得結果 (*.csv *.jsonl *.xlsx);;すべてのファイル (*)");
const QString kNotRead = QStringLiteral("取得結果を読み込めませんでした。\n%1");
const QString kNotSaved = QStringLiteral("取得結果を保存できませんでした。\n%1");
const QString kHistoryNone = QStringLiteral("（履歴なし）");
// The columns shown at first; the header's menu shows the others.
const std::set<int> kFirstColumns = {kColumnName,        kColumnAddress,    kColumnTelephone,
                                     kColumnHoles,       kColumnState,      kColumnRating,
                                     kColumnReviewCount, kColumnPrefecture, kColumnFetchStatus};

bool IsNumberColumn(int column) {
    return OutputColumns[column].type != ColumnType::Text || column == kColumnHoles ||
           column == kColumnDistance || column == kColumnReviewCount;
}

// A combo box's choice: "" for すべて.
QString Chosen(const QComboBox* box) {
    return box->currentIndex() <= 0 ? QString() : box->currentText();
}

std::optional<double> Bound(const QLineEdit* edit) {
    bool ok = false;
    const double value = edit->text().trimmed().toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

}  // namespace

// ---------------------------------------------------------------------------
// The model

TResultsModel::TResultsModel(results::ResultsTable& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table) {}

int TResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(table_.rows().size());
}

int TResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : results::kResultsColumnCount;
}

QColor TResultsModel::MarkColour(results::ChangeMark mark) {
    switch (mark) {
        case results::ChangeMark::New:
            return QColor(0xd8, 0xf5, 0xd0);
        case results::ChangeMark::Gone:
            return QColor(0xe0, 0xe0, 0xe0);
        case results::ChangeMark::Closed:
            return QColor(0xf8, 0xd0, 0xd0);
        case results::ChangeMark::Changed:
            return QColor(0xff, 0xf6, 0xd5);
        case results::ChangeMark::None:
            break;
    }
    return {};
}

QColor TResultsModel::ChangedCellColour() {
    return QColor(0xff, 0xd8, 0x6b);
}

QVariant TResultsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= table_.rows().size()) {
        return {};
    }
    const std::uint32_t record = table_.RecordOfRow(static_cast<std::size_t>(index.row()));
    const int column = index.column();
    const results::ChangeMark mark = table_.Mark(record);
    switch (role) {
        case Qt::DisplayRole:
            return QtText(table_.Text(record, column));
        case Qt::TextAlignmentRole:
            return IsNumberColumn(column) ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                          : QVariant();
        case Qt::BackgroundRole: {
            if (table_.EarlierValue(record, column)) {
                return ChangedCellColour();
            }
            const QColor colour = MarkColour(mark);
            return colour.isValid() ? QVariant(colour) : QVariant();
        }
        case Qt::ToolTipRole: {
            if (const std::optional<std::string_view> earlier =
                    table_.EarlierValue(record, column)) {
                return kEarlierValue.arg(QtText(*earlier));
            }
            switch (mark) {
                case results::ChangeMark::New:
                    return kMarkNew;
                case results::ChangeMark::Gone:
                    return kMarkGone;
                case results::ChangeMark::Closed:
                    return kMarkClosed;
                case results::ChangeMark::Changed:
                case results::ChangeMark::None:
                    break;
            }
            return {};
        }
        default:
            return {};
    }
}

QVariant TResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (orientation == Qt::Vertical) {
        return section + 1;
    }
    return section >= 0 && section < results::kResultsColumnCount
               ? QtText(OutputColumns[section].header)
               : QVariant();
}

void TResultsModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= results::kResultsColumnCount) {
        return;
    }
    emit layoutAboutToBeChanged();
    table_.SortBy(column, order == Qt::DescendingOrder);
    emit layoutChanged();
}

void TResultsModel::Reset() {
    beginResetModel();
    endResetModel();
}

// ---------------------------------------------------------------------------
// The window

TResultsWindow::TResultsWindow(TWindowDialogs& dialogs, std::filesystem::path dataFolder,
                               std::function<bool(const QUrl&)> openUrl, QWidget* parent)
    : QWidget(parent, Qt::Window),
      dialogs_(dialogs),
      dataFolder_(std::move(dataFolder)),
      openUrl_(std::move(openUrl)) {
    setObjectName(QStringLiteral("frmResults"));
    setWindowTitle(kResultsTitle);
    model_ = new TResultsModel(table_, this);
    BuildControls();
    ReloadHistory();
    resize(1000, 640);
}

TResultsWindow::~TResultsWindow() = default;

void TResultsWindow::BuildControls() {
    auto* layout = new QVBoxLayout(this);

    auto* files = new QHBoxLayout;
    history_ = new QComboBox(this);
    history_->setObjectName(QStringLiteral("cmbHistory"));
    history_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* open = new QPushButton(QStringLiteral("ファイルを開く(&O)..."), this);
    auto* earlier = new QPushButton(QStringLiteral("比較するファイル(&D)..."), this);
    earlier->setObjectName(QStringLiteral("btnCompareFile"));
    auto* save = new QPushButton(QStringLiteral("保存(&S)..."), this);
    save->setObjectName(QStringLiteral("btnSave"));
    files->addWidget(new QLabel(QStringLiteral("履歴:"), this));
    files->addWidget(history_, 1);
    files->addWidget(open);
    files->addWidget(earlier);
    files->addWidget(save);
    layout->addLayout(files);

    auto* filters = new QHBoxLayout;
    prefecture_ = new QComboBox(this);
    prefecture_->setObjectName(QStringLiteral("cmbPrefecture"));
    state_ = new QComboBox(this);
    state_->setObjectName(QStringLiteral("cmbState"));
    fetch_ = new QComboBox(this);
    fetch_->setObjectName(QStringLiteral("cmbFetch"));
    fetch_->addItems({kAll, QtText(FetchStatusText(CourseFetch::Fetched)),
                      QtText(FetchStatusText(CourseFetch::Kept)),
                      QtText(FetchStatusText(CourseFetch::Failed))});
    ratingMin_ = new QLineEdit(this);
    ratingMin_->setObjectName(QStringLiteral("edtRatingMin"));
    ratingMax_ = new QLineEdit(this);
    ratingMax_->setObjectName(QStringLiteral("edtRatingMax"));
    for (QLineEdit* bound : {ratingMin_, ratingMax_}) {
        bound->setValidator(new QDoubleValidator(0, 100, 2, bound));
        bound->setMaximumWidth(60);
    }
    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("edtSearch"));
    search_->setPlaceholderText(QStringLiteral("名称・住所を検索"));
    search_->setClearButtonEnabled(true);
    changesOnly_ = new QCheckBox(QStringLiteral("変更のみ"), this);
    changesOnly_->setObjectName(QStringLiteral("chkChangesOnly"));
    filters->addWidget(new QLabel(QStringLiteral("都道府県:"), this));
    filters->addWidget(prefecture_);
    filters->addWidget(new QLabel(QStringLiteral("運営状況:"), this));
    filters->addWidget(state_);
    filters->addWidget(new QLabel(QStringLiteral("取得状況:"), this));
    filters->addWidget(fetch_);
    filters->addWidget(new QLabel(QStringLiteral("評価:"), this));
    filters->addWidget(ratingMin_);
    filters->addWidget(new QLabel(QStringLiteral("〜"), this));
    filters->addWidget(ratingMax_);
    filters->addWidget(search_, 1);
    filters->addWidget(changesOnly_);
    layout->addLayout(filters);

    summary_ = new QLabel(kNotCompared, this);
    summary_->setObjectName(QStringLiteral("lblSummary"));
    counts_ = new QLabel(this);
    counts_->setObjectName(QStringLiteral("lblCounts"));
    auto* status = new QHBoxLayout;
    status->addWidget(summary_, 1);
    status->addWidget(counts_);
    layout->addLayout(status);

    view_ = new QTableView(this);
    view_->setObjectName(QStringLiteral("tblResults"));
    view_->setModel(model_);
    view_->setSortingEnabled(true);
    view_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
    view_->horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
    for (int column = 0; column < results::kResultsColumnCount; ++column) {
        view_->setColumnHidden(column, !kFirstColumns.contains(column));
    }
    layout->addWidget(view_, 1);

    // A keystroke in the search box waits for the next one a moment.
    searchDelay_ = new QTimer(this);
    searchDelay_->setSingleShot(true);
    searchDelay_->setInterval(250);
    connect(searchDelay_, &QTimer::timeout, this, &TResultsWindow::ApplyFilter);
    connect(search_, &QLineEdit::textEdited, searchDelay_, qOverload<>(&QTimer::start));
    connect(search_, &QLineEdit::returnPressed, this, &TResultsWindow::ApplyFilter);
    for (QComboBox* box : {prefecture_, state_, fetch_}) {
        connect(box, &QComboBox::currentIndexChanged, this, &TResultsWindow::ApplyFilter);
    }
    for (QLineEdit* bound : {ratingMin_, ratingMax_}) {
        connect(bound, &QLineEdit::textEdited, searchDelay_, qOverload<>(&QTimer::start));
    }
    connect(changesOnly_, &QCheckBox::toggled, this, &TResultsWindow::ApplyFilter);
    connect(view_->horizontalHeader(), &QWidget::customContextMenuRequested, this,
            &TResultsWindow::ShowColumnMenu);
    connect(view_, &QAbstractItemView::doubleClicked, this, &TResultsWindow::OpenDetailPage);
    connect(open, &QPushButton::clicked, this, &TResultsWindow::ChooseFile);
    connect(earlier, &QPushButton::clicked, this, &TResultsWindow::ChooseEarlierFile);
    connect(save, &QPushButton::clicked, this, &TResultsWindow::SaveRows);
    connect(history_, &QComboBox::activated, this, &TResultsWindow::OpenHistoryRun);
}

bool TResultsWindow::OpenFile(const std::filesystem::path& file,
                              const std::optional<std::filesystem::path>& earlier) {
    std::string error;
    if (!table_.Open(file, error)) {
        Complain(kNotRead.arg(QtText(error)));
        return false;
    }
    setWindowTitle(kResultsTitle + QStringLiteral(" - ") + FromPath(file.filename()));
    view_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    ResetFilters();
    if (earlier && !table_.CompareWith(*earlier, error)) {
        Complain(kNotRead.arg(QtText(error)));
    }
    ApplyFilter();
    return true;
}

bool TResultsWindow::CompareWith(const std::filesystem::path& earlier) {
    std::string error;
    const bool compared = table_.CompareWith(earlier, error);
    if (!compared) {
        Complain(kNotRead.arg(QtText(error)));
    }
    ApplyFilter();
    return compared;
}

void TResultsWindow::ResetFilters() {
    const QSignalBlocker blockPrefecture(prefecture_);
    const QSignalBlocker blockState(state_);
    const QSignalBlocker blockFetch(fetch_);
    prefecture_->clear();
    prefecture_->addItem(kAll);
    for (const std::string& name : table_.DistinctValues(kColumnPrefecture)) {
        prefecture_->addItem(QtText(name));
    }
    state_->clear();
    state_->addItem(kAll);
    for (const std::string& name : table_.DistinctValues(kColumnState)) {
        state_->addItem(QtText(name));
    }
    fetch_->setCurrentIndex(0);
    // Another file begins unfiltered.
    for (QLineEdit* edit : {ratingMin_, ratingMax_, search_}) {
        const QSignalBlocker blockEdit(edit);
        edit->clear();
    }
    const QSignalBlocker blockChanges(changesOnly_);
    changesOnly_->setChecked(false);
}

void TResultsWindow::ApplyFilter() {
    searchDelay_->stop();
    results::ResultsFilter filter;
    filter.prefecture = Utf8Text(Chosen(prefecture_));
    filter.state = Utf8Text(Chosen(state_));
    if (fetch_->currentIndex() > 0) {
        filter.fetch = static_cast<CourseFetch>(fetch_->currentIndex() - 1);
    }
    filter.ratingMin = Bound(ratingMin_);
    filter.ratingMax = Bound(ratingMax_);
    filter.search = Utf8Text(search_->text());
    filter.changesOnly = changesOnly_->isChecked() && table_.compared();
    table_.SetFilter(filter);
    model_->Reset();
    ShowCounts();
    emit filtered();
}

void TResultsWindow::ShowCounts() {
    summary_->setText(table_.compared() ? QtText(results::SummaryLine(table_.summary()))
                                        : kNotCompared);
    counts_->setText(kCounts.arg(table_.rows().size()).arg(table_.FileRecordCount()));
    changesOnly_->setEnabled(table_.compared());
}

void TResultsWindow::ShowColumnMenu(const QPoint& at) {
    QMenu menu(this);
    for (int column = 0; column < results::kResultsColumnCount; ++column) {
        QAction* action = menu.addAction(QtText(OutputColumns[column].header));
        action->setCheckable(true);
        action->setChecked(!view_->isColumnHidden(column));
        connect(action, &QAction::toggled, this,
                [this, column](bool shown) { view_->setColumnHidden(column, !shown); });
    }
    menu.exec(view_->horizontalHeader()->mapToGlobal(at));
}

void TResultsWindow::OpenDetailPage(const QModelIndex& index) {
    if (!index.isValid()) {
        return;
    }
    const QUrl url(QtText(table_.Text(table_.RecordOfRow(static_cast<std::size_t>(index.row())),
                                      kColumnDetailUrl)),
                   QUrl::StrictMode);
    // Only a web page: a value from a file is never handed to the desktop
    // as a program or a local file.
    if (url.isValid() &&
        (url.scheme() == QStringLiteral("https") || url.scheme() == QStringLiteral("http"))) {
        openUrl_(url);
    }
}

void TResultsWindow::ChooseFile() {
    const QString file = QFileDialog::getOpenFileName(this, kOpenTitle, QString(), kOutputFiles);
    if (!file.isEmpty()) {
        OpenFile(ToPath(file));
    }
}

void TResultsWindow::ChooseEarlierFile() {
    const QString file = QFileDialog::getOpenFileName(this, kEarlierTitle, QString(), kOutputFiles);
    if (!file.isEmpty()) {
        CompareWith(ToPath(file));
    }
}

void TResultsWindow::SaveRows() {
    // The chosen rows, else every row shown, in the order shown.
    std::vector<std::uint32_t> records;
    const QModelIndexList chosen = view_->selectionModel()->selectedRows();
    std::vector<int> rows;
    for (const QModelIndex& index : chosen) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    for (const int row : rows) {
        records.push_back(table_.RecordOfRow(static_cast<std::size_t>(row)));
    }
    if (records.empty()) {
        records = table_.rows();
    }
    const QStringList filters = OutputTypeFilters();
    const TSaveDialogRequest request{kSaveTitle, filters, QString()};
    const TSaveDialogAnswer answer = dialogs_.SaveFileName(this, request);
    if (answer.path.isEmpty()) {
        return;
    }
    const flow::OutputType& type = flow::OutputTypeAt(answer.filter);
    const QString path = AppendExtension(answer.path, QtText(type.extension()));
    std::string error;
    if (!results::SaveRecords(table_, records, ToPath(path), type.format, error)) {
        Complain(kNotSaved.arg(QtText(error)));
    }
}

void TResultsWindow::ReloadHistory() {
    runs_ = ResultsHistoryRuns(dataFolder_);
    const QSignalBlocker block(history_);
    history_->clear();
    if (runs_.empty()) {
        history_->addItem(kHistoryNone);
        history_->setEnabled(false);
        return;
    }
    history_->setEnabled(true);
    for (const TResultsRun& run : runs_) {
        history_->addItem(run.label);
    }
    history_->setCurrentIndex(-1);
}

void TResultsWindow::OpenHistoryRun(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= runs_.size()) {
        return;
    }
    const TResultsRun& run = runs_[static_cast<std::size_t>(index)];
    OpenFile(run.records, run.previousRecords);
}

void TResultsWindow::Complain(const QString& text) {
    dialogs_.MessageBox(this, text, kResultsTitle, kMbOk | kMbIconError, QString(), {});
}

}  // namespace teebasket
