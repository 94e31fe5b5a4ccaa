// Zererav: the main window of Teebasket and the thread that drives one run.
//
// TFrmMain shows the 47 prefectures, keeps the selection in golf.ini, starts a
// run into the file that the user names (in the format of the file type
// chosen), follows it on a progress bar, three status lines and the taskbar
// button, and reports its outcome. Every message box, the save dialog, the
// beep, the taskbar flash and the opening of the finished file go through
// TWindowDialogs, so that tests can answer them.
//
// TMyThread runs the harvest engine (Unithread.h) and turns each observer call
// into a blocking call on the user-interface thread: the engine waits while
// the window shows the progress. Its final call (RunEnded) ends the run in the
// window: the end code from how the run ended (or from the stop), the last-run
// record in golf.ini, and the end message.
//
// What Start asks, how a run goes from phase to phase and how its end is
// shown are decided by the run flow (WindowFlow.h, without Qt); TFrmMain
// shows what the flow asks and hands back the answers.
#pragma once

#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Unithread.h"
#include "WindowFlow.h"

class QAction;
class QCheckBox;
class QCoreApplication;
class QFileDialog;
class QFormLayout;
class QLineEdit;
class QLabel;
class QListWidget;
class QMessageBox;
class QProgressBar;
class QPushButton;
class QTranslator;

namespace teebasket {

class TVistaAltFix;
class TResultsWindow;
class TMyThread;

// ---------------------------------------------------------------------------
// Dialogs

// Message box flags and answers, with the values that Windows gives them, so
// that a box is described the same way on every platform.
inline constexpr unsigned kMbOk = 0x0;
inline constexpr unsigned kMbYesNoCancel = 0x3;
inline constexpr unsigned kMbYesNo = 0x4;
inline constexpr unsigned kMbIconError = 0x10;
inline constexpr unsigned kMbIconQuestion = 0x20;
inline constexpr unsigned kMbIconInformation = 0x40;
inline constexpr unsigned kMbDefButton2 = 0x100;
inline constexpr unsigned kMbTopmost = 0x40000;
// The end message of a run offers a button 結果を表示 beside its answers.
inline constexpr unsigned kMbResultsButton = 0x1000000;

inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;
inline constexpr int kIdShowResults = 100;  // the button 結果を表示

// What the save dialog shows.
struct TSaveDialogRequest {
    QString title;
    // The file types in Qt's form, "description (*.ext)"; the first is chosen
    // when the dialog opens.
    QStringList filters;
    QString fileName;  // the name offered, or a full path (its folder is opened)
    bool confirmOverwrite = true;
    bool hideReadOnly = true;
    bool resizable = true;
    int filter = 0;  // the index of the file type offered
};

// What the user chose in the save dialog.
struct TSaveDialogAnswer {
    QString path;    // the chosen file's full path; "" when the dialog was cancelled
    int filter = 0;  // the index of the chosen file type in the request's filters
};

// Every dialog and desktop service that the window uses.
class TWindowDialogs {
  public:
    virtual ~TWindowDialogs() = default;
    // Shows a message box owned by `owner` and returns the pressed button
    // (kIdOk, kIdYes, kIdNo or kIdCancel). `flags` combine the kMb* values.
    // A non-empty `detailedText` is offered behind the box's details button.
    // `buttonTexts`, when not empty, are the buttons' own words in the order
    // Yes, No, Cancel.
    virtual int MessageBox(QWidget* owner, const QString& text, const QString& caption,
                           unsigned flags, const QString& detailedText,
                           const QStringList& buttonTexts) = 0;
    // Runs the save dialog.
    virtual TSaveDialogAnswer SaveFileName(QWidget* owner, const TSaveDialogRequest& request) = 0;
    // The system's question sound.
    virtual void Beep() = 0;
    // Draws the user's attention to `window`'s taskbar button until the
    // window is activated.
    virtual void FlashTaskbarButton(QWidget* window) = 0;
    // Opens `path` with the program registered for its type; false when the
    // desktop could not hand it to any program.
    virtual bool OpenWithRegisteredProgram(const QString& path) = 0;
    // Closes every dialog that is open, unanswered: a question returns No (a
    // three-button question Cancel), the save dialog no file. For the end of
    // the session, and for a run that ends while a question of it is open.
    virtual void CloseOpenDialogs() = 0;
};

// The real dialogs: QMessageBox (on top of other windows where the flags ask
// it), QFileDialog, and the desktop's sound, taskbar flash and file opening
// (DesktopShell.h).
class TQtWindowDialogs : public TWindowDialogs {
  public:
    int MessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned flags,
                   const QString& detailedText, const QStringList& buttonTexts) override;
    TSaveDialogAnswer SaveFileName(QWidget* owner, const TSaveDialogRequest& request) override;
    void Beep() override;
    void FlashTaskbarButton(QWidget* window) override;
    bool OpenWithRegisteredProgram(const QString& path) override;
    void CloseOpenDialogs() override;
};

