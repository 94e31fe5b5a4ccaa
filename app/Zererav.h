// Zererav: the main window of Teebasket and the thread that drives one run.
//
// TFrmMain shows the 47 prefectures, keeps the selection in golf.ini, starts a
// run into the CSV file that the user names, follows it on a progress bar,
// two status lines and the taskbar button, and reports its outcome. Every
// message box, the save dialog, the beep, the taskbar flash and the opening of
// the finished file go through TWindowDialogs, so that tests can answer them.
//
// TMyThread runs the harvest engine (Unithread.h) and turns each observer call
// into a blocking call on the user-interface thread: the engine waits while
// the window shows the progress, and its final call (RunEnded) runs the
// window's Cancel handler, which ends the run.
#pragma once

#include <QEvent>
#include <QPointer>
#include <QString>
#include <QThread>
#include <QWidget>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "Unithread.h"

class QCheckBox;
class QCoreApplication;
class QFileDialog;
class QLabel;
class QListWidget;
class QMessageBox;
class QProgressBar;
class QPushButton;
class QTranslator;

namespace teebasket {

class TVistaAltFix;
class TMyThread;

// ---------------------------------------------------------------------------
// Dialogs

// Message box flags and answers, with the values that Windows gives them, so
// that a box is described the same way on every platform.
inline constexpr unsigned kMbOk = 0x0;
inline constexpr unsigned kMbYesNo = 0x4;
inline constexpr unsigned kMbIconError = 0x10;
inline constexpr unsigned kMbIconQuestion = 0x20;
inline constexpr unsigned kMbIconInformation = 0x40;
inline constexpr unsigned kMbDefButton2 = 0x100;
inline constexpr unsigned kMbTopmost = 0x40000;

inline constexpr int kIdOk = 1;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// What the save dialog shows.
struct TSaveDialogRequest {
    QString title;
    QString filter;    // in Qt's form: "description (*.ext)"
    QString fileName;  // the name offered
    bool confirmOverwrite = true;
    bool hideReadOnly = true;
    bool resizable = true;
};

// Every dialog and desktop service that the window uses.
class TWindowDialogs {
  public:
    virtual ~TWindowDialogs() = default;
    // Shows a message box owned by `owner` and returns the pressed button
    // (kIdOk, kIdYes or kIdNo). `flags` combine the kMb* values.
    virtual int MessageBox(QWidget* owner, const QString& text, const QString& caption,
                           unsigned flags) = 0;
    // Runs the save dialog; the chosen file's full path, or "" when cancelled.
    virtual QString SaveFileName(QWidget* owner, const TSaveDialogRequest& request) = 0;
    // The system's question sound.
    virtual void Beep() = 0;
    // Draws the user's attention to `window`'s taskbar button until the
    // window is activated.
    virtual void FlashTaskbarButton(QWidget* window) = 0;
    // Opens `path` with the program registered for its type; the result is
    // not looked at.
    virtual void OpenWithRegisteredProgram(const QString& path) = 0;
    // Closes every dialog that is open, unanswered: a question returns No, the
    // save dialog no file. For the end of the session.
    virtual void CloseOpenDialogs() = 0;
};

// The real dialogs: QMessageBox (on top of other windows where the flags ask
// it), QFileDialog, QApplication::beep, QApplication::alert and
// QDesktopServices::openUrl.
class TQtWindowDialogs : public TWindowDialogs {
  public:
    int MessageBox(QWidget* owner, const QString& text, const QString& caption,
                   unsigned flags) override;
    QString SaveFileName(QWidget* owner, const TSaveDialogRequest& request) override;
    void Beep() override;
    void FlashTaskbarButton(QWidget* window) override;
    void OpenWithRegisteredProgram(const QString& path) override;
    void CloseOpenDialogs() override;
};

// The message box that TQtWindowDialogs shows for `flags`: icon, buttons,
// default button and the stay-on-top hint. Not yet shown.
std::unique_ptr<QMessageBox> BuildMessageBox(QWidget* owner, const QString& text,
                                             const QString& caption, unsigned flags);

// The kId* answer for a button of a box built by BuildMessageBox.
int MessageBoxAnswer(int standardButton);

// The save dialog that TQtWindowDialogs shows for `request`: Qt's own dialog,
// not the desktop's, so that its texts are the program's Japanese whatever
// the desktop's language. Not yet shown.
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
    HarvestSettings settings;
    TWindowDialogs* dialogs = nullptr;
    THarvestBody harvestBody = ExecuteRun;
};

// The production environment: the data folder of the running executable, the
// portal of its golf.ini, the fixed pauses, and `dialogs`.
TWindowEnvironment ProductionEnvironment(TWindowDialogs& dialogs);

// `chosen` with ".csv" appended unless its extension (from the last dot of
// the file name on) is ".csv" in any case.
QString AppendCsvExtension(const QString& chosen);

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
// The main window

