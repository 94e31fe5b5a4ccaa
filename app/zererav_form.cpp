// TFrmMain: construction, layout, life cycle and the close query.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFont>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <chrono>

#include "VistaAltFixUnit.h"
#include "W7Taskbar.h"
#include "Zererav.h"
#include "window_internal.h"

namespace teebasket {

using namespace window;

namespace {

// The window's font is named as designed; where it is not installed it falls
// back to the Japanese Gothic faces that Linux distributions ship.
void InstallFontSubstitutes() {
    static const bool installed = [] {
        QFont::insertSubstitutions(
            kFontFamily, {QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                          QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic"),
                          QStringLiteral("TakaoPGothic")});
        return true;
    }();
    (void)installed;
}

QFont GothicFont(int pixelSize) {
    QFont font(kFontFamily);
    font.setPixelSize(pixelSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

constexpr int kClientWidth = 307;
constexpr int kClientHeight = 235;
constexpr int kStatusRightEdge = 301;
constexpr int kListRowHeight = 16;
constexpr std::chrono::milliseconds kPostedEventsInterval{50};

}  // namespace

TFrmMain::TFrmMain(TWindowEnvironment environment, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      environment_(std::move(environment)) {
    InstallFontSubstitutes();
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(kTitle);
    setFixedSize(kClientWidth, kClientHeight);
    move(0, 0);
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    setFont(GothicFont(12));
    CreateControls();
    CreateContextMenu();
    FormCreate();
    ShowTickedCount();
    ShowPortalStatus();
    ShowScheduleAttention();
}

TFrmMain::~TFrmMain() {
    // Closed: the thread's calls return at once, and nothing more is shown.
    ChangePhase(RunPhase::Closed);
    if (harvest_) {
        harvest_->RequestStop();
    }
    WaitForThreadEnd();
    if (cursorOverridden_) {
        QApplication::restoreOverrideCursor();
        cursorOverridden_ = false;
    }
}

void TFrmMain::CreateControls() {
    lblStatus = new QLabel(kTwoIdeographicSpaces, this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblStatus->setGeometry(285, 199, 16, 12);

    lblStatus2 = new QLabel(kTwoIdeographicSpaces, this);
    lblStatus2->setObjectName(QStringLiteral("lblStatus2"));
    lblStatus2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblStatus2->setFont(GothicFont(12));
    QPalette black = lblStatus2->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    lblStatus2->setPalette(black);
    lblStatus2->setGeometry(285, 183, 16, 12);

    lblTimes = new QLabel(QString(), this);
    lblTimes->setObjectName(QStringLiteral("lblTimes"));
    lblTimes->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblTimes->setGeometry(285, 167, 16, 12);

    btnAction = new QPushButton(kCaptionStart, this);
    btnAction->setObjectName(QStringLiteral("btnAction"));
    btnAction->setGeometry(160, 30, 140, 32);
    connect(btnAction, &QPushButton::clicked, this, &TFrmMain::btnActionClick);

    prgBar = new QProgressBar(this);
    prgBar->setObjectName(QStringLiteral("prgBar"));
    prgBar->setGeometry(158, 212, 143, 15);
    prgBar->setRange(0, 100);
    prgBar->setValue(0);
    prgBar->setTextVisible(false);
    prgBar->hide();

    btnCancel = new QPushButton(kCaptionCancelButton, this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(160, 64, 140, 32);
    btnCancel->setEnabled(false);
    connect(btnCancel, &QPushButton::clicked, this, &TFrmMain::btnCancelClick);

    chkArea = new QCheckBox(kCaptionSelectAll, this);
    chkArea->setObjectName(QStringLiteral("chkArea"));
    chkArea->setGeometry(11, 10, 119, 17);
    // Any change of the state, by the user or from code, is a click; code
    // that must not raise it blocks the box's signals while it sets the state.
    connect(chkArea, &QCheckBox::toggled, this, &TFrmMain::chkAreaClick);

    lstArea = new QListWidget(this);
    lstArea->setObjectName(QStringLiteral("lstArea"));
    lstArea->setGeometry(8, 30, 145, 197);
    lstArea->setFont(GothicFont(13));
    lstArea->setUniformItemSizes(true);
    lstArea->setSelectionMode(QAbstractItemView::SingleSelection);
    lstArea->setAttribute(Qt::WA_InputMethodEnabled, false);
    for (const PrefectureRow& row : PrefectureTable) {
        auto* item =
            new QListWidgetItem(QString::fromUtf8(row.displayName.data(),
                                                  static_cast<qsizetype>(row.displayName.size())),
                                lstArea);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        item->setSizeHint(QSize(0, kListRowHeight));
    }
    lstArea->setCurrentRow(-1);
    // Ticks set from code block the list's signals, so this sees only the
    // user's toggles.
    connect(lstArea, &QListWidget::itemChanged, this, [this] { lstAreaClickCheck(); });

    setTabOrder(chkArea, lstArea);
    setTabOrder(lstArea, btnAction);
    setTabOrder(btnAction, btnCancel);
    setTabOrder(btnCancel, prgBar);
}

void TFrmMain::CreateContextMenu() {
    portalSettingsAction_ = new QAction(kActionPortalSettings, this);
    portalSettingsAction_->setObjectName(QStringLiteral("actPortalSettings"));
    portalSettingsAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    portalSettingsAction_->setShortcutContext(Qt::WindowShortcut);
    portalSettingsAction_->setShortcutVisibleInContextMenu(true);
    connect(portalSettingsAction_, &QAction::triggered, this, &TFrmMain::EditPortalSettings);
    addAction(portalSettingsAction_);
    resultsAction_ = new QAction(kActionResults, this);
    resultsAction_->setObjectName(QStringLiteral("actResults"));
    connect(resultsAction_, &QAction::triggered, this, [this] { ShowResults(outputPath_); });
    addAction(resultsAction_);
    schedulesAction_ = new QAction(kActionSchedules, this);
    schedulesAction_->setObjectName(QStringLiteral("actSchedules"));
    connect(schedulesAction_, &QAction::triggered, this, &TFrmMain::EditSchedules);
    addAction(schedulesAction_);
    // The controls show no menu of their own, so a right click anywhere in
    // the window offers the window's entries; the list offers its regions
    // first.
    setContextMenuPolicy(Qt::ActionsContextMenu);
    for (int region = 0; region < kRegionCount; ++region) {
        const std::string_view name =
            PrefectureRegions.at(static_cast<std::size_t>(region)).displayName;
        auto* action = new QAction(QtText(name), lstArea);
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, [this, region] { TickRegion(region); });
        regionActions_.append(action);
        lstArea->addAction(action);
    }
    auto* separator = new QAction(lstArea);
    separator->setSeparator(true);
    lstArea->addAction(separator);
    lstArea->addAction(portalSettingsAction_);
    lstArea->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void TFrmMain::FormCreate() {
    vistaAltFix_ = new TVistaAltFix(this);
    // Every desktop that Qt 6 supports has the taskbar interface if it has
    // one at all, so no system version is checked here.
    taskbarAvailable_ = InitializeTaskbarAPI();
}

void TFrmMain::SetStatusCaption(QLabel* label, const QString& caption) {
    // Auto-sized and right-aligned: the right edge stays where it was designed.
    label->setText(caption);
    label->adjustSize();
    label->move(kStatusRightEdge - label->width(), label->y());
}

// The lower status line of the idle window names the portal that a run will
// read; a long host name is shortened to the width of the progress bar.
void TFrmMain::ShowPortalStatus() {
    const QString text = PortalStatusText(environment_.settings.portal, DefaultPortalSettings());
    const QString shown =
        lblStatus->fontMetrics().elidedText(text, Qt::ElideMiddle, prgBar->geometry().width());
    lblStatus->setToolTip(shown == text ? QString() : text);
    SetStatusCaption(lblStatus, shown);
    // The upper line, when nothing else stands there, says how to change it.
    if (lblStatus2->text().trimmed().isEmpty()) {
        SetStatusCaption(lblStatus2,
                         lblStatus2->fontMetrics().elidedText(kStatusPortalHint, Qt::ElideRight,
                                                              prgBar->geometry().width()));
    }
}

int TFrmMain::Ask(const QString& text, const QString& caption, unsigned flags,
                  const QString& detailedText, const QStringList& buttonTexts) {
    if (sessionEnding_) {
        // Nobody is there to answer: a question is answered No (or Cancel).
        qWarning("%s: %s", qUtf8Printable(caption), qUtf8Printable(text));
        switch (flags & 0xF) {
            case kMbYesNo:
                return kIdNo;
            case kMbYesNoCancel:
                return kIdCancel;
            default:
                return kIdOk;
        }
    }
    return environment_.dialogs->MessageBox(this, text, caption, flags, detailedText, buttonTexts);
}

flow::Answer TFrmMain::Ask(const flow::Message& message) {
    QStringList buttonTexts;
    for (const std::string& button : message.buttonTexts) {
        buttonTexts << QtText(button);
    }
    return MessageBoxAnswerOf(Ask(QtText(message.text), QtText(message.caption),
                                  MessageBoxFlags(message), QtText(message.details), buttonTexts));
}

std::optional<flow::Answer> TFrmMain::AskDuringRun(const flow::Message& question) {
    run_ = flow::QuestionShown(run_);
    const flow::Answer answer = Ask(question);
    return flow::QuestionAnswered(run_, answer);
}

std::filesystem::path TFrmMain::settingsPath() const {
    return environment_.dataFolder / kSettingsFileName;
}

void TFrmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Posted, not called: the selection is loaded once the window is on the
    // screen and the event loop picks the message up.
    if (!loadSettingsPosted_) {
        loadSettingsPosted_ = true;
        QCoreApplication::postEvent(this, new QEvent(kLoadSettingsEvent));
    }
}

bool TFrmMain::event(QEvent* event) {
    if (event->type() == kLoadSettingsEvent) {
        LoadSettings();
        return true;
    }
    return QWidget::event(event);
}

void TFrmMain::closeEvent(QCloseEvent* event) {
    switch (flow::CloseRequested(run_)) {
        case flow::CloseAction::Close:
            event->accept();
            return;
        case flow::CloseAction::SaveAndClose:
            SaveSettings();
            ChangePhase(RunPhase::Closed);
            event->accept();
            return;
        case flow::CloseAction::Ask:
            break;
    }
    if (AskDuringRun(flow::CloseQuestion()) == flow::Answer::Yes) {
        CloseConfirmed();
    }
    // The window goes at once only when the run had ended while the question
    // was open; otherwise the run's end closes it once the thread has stopped.
    if (run_.phase == RunPhase::Closed) {
        event->accept();
    } else {
        event->ignore();
    }
}

void TFrmMain::EndSession() {
    if (sessionEnding_ || run_.phase == RunPhase::Closed) {
        return;  // already ending, or the window has gone the usual way
    }
    sessionEnding_ = true;
    environment_.dialogs->CloseOpenDialogs();
    switch (run_.phase) {
        case RunPhase::Running:
        case RunPhase::Stopping:
            break;
        case RunPhase::Ending:
            // The end being shown closes the window (and saves the settings)
            // once its box, closed above, has returned.
            CloseConfirmed();
            return;
        case RunPhase::Idle:
            // Before the settings were loaded the list holds no ticks worth saving.
            if (settingsLoaded_) {
                SaveSettings();
            }
            ChangePhase(RunPhase::Closed);
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
            return;
        case RunPhase::Closed:
            return;
    }
    // As a confirmed close: the run's final call saves the settings and
    // closes the window. Waited for here, so that the settings are saved
    // before this returns to the session manager or to the end of main.
    CloseConfirmed();
    QEventLoop loop;
    connect(this, &TFrmMain::runFinished, &loop, &QEventLoop::quit);
    // The thread's calls arrive as posted events. A loop started while
    // another posted event is being delivered may leave those posted in
    // the meantime waiting, so it also delivers them itself now and then.
    QTimer deliver;
    connect(&deliver, &QTimer::timeout, &loop, [] { QCoreApplication::sendPostedEvents(); });
    deliver.start(kPostedEventsInterval);
    if (run_.phase != RunPhase::Closed) {
        loop.exec();
    }
}

void TFrmMain::WaitForThreadEnd() {
    const QPointer<TMyThread> thread = liveThread_;
    if (thread.isNull()) {
        return;
    }
    // From here on the thread is deleted here, not by its own deleteLater:
    // a deferred delete could otherwise run inside the loop below and leave
    // a dangling pointer behind.
    disconnect(thread, &QThread::finished, thread, &QObject::deleteLater);
    // The thread may be waiting for one of its blocking calls, which only an
    // event loop on this thread can run; while tearing down they return at once.
    if (!thread->isFinished()) {
        QEventLoop loop;
        connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
        if (!thread->isFinished()) {
            loop.exec();
        }
    }
    if (!thread.isNull()) {
        thread->wait();
        delete thread.data();
    }
}

}  // namespace teebasket