// The message box that TQtWindowDialogs shows for `flags`: icon, buttons,
// default button and the stay-on-top hint, `detailedText` behind its
// details button, and the buttons' own words when `buttonTexts` has them
// (Yes, No, Cancel). Not yet shown.
std::unique_ptr<QMessageBox> BuildMessageBox(QWidget* owner, const QString& text,
                                             const QString& caption, unsigned flags,
                                             const QString& detailedText = QString(),
                                             const QStringList& buttonTexts = QStringList());

// The kId* answer for a button of a box built by BuildMessageBox.
int MessageBoxAnswer(int standardButton);

// The flags of the box that shows `message`, and the answer that a kId*
// value stands for.
unsigned MessageBoxFlags(const flow::Message& message);
flow::Answer MessageBoxAnswerOf(int id);

// The save dialog that TQtWindowDialogs shows for `request`: Qt's own dialog,
// not the desktop's, so that its texts are the program's Japanese whatever
// the desktop's language. Choosing another file type gives the name offered
// that type's extension. Not yet shown.
std::unique_ptr<QFileDialog> BuildSaveDialog(QWidget* owner, const TSaveDialogRequest& request);

// ---------------------------------------------------------------------------
// Language

// Makes every text that Qt itself shows Japanese (message-box buttons, the
// save dialog and its overwrite question) and Japanese the default locale.
// Installs Qt's own catalogue qtbase_ja when it is found, and beneath it the
// window's own Japanese for what the catalogue lacks. The application owns
// both. Returns whether qtbase_ja was found.
bool InstallJapaneseTranslations(QCoreApplication& application);

// Qt's catalogue qtbase_ja from Qt's translations folder, or from the folder
// "translations" beside the program; null when neither has it.
std::unique_ptr<QTranslator> LoadQtJapaneseCatalogue();

// The window's own Japanese for Qt's texts that qtbase_ja lacks (the save
// dialog's type column, its invalid-name message), and for the buttons and
// labels of the message boxes and the save dialog, should the catalogue be
// missing.
std::unique_ptr<QTranslator> CreateOwnJapaneseTexts();

// ---------------------------------------------------------------------------
// Environment

// The body of one run; production runs HarvestRun::Execute.
using THarvestBody = std::function<void(HarvestRun&, HarvestObserver&)>;

inline void ExecuteRun(HarvestRun& run, HarvestObserver& observer) {
    run.Execute(observer);
}

// What the window needs from outside: where golf.ini and tmp.dat live, how to
// reach the portal, and the dialogs. The dialogs object outlives the window.
struct TWindowEnvironment {
    std::filesystem::path dataFolder;
    // teebasket-cli, which the system's scheduler starts for a schedule;
    // beside the window's own program when empty.
    std::filesystem::path cliProgram;
    HarvestSettings settings;
    TWindowDialogs* dialogs = nullptr;
    THarvestBody harvestBody = ExecuteRun;
};

