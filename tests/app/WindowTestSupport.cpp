#include "WindowTestSupport.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <QDir>
#include <QFile>
#include <QTest>

#include "ProfileFile.h"

namespace teebasket::testing {

namespace {

int DefaultAnswer(unsigned flags) {
    if ((flags & 0xF) != kMbYesNo && (flags & 0xF) != kMbYesNoCancel) {
        return kIdOk;
    }
    return (flags & kMbDefButton2) != 0 ? kIdNo : kIdYes;
}

// What a box closed unanswered returns: No, or Cancel where it has it.
int ClosedAnswer(unsigned flags) {
    switch (flags & 0xF) {
        case kMbYesNo:
            return kIdNo;
        case kMbYesNoCancel:
            return kIdCancel;
        default:
            return kIdOk;
    }
}

}  // namespace

void ScriptedDialogs::AnswerMessage(int id) {
    messageAnswers_.push_back([id](const DialogCall&) { return id; });
}

void ScriptedDialogs::AnswerMessage(MessageAnswer answer) {
    messageAnswers_.push_back(std::move(answer));
}

void ScriptedDialogs::AnswerSave(const QString& path, int filter) {
    saveAnswers_.push_back({path, filter});
}

int ScriptedDialogs::MessageBox(QWidget*, const QString& text, const QString& caption,
                                unsigned flags, const QString& detailedText,
                                const QStringList& buttonTexts) {
    DialogCall call;
    call.kind = DialogCall::Message;
    call.text = text;
    call.caption = caption;
    call.flags = flags;
    call.details = detailedText;
    call.buttonTexts = buttonTexts;
    // Recorded before the answer is computed: an answer that runs the event
    // loop may see further boxes, which must come after this one.
    const std::size_t index = calls_.size();
    calls_.push_back(call);
    int answer = 0;
    shown_.push_back(index);
    if (messageAnswers_.empty()) {
        ++unexpected_;
        answer = DefaultAnswer(flags);
    } else {
        MessageAnswer next = std::move(messageAnswers_.front());
        messageAnswers_.pop_front();
        answer = next(call);
    }
    shown_.pop_back();
    if (calls_[index].closed) {
        answer = ClosedAnswer(flags);
    }
    calls_[index].answer = answer;
    return answer;
}

void ScriptedDialogs::CloseOpenDialogs() {
    ++closeOpenDialogsCalls_;
    for (std::size_t index : shown_) {
        calls_[index].closed = true;
    }
}

TSaveDialogAnswer ScriptedDialogs::SaveFileName(QWidget*, const TSaveDialogRequest& request) {
    DialogCall call;
    call.kind = DialogCall::SaveDialog;
    call.request = request;
    TSaveDialogAnswer answer;
    if (saveAnswers_.empty()) {
        ++unexpected_;
    } else {
        answer = saveAnswers_.front();
        saveAnswers_.pop_front();
    }
    call.chosen = answer.path;
    call.filter = answer.filter;
    calls_.push_back(call);
    return answer;
}

void ScriptedDialogs::Beep() {
    DialogCall call;
    call.kind = DialogCall::Beep;
    calls_.push_back(call);
}

void ScriptedDialogs::FlashTaskbarButton(QWidget*) {
    DialogCall call;
    call.kind = DialogCall::Flash;
    calls_.push_back(call);
}

bool ScriptedDialogs::OpenWithRegisteredProgram(const QString& path) {
    DialogCall call;
    call.kind = DialogCall::Open;
    call.path = path;
    calls_.push_back(call);
    return openWorks_;
}

std::vector<DialogCall> ScriptedDialogs::Messages() const {
    std::vector<DialogCall> messages;
    for (const DialogCall& call : calls_) {
        if (call.kind == DialogCall::Message) {
            messages.push_back(call);
        }
    }
    return messages;
}

int ScriptedDialogs::Count(DialogCall::Kind kind) const {
    int count = 0;
    for (const DialogCall& call : calls_) {
        count += call.kind == kind ? 1 : 0;
    }
    return count;
}

WindowFixture::WindowFixture() = default;

WindowFixture::~WindowFixture() {
    Destroy();
}

TFrmMain& WindowFixture::Create(HarvestSettings settings, THarvestBody body) {
    TWindowEnvironment environment;
    environment.dataFolder = DataFolder();
    settings.pauses.afterListing = std::chrono::milliseconds(0);
    settings.pauses.afterDetail = std::chrono::milliseconds(0);
    environment.settings = std::move(settings);
    environment.dialogs = &dialogs_;
    environment.harvestBody = std::move(body);
    window_ = std::make_unique<TFrmMain>(std::move(environment));
    return *window_;
}

TFrmMain& WindowFixture::CreateShown(HarvestSettings settings, THarvestBody body) {
    TFrmMain& window = Create(std::move(settings), std::move(body));
    window.show();
    if (!QTest::qWaitFor([&window] { return window.settingsLoaded(); }, 30000)) {
        QTest::qFail("the window did not load its settings within 30 s after it was shown",
                     __FILE__, __LINE__);
    }
    return window;
}

void WindowFixture::Destroy() {
    window_.reset();
}

std::filesystem::path WindowFixture::DataFolder() const {
    return folder_.path();
}

std::filesystem::path WindowFixture::IniPath() const {
    return DataFolder() / "golf.ini";
}

QString WindowFixture::FilePath(const QString& name) const {
    return QDir(QString::fromStdU16String(folder_.path().u16string())).filePath(name);
}

template <typename T>
T* WindowFixture::Control(const char* name) const {
    return window_ ? window_->findChild<T*>(QString::fromLatin1(name)) : nullptr;
}

QLabel* WindowFixture::lblStatus() const {
    return Control<QLabel>("lblStatus");
}
QLabel* WindowFixture::lblStatus2() const {
    return Control<QLabel>("lblStatus2");
}
QPushButton* WindowFixture::btnAction() const {
    return Control<QPushButton>("btnAction");
}
QPushButton* WindowFixture::btnCancel() const {
    return Control<QPushButton>("btnCancel");
}
QProgressBar* WindowFixture::prgBar() const {
    return Control<QProgressBar>("prgBar");
}
QCheckBox* WindowFixture::chkArea() const {
    return Control<QCheckBox>("chkArea");
}
QListWidget* WindowFixture::lstArea() const {
    return Control<QListWidget>("lstArea");
}

std::vector<int> WindowFixture::TickedRows() const {
    std::vector<int> rows;
    QListWidget* list = lstArea();
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->checkState() == Qt::Checked) {
            rows.push_back(row);
        }
    }
    return rows;
}

