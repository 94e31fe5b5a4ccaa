// Helpers of the window tests: dialogs answered from a script and recorded,
// a window on a fresh data folder, and access to its controls by name.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QString>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "TestSupport.h"
#include "Zererav.h"

namespace teebasket::testing {

// One call the window made through TWindowDialogs.
struct DialogCall {
    enum Kind { Message, SaveDialog, Beep, Flash, Open };
    Kind kind = Message;
    QString text;     // Message
    QString caption;  // Message
    unsigned flags = 0;
    QString details;             // Message: the text behind its details button
    QStringList buttonTexts;     // Message: the buttons' own words, when not the standard ones
    TSaveDialogRequest request;  // SaveDialog
    QString path;                // Open
    int answer = 0;              // Message
    bool closed = false;         // Message: closed unanswered while it was shown
    QString chosen;              // SaveDialog
    int filter = 0;              // SaveDialog: the file type chosen
};

// Answers the window's dialogs from queues and records every call. A message
// box with no answer queued is answered with its default button and counted
// as unexpected.
class ScriptedDialogs : public TWindowDialogs {
  public:
    // An answer computed when the box is shown (it may run the event loop,
    // so that the run goes on while the box is "open").
    using MessageAnswer = std::function<int(const DialogCall&)>;

    void AnswerMessage(int id);
    void AnswerMessage(MessageAnswer answer);
    // The full path the save dialog returns, with the index of the file type
    // chosen; "" cancels the dialog.
    void AnswerSave(const QString& path, int filter = 0);
    // Whether opening a file with its program works (as when xdg-open is
    // there); it does unless a test says otherwise.
    void SetOpenWorks(bool works) { openWorks_ = works; }

    int MessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned flags,
                   const QString& detailedText, const QStringList& buttonTexts) override;
    TSaveDialogAnswer SaveFileName(QWidget* owner, const TSaveDialogRequest& request) override;
    void Beep() override;
    void FlashTaskbarButton(QWidget* window) override;
    bool OpenWithRegisteredProgram(const QString& path) override;
    // Counts the call; the box being answered then returns the answer the
    // window gives an unanswered box (ClosedAnswer), whatever its script says.
    void CloseOpenDialogs() override;
    int CloseOpenDialogsCalls() const { return closeOpenDialogsCalls_; }

    const std::vector<DialogCall>& Calls() const { return calls_; }
    std::vector<DialogCall> Messages() const;
    int Count(DialogCall::Kind kind) const;
    int Unexpected() const { return unexpected_; }
    int PendingAnswers() const {
        return static_cast<int>(messageAnswers_.size() + saveAnswers_.size());
    }
    void Clear() { calls_.clear(); }

  private:
    std::deque<MessageAnswer> messageAnswers_;
    std::deque<TSaveDialogAnswer> saveAnswers_;
    bool openWorks_ = true;
    std::vector<DialogCall> calls_;
    std::vector<std::size_t> shown_;  // the message boxes being answered, by index in calls_
    int unexpected_ = 0;
    int closeOpenDialogsCalls_ = 0;
};

// A fresh data folder, the scripted dialogs and a window on them. The
// harvest settings point nowhere until a test sets them.
class WindowFixture {
  public:
    WindowFixture();
    ~WindowFixture();

    // Creates the window with `settings` (zero pauses are set here).
    TFrmMain& Create(HarvestSettings settings = {}, THarvestBody body = ExecuteRun);
    // Creates, shows and waits until the settings have been loaded (the test
    // checks settingsLoaded()).
    TFrmMain& CreateShown(HarvestSettings settings = {}, THarvestBody body = ExecuteRun);
    void Destroy();

    TFrmMain& Window() { return *window_; }
    ScriptedDialogs& Dialogs() { return dialogs_; }
    std::filesystem::path DataFolder() const;
    std::filesystem::path IniPath() const;
    QString FilePath(const QString& name) const;

    QLabel* lblStatus() const;
    QLabel* lblStatus2() const;
    QPushButton* btnAction() const;
    QPushButton* btnCancel() const;
    QProgressBar* prgBar() const;
    QCheckBox* chkArea() const;
    QListWidget* lstArea() const;

    std::vector<int> TickedRows() const;
    // Ticks or clears `row` the way the user does: current row, then Space.
    void ToggleByUser(int row);
    // Clicks Cancel when the progress bar reaches `value` (the prefecture
    // that begins); the connection, to end it earlier.
    QMetaObject::Connection CancelWhenProgressReaches(int value);

  private:
    template <typename T>
    T* Control(const char* name) const;

    // The project's own temporary folder: QTemporaryDir of the static Qt for
    // Windows crashes under Wine.
    test::TempDir folder_;
    ScriptedDialogs dialogs_;
    std::unique_ptr<TFrmMain> window_;
};

// A Qt Test case with a fresh fixture per test function. After each test,
// every message box must have had a scripted answer and every scripted answer
// must have been used.
class WindowTestCase : public QObject {
    Q_OBJECT

  protected:
    WindowFixture& fixture() { return *fixture_; }

  private slots:
    void init();
    void cleanup();

  private:
    std::unique_ptr<WindowFixture> fixture_;
};

// Writes `bytes` to `path` as they are.
void WriteBytes(const std::filesystem::path& path, const QByteArray& bytes);
QByteArray ReadBytes(const std::filesystem::path& path);

// The [Config] Area value of `iniFile`.
QByteArray ReadArea(const std::filesystem::path& iniFile);

// The right of a test process to start the real program, which takes the
// user's single-instance lock: only one test process of the user holds it
// at a time (those of other build folders too), so that their programs do
// not keep each other from starting. Waits up to `wait` for it.
class ProgramStartSlot {
  public:
    explicit ProgramStartSlot(int waitMs = 240000);
    ~ProgramStartSlot();
    ProgramStartSlot(const ProgramStartSlot&) = delete;
    ProgramStartSlot& operator=(const ProgramStartSlot&) = delete;

    // Empty when the program can be started: the slot is held and no
    // program of the user runs. Otherwise why not, for QSKIP.
    QByteArray Unavailable() const { return unavailable_; }

  private:
    int fd_ = -1;
    QByteArray unavailable_;
};

// Message box flags as the window's boxes use them.
inline constexpr unsigned kErrorNoticeFlags = 262208;        // OK, information, topmost
inline constexpr unsigned kQuestionFlags = 262180;           // Yes/No, question, topmost
inline constexpr unsigned kQuestionNoDefaultFlags = 262436;  // ... with No as default
inline constexpr unsigned kPlainNoticeFlags = 64;            // OK, information
inline constexpr unsigned kResumeQuestionFlags = 262179;     // Yes/No/Cancel, question, topmost

}  // namespace teebasket::testing