// The production environment: the data folder of the running executable, the
// portal of its golf.ini, the fixed pauses, and `dialogs`.
TWindowEnvironment ProductionEnvironment(TWindowDialogs& dialogs);

// `chosen` with `extension` (such as ".csv") appended unless its extension
// (from the last dot of the file name on) is `extension` in any case.
QString AppendExtension(const QString& chosen, const QString& extension);

// The save dialog's file types in Qt's form (flow::OutputTypes).
QStringList OutputTypeFilters();

// The extension (".xlsx") of a filter in Qt's form ("Excelブック (*.xlsx)").
QString FilterExtension(const QString& filter);

// `name` as typed in the save dialog, its extension, when it is that of one
// of `filters`, changed to that of `chosen`; any other name as it is.
QString WithTypeExtension(const QString& name, const QStringList& filters, const QString& chosen);

// ---------------------------------------------------------------------------
// The portal

// The demo portal: the build's default portal (`defaults`), on a loopback
// host, so never one that another machine serves.
bool IsDemoPortal(const PortalSettings& portal, const PortalSettings& defaults);

// What the idle window's lower status line says about the portal that a run
// will read: "接続先: デモポータル", or the listing host.
QString PortalStatusText(const PortalSettings& portal, const PortalSettings& defaults);

// ---------------------------------------------------------------------------
// Single instance

#ifndef _WIN32
// The two folders where a user's lock file may be, fixed for the user
// whatever the environment holds, so that every start of the program by the
// user looks in the same place.
struct SingleInstanceLockPlaces {
    std::filesystem::path shared;  // /tmp/teebasket-UID
    // .cache/teebasket in the user's home folder as the user database has
    // it (not $HOME); empty when the user has none.
    std::filesystem::path own;
};

// This user's places.
SingleInstanceLockPlaces UserLockPlaces();
#endif

// The lock that one running instance holds for its whole life. It is taken
// before the application object opens the display, so that a second start
// ends with exit code 1 with or without a display.
//
// On Windows it is the named mutex "Zide_Darere" of the session's local
// namespace. Elsewhere it is an advisory lock (flock) on the file
// "Zide_Darere.lock" in a folder that only the user can write (see
// SingleInstanceLockFolder); the system drops it when the process ends, so a
// crashed instance never leaves a stale lock.
class TSingleInstanceLock {
  public:
    enum class State {
        Held,           // this instance holds the lock
        HeldElsewhere,  // another instance of the user runs
        Unavailable     // no private place for the lock; the program runs without it
    };

    TSingleInstanceLock();  // tries once, without waiting
#ifndef _WIN32
    // The lock in `places` instead of the user's own (for tests).
    explicit TSingleInstanceLock(const SingleInstanceLockPlaces& places);
#endif
    ~TSingleInstanceLock();
    TSingleInstanceLock(const TSingleInstanceLock&) = delete;
    TSingleInstanceLock& operator=(const TSingleInstanceLock&) = delete;

    State state() const {
        return state_;
    }
    // Why the lock is Unavailable (UTF-8); empty otherwise.
    const std::string& problem() const {
        return problem_;
    }

  private:
    State state_ = State::Unavailable;
    std::string problem_;
    std::intptr_t handle_ = -1;  // the lock file's descriptor, or the mutex handle
};

// What a second start does before it ends: on Windows it brings the running
// instance's main window to the front (restored when minimised); elsewhere
// nothing, as the desktop decides which window is in front.
void BringRunningInstanceToFront();

#ifndef _WIN32
// The folder of the lock file among `places`: `shared`, which this process
// creates with mode 0700 when it is missing; when that name is taken by
// anything else (another user can make it first), `own`. A folder counts only
// when it is a real folder (not a symbolic link) owned by the user that no
// one else can write to. Empty, with `problem` filled, when neither is.
std::filesystem::path SingleInstanceLockFolder(const SingleInstanceLockPlaces& places,
                                               std::string& problem);
// The same for this user's places.
std::filesystem::path SingleInstanceLockFolder(std::string& problem);
#endif