void WindowFixture::ToggleByUser(int row) {
    QListWidget* list = lstArea();
    list->setCurrentRow(row);
    QTest::keyClick(list, Qt::Key_Space);
}

QMetaObject::Connection WindowFixture::CancelWhenProgressReaches(int value) {
    return QObject::connect(window_.get(), &TFrmMain::progressStepped, window_.get(),
                            [this, value] {
                                if (prgBar()->value() == value) {
                                    btnCancel()->click();
                                }
                            });
}

void WindowTestCase::init() {
    fixture_ = std::make_unique<WindowFixture>();
}

void WindowTestCase::cleanup() {
    const int unexpected = fixture_->Dialogs().Unexpected();
    const int unused = fixture_->Dialogs().PendingAnswers();
    fixture_.reset();
    QCOMPARE(unexpected, 0);
    QCOMPARE(unused, 0);
}

void WriteBytes(const std::filesystem::path& path, const QByteArray& bytes) {
    QFile file(QString::fromStdString(path.string()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        qFatal("cannot write %s", path.string().c_str());
    }
}

QByteArray ReadBytes(const std::filesystem::path& path) {
    QFile file(QString::fromStdString(path.string()));
    if (!file.open(QIODevice::ReadOnly)) {
        return QByteArray();
    }
    return file.readAll();
}

}  // namespace teebasket::testing

namespace teebasket::testing {

QByteArray ReadArea(const std::filesystem::path& iniFile) {
    return QByteArray::fromStdString(ReadProfileString(iniFile, "Config", "Area", ""));
}

}  // namespace teebasket::testing

#ifndef _WIN32
namespace teebasket::testing {

ProgramStartSlot::ProgramStartSlot(int waitMs) {
    const std::string path = "/tmp/teebasket-tests-" + std::to_string(::geteuid()) + ".lock";
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        unavailable_ = "cannot open " + QByteArray::fromStdString(path);
        return;
    }
    if (!QTest::qWaitFor([this] { return ::flock(fd_, LOCK_EX | LOCK_NB) == 0; }, waitMs)) {
        unavailable_ = "another test process has been starting the program for too long";
        return;
    }
    if (TSingleInstanceLock().state() == TSingleInstanceLock::State::HeldElsewhere) {
        unavailable_ = "a teebasket window of this user is running";
    }
}

ProgramStartSlot::~ProgramStartSlot() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

}  // namespace teebasket::testing
#endif