class TFrmMain : public QWidget {
    Q_OBJECT

  public:
    // End codes of a run, written only by the window.
    enum EndCode : std::uint32_t {
        kEndCompleted = 0,       // run active, no stop asked; at the end: rows written
        kEndNothingFound = 1,    // the run wrote no row
        kEndCancelled = 2,       // the user confirmed Cancel
        kEndFailed = 3,          // the run could not do its work (HarvestReport::failure)
        kEndClosing = 5,         // a close was confirmed; the run is still to be stopped
        kEndClosingStopped = 6,  // a close was confirmed and the run asked to stop
        kEndUnreachable = 9,     // the portal could not be reached
    };

    // The message that loads the settings once the window has been shown.
    static constexpr QEvent::Type kLoadSettingsEvent =
        static_cast<QEvent::Type>(QEvent::User + 100);

    explicit TFrmMain(TWindowEnvironment environment, QWidget* parent = nullptr);
    // Stops a run still going and waits for its thread.
    ~TFrmMain() override;

    // Selection and settings
    void chkAreaClick();
    void lstAreaClickCheck();
    void LoadSettings();
    void SaveSettings();

    // Run control
    void btnActionClick();
    void btnCancelClick();
    void RunFinished(std::uint32_t code);

    // Ends the program without a question, for SIGTERM and the end of the
    // session: closes open dialogs unanswered, stops a run as Cancel does and
    // waits for its end (the CSV file keeps its rows, the scratch file goes),
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
    void RunEnded();

    // State, for the thread and for tests.
    std::uint32_t endCode() const { return endCode_; }
    TMyThread* thread() const { return thread_.data(); }
    // The report of the current or last run; an empty one before the first.
    const HarvestReport& report() const;
    // A run is going: from Start until the run is over (before its final
    // call), or until its thread has ended without one.
    bool running() const;
    QString outputPath() const { return outputPath_; }
    std::filesystem::path settingsPath() const;
    bool settingsLoaded() const { return settingsLoaded_; }
    bool taskbarAvailable() const { return taskbarAvailable_; }

  signals:
    // Emitted at the end of the matching call, after the window has shown it.
    void progressStarted();
    void progressStepped();
    void statusUpdated();
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
    void SetStatusCaption(QLabel* label, const QString& caption);
    int Ask(const QString& text, const QString& caption, unsigned flags);
    int TickedCount() const;
    std::vector<int> TickedRows() const;
    bool ClearOutputPath(const QString& confirmedPath);
    void EnterRunningState();
    void StartThread();
    void LeaveRunningState();
    QString CompletedText() const;
    QString NothingFoundText() const;
    QString UnreachableText() const;
    void ShowStoppedRunFiles();
    std::uint32_t EndCodeOfRun() const;
    void HarvestThreadFinished(TMyThread* finished);
    void WaitForThreadEnd();

    TWindowEnvironment environment_;
    TVistaAltFix* vistaAltFix_ = nullptr;

    QLabel* lblStatus = nullptr;
    QLabel* lblStatus2 = nullptr;
    QPushButton* btnAction = nullptr;
    QProgressBar* prgBar = nullptr;
    QPushButton* btnCancel = nullptr;
    QCheckBox* chkArea = nullptr;
    QListWidget* lstArea = nullptr;

    // The current or last run, and the thread while it runs.
    std::unique_ptr<HarvestRun> harvest_;
    QPointer<TMyThread> thread_;
    QPointer<TMyThread> liveThread_;  // kept until the thread has finished
    CrawlPace pace_;
    bool threadGone_ = false;        // the run's thread ended without its final call
    QString threadFailure_;          // the thread ended without its final call
    bool taskbarAvailable_ = false;  // the taskbar (or launcher) progress is in use
    QString outputPath_;
    std::uint32_t endCode_ = kEndCompleted;
    bool cursorOverridden_ = false;
    // The current run's final call (RunEnded) has come; until then a Cancel
    // or close after the run has stopped running leaves the ending to it.
    bool finalCallArrived_ = false;

    bool loadSettingsPosted_ = false;
    bool settingsLoaded_ = false;
    bool closeApproved_ = false;
    bool sessionEnding_ = false;
    bool tearingDown_ = false;
};

// ---------------------------------------------------------------------------
// The harvest thread

class TMyThread : public QThread {
    Q_OBJECT

  public:
    // Runs `run` for `window`. The window and the run outlive the thread.
    TMyThread(TFrmMain& window, HarvestRun& run, THarvestBody body);

    // What escaped the run, read once the thread has finished.
    const QString& failure() const { return failure_; }

  protected:
    void run() override;

  private:
    class Observer;

    TFrmMain& window_;
    HarvestRun& run_;
    THarvestBody body_;
    QString failure_;
};

}  // namespace teebasket