// ---------------------------------------------------------------------------
// The portal settings

// One page that a connection test asked for.
struct TConnectionProbe {
    std::string url;    // ASCII
    FetchResult fetch;  // its download

    // The page came, with a 2xx status.
    bool Read() const {
        return fetch.Stored() && fetch.httpStatus >= 200 && fetch.httpStatus < 300;
    }
};

// What a connection test found.
struct TConnectionTest {
    std::string hostProblem;   // why a host cannot be used (UTF-8); nothing was asked
    TConnectionProbe listing;  // page 1 of the prefecture's listing (ListingHost)
    int courses = 0;           // the course cards on it, when it was read
    // The detail page of the listing's first course (BookingHost); asked for
    // only when the listing was read and named a course.
    std::optional<TConnectionProbe> detail;
};

// Reads page 1 of the listing of prefecture `row` from `portal` as a run
// reads it, counts its course cards and reads the first course's detail
// page, each into `scratchPath` (removed afterwards). `stop` gives the
// downloads up early.
TConnectionTest TestPortalConnection(const PortalSettings& portal, int row,
                                     const std::filesystem::path& scratchPath, FetchOptions options,
                                     const FetchStop* stop);

// The host of a URL pasted into a host field: "host:port" of an https
// address, or `typed` as it is when it is none.
QString HostOfPastedAddress(const QString& typed);

// The dialog "接続先の設定": the [Portal] keys ListingHost, BookingHost and
// CACertificate of golf.ini. An empty field stands for the build's default
// (shown greyed). Saving checks the hosts and writes the keys that changed;
// every other line of the file stays as it was. "接続テスト" reads page 1 of a
// prefecture's listing and one detail page with the settings as typed, on a
// thread of its own, and says in Japanese which host failed and why. A pasted
// https address in a host field stands for its host; "参照..." picks the
// certificate file.
class TPortalSettingsDialog : public QDialog {
    Q_OBJECT

  public:
    // `row` is the prefecture whose listing the test reads; `scratchPath` is
    // the file the test's page goes to.
    TPortalSettingsDialog(std::filesystem::path iniFile, PortalSettings defaults, int row,
                          std::filesystem::path scratchPath, FetchOptions fetchOptions,
                          QWidget* parent = nullptr);
    // Gives a test still going up and waits for its thread.
    ~TPortalSettingsDialog() override;

    // The settings as typed; an empty field takes the default.
    PortalSettings EnteredSettings() const;
    void StartConnectionTest();
    bool connectionTestRunning() const { return testThread_ != nullptr; }
    // Saves and closes, or stays open and says what is wrong.
    void accept() override;

    // How "参照..." asks for the certificate file: given the file or folder to
    // start from, the file chosen, or "" when none was. A file dialog unless
    // set.
    using CertificateChooser = std::function<QString(const QString& start)>;
    void setCertificateChooser(CertificateChooser chooser) {
        chooseCertificate_ = std::move(chooser);
    }

  signals:
    void connectionTestFinished(const QString& text);

  private:
    struct Field {
        const char* key;
        QLineEdit* edit = nullptr;
        std::string saved;  // the value in golf.ini when the dialog opened
    };

    // The field's row; `beside` (when given) stands to the right of it.
    QLineEdit* AddField(QFormLayout& form, Field& field, const QString& label,
                        const QString& placeholder, QWidget* beside = nullptr);
    QString Problem() const;
    QString Save();
    void ShowTestResult(const TConnectionTest& test);
    void ShowProblemAndClearResult(const QString& problem);
    void BrowseCertificate();

    std::filesystem::path iniFile_;
    PortalSettings defaults_;
    int row_ = 0;
    std::filesystem::path scratchPath_;
    FetchOptions fetchOptions_;
    Field listingHost_{"ListingHost", nullptr, {}};
    Field bookingHost_{"BookingHost", nullptr, {}};
    Field caCertificate_{"CACertificate", nullptr, {}};
    QPushButton* testButton_ = nullptr;
    QLabel* testResult_ = nullptr;
    QLabel* problem_ = nullptr;
    QThread* testThread_ = nullptr;
    std::shared_ptr<StopFlag> testStop_;
    CertificateChooser chooseCertificate_;
};

// ---------------------------------------------------------------------------
// The main window

class TFrmMain : public QWidget {
    Q_OBJECT

  public:
    // End codes of a run, written only by the window, and the window's side
    // of a run (flow::RunPhase). ChangePhase is the only way from one phase
    // to the next.
    using EndCode = flow::EndCode;
    using enum flow::EndCode;
    using RunPhase = flow::RunPhase;

    // The message that loads the settings once the window has been shown.
    static constexpr QEvent::Type kLoadSettingsEvent =
        static_cast<QEvent::Type>(QEvent::User + 100);

    explicit TFrmMain(TWindowEnvironment environment, QWidget* parent = nullptr);
    // Stops a run still going and waits for its thread.
    ~TFrmMain() override;

    // Selection and settings
    void chkAreaClick();
    void lstAreaClickCheck();
    // The list's context menu: ticks every prefecture of region `region`
    // (PrefectureRegions), or clears them when all are ticked already.
    void TickRegion(int region);
    QList<QAction*> regionActions() const { return regionActions_; }
    void LoadSettings();
    void SaveSettings();

    // Run control
    void btnActionClick();
    void btnCancelClick();
    void RunFinished(std::uint32_t code);

    // Opens the dialog "接続先の設定" (the context menu's first entry). While
    // a run goes it is not offered.
    void EditPortalSettings();
    // The entry of the window's context menu that opens it.
    QAction* portalSettingsAction() const { return portalSettingsAction_; }

    // Shows the window 取得結果 (the context menu's entry 取得結果...), made
    // once and kept beside this one; `file` opened in it, compared with the
    // previous run of the last run's selection in the history.
    void ShowResults(const QString& file);
    QAction* resultsAction() const { return resultsAction_; }
    TResultsWindow* resultsWindow() const;

    // Opens the dialog 定期取得 (the context menu's entry 定期取得...); a new
    // schedule starts from the ticked prefectures and the last file saved to.
    void EditSchedules();
    QAction* schedulesAction() const { return schedulesAction_; }

    // Ends the program without a question, for SIGTERM and the end of the
    // session: closes open dialogs unanswered, stops a run as Cancel does and
    // waits for its end (the run's file keeps its rows, the scratch file goes),
    // saves golf.ini and closes the window. From here on no message box is
    // shown; its text goes to standard error. Runs once; later calls return.
    // Called from the event loop (a signal, the session manager, the end of
    // main), never from inside ProgressStart, ProgressStep or StatusUpdate,
    // whose thread it would wait for.
    void EndSession();
    bool sessionEnding() const { return sessionEnding_; }

    // The harvest thread's calls, made on the user-interface thread.
    void ProgressStart();
    void ProgressStep();
    void StatusUpdate();
    void RetryWaiting();
    void RunEnded();

    // State, for the thread and for tests.
    RunPhase phase() const { return run_.phase; }
    // The end code of the current run as far as it is known, or of the last.
    std::uint32_t endCode() const { return run_.endCode; }
    TMyThread* thread() const { return thread_.data(); }
    // The request and report of the current or last run; an empty report and
    // no request before the first.
    const HarvestRequest* request() const;
    const HarvestReport& report() const;
    // A run is going: from Start until the run is over (before its final
    // call), or until its thread has ended without one.
    bool running() const;
    QString outputPath() const { return outputPath_; }
    const PortalSettings& portal() const { return environment_.settings.portal; }
    std::filesystem::path settingsPath() const;
    bool settingsLoaded() const { return settingsLoaded_; }
    bool taskbarAvailable() const { return taskbarAvailable_; }

  signals:
    // Emitted at the end of the matching call, after the window has shown it.
    void progressStarted();
    void progressStepped();
    void statusUpdated();
    void retryWaiting();
    // Emitted when RunFinished has put the window back to idle (or has begun
    // to close it).
    void runFinished(quint32 code);

  protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;  // the close query

  private:
    void FormCreate();
    void CreateControls();
    void CreateContextMenu();
    void SetStatusCaption(QLabel* label, const QString& caption);
    void ShowPortalStatus();
    void ShowScheduleAttention();  // a scheduled run's alert, at the start
    int Ask(const QString& text, const QString& caption, unsigned flags,
            const QString& detailedText = QString(), const QStringList& buttonTexts = {});
    // Asks a question of the run (中断確認, 終了確認): its answer, or nothing
    // when the run's end closed it.
    std::optional<flow::Answer> AskDuringRun(const flow::Message& question);
    void ShowTimes();
    void ShowOutcome(const flow::ClockTime& ended);
    flow::Answer Ask(const flow::Message& message);
    int TickedCount() const;
    std::vector<int> TickedRows() const;
    // The select-all row's count and the region entries' marks, after any
    // change of the ticks.
    void ShowTickedCount();

    // Start
    HarvestRequest MakeRequest(OutputFormat format) const;
    void StartRun(HarvestRequest request);
    void EnterRunningState();
    void LeaveRunningState();

    // The transitions of a run.
    void ChangePhase(RunPhase next);
    void Apply(const flow::RunStep& step);
    void CloseConfirmed();
    void EndRun();
    void CloseWindow(std::uint32_t code);
    void HarvestThreadFinished(TMyThread* finished);
    void WaitForThreadEnd();

    // The end of a run.
    flow::FailureWording Wording() const;
    void OpenOutputFile();

    TWindowEnvironment environment_;
    TVistaAltFix* vistaAltFix_ = nullptr;

    QLabel* lblStatus = nullptr;
    QLabel* lblStatus2 = nullptr;
    QLabel* lblTimes = nullptr;  // the time so far and left, or the retry waited for
    QPushButton* btnAction = nullptr;
    QProgressBar* prgBar = nullptr;
    QPushButton* btnCancel = nullptr;
    QCheckBox* chkArea = nullptr;
    QListWidget* lstArea = nullptr;
    QAction* portalSettingsAction_ = nullptr;
    QList<QAction*> regionActions_;
    QAction* resultsAction_ = nullptr;
    QAction* schedulesAction_ = nullptr;
    QPointer<TResultsWindow> resultsWindow_;

    // The current or last run, and the thread while it runs.
    flow::RunState run_;
    std::shared_ptr<HarvestRun> harvest_;
    QPointer<TMyThread> thread_;      // until the run's end has come
    QPointer<TMyThread> liveThread_;  // until the thread has finished
    CrawlPace pace_;
    QString threadFailure_;  // why the run's thread ended without its final call
    flow::ProgressLines progress_;
    std::chrono::steady_clock::time_point runStarted_;
    QString outcomeLine_;  // how the last run ended, shown once the window is idle
    // The save dialog's last choice, from golf.ini until a run is started;
    // written with the selection.
    std::optional<flow::SaveChoice> saveChoice_;
    bool taskbarAvailable_ = false;  // the taskbar (or launcher) progress is in use
    QString outputPath_;
    bool cursorOverridden_ = false;

    bool loadSettingsPosted_ = false;
    bool settingsLoaded_ = false;
    bool sessionEnding_ = false;
};

// ---------------------------------------------------------------------------
// The harvest thread

class TMyThread : public QThread {
    Q_OBJECT

  public:
    // Runs `run` for `window`. The window outlives the thread; the run lives
    // at least as long as the thread.
    TMyThread(TFrmMain& window, std::shared_ptr<HarvestRun> run, THarvestBody body);

    // What escaped the run, read once the thread has finished.
    const QString& failure() const { return failure_; }

  protected:
    void run() override;

  private:
    class Observer;

    TFrmMain& window_;
    std::shared_ptr<HarvestRun> run_;
    THarvestBody body_;
    QString failure_;
};

}  // namespace teebasket
