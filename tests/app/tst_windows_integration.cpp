// The window on Windows, under Wine on a virtual display: whole runs against
// a native demo portal (tests/windows/with-native-portal) with the taskbar
// calls they make, Cancel, a continued run, the real program's single
// instance and its settings beside it, and the file the program writes
// compared with the Linux teebasket-cli's.
#include <windows.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <vector>

#include "DesktopShell.h"
#include "PortalRunSupport.h"
#include "W7Taskbar.h"

using namespace teebasket;
using namespace teebasket::testing;

namespace {

constexpr int kHokkaido = 0;
constexpr int kTokyo = 12;
constexpr int kCoursesPerPrefecture = 3;  // the portal's, set by the test command

QString Environment(const char* name) {
    return QString::fromLocal8Bit(qgetenv(name));
}

// Settings that reach the native portal that the test command started.
HarvestSettings NativePortalSettings() {
    HarvestSettings settings;
    settings.portal.listingHost = Environment("TEEBASKET_TEST_PORTAL_HOST").toStdString();
    settings.portal.bookingHost = settings.portal.listingHost;
    settings.portal.caCertificate =
        std::filesystem::path(Environment("TEEBASKET_TEST_PORTAL_CERT").toStdWString());
    settings.retries.waits = {std::chrono::milliseconds(10)};
    return settings;
}

// One taskbar call, as the window made it.
struct TaskbarCall {
    std::uintptr_t window = 0;
    bool isState = false;
    unsigned flag = 0;
    std::uint64_t completed = 0;
    std::uint64_t total = 0;
};

class RecordingTaskbar : public TTaskbarShell {
  public:
    bool SetProgressState(std::uintptr_t window, unsigned flag) override {
        calls.push_back({window, true, flag, 0, 0});
        return true;
    }
    bool SetProgressValue(std::uintptr_t window, std::uint64_t completed,
                          std::uint64_t total) override {
        calls.push_back({window, false, 0, completed, total});
        return true;
    }
    std::vector<TaskbarCall> calls;
};

// The visible top-level window titled `title` of process `pid`, or nullptr.
HWND FindProcessWindow(DWORD pid, const QString& title) {
    struct Search {
        DWORD pid;
        std::wstring title;
        HWND found;
    } search{pid, title.toStdWString(), nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            wchar_t text[256] = {};
            ::GetWindowTextW(window, text, 256);
            if (owner == s->pid && ::IsWindowVisible(window) && s->title == text) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A started program, through CreateProcessW: QProcess names its pipes with
// QRandomGenerator, which crashes under Wine in these test programs.
class ProgramProcess {
  public:
    explicit ProgramProcess(const QString& program) {
        std::wstring commandLine = L"\"" + program.toStdWString() + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        started_ = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0,
                                    nullptr, nullptr, &startup, &info_) != 0;
        if (started_) {
            ::CloseHandle(info_.hThread);
        }
    }
    ~ProgramProcess() {
        if (started_) {
            if (Running()) {
                ::TerminateProcess(info_.hProcess, 99);
            }
            ::CloseHandle(info_.hProcess);
        }
    }
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    DWORD Id() const { return started_ ? info_.dwProcessId : 0; }
    bool Running() const {
        return started_ && ::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
    }
    // The exit code once the program ended within two minutes, otherwise -1.
    long ExitCode() const {
        DWORD code = 0;
        if (!started_ || !QTest::qWaitFor([this] { return !Running(); }, 120000) ||
            !::GetExitCodeProcess(info_.hProcess, &code)) {
            return -1;
        }
        return static_cast<long>(code);
    }

  private:
    bool started_ = false;
    PROCESS_INFORMATION info_{};
};

HWND WaitForProcessWindow(const ProgramProcess& process, const QString& title) {
    HWND window = nullptr;
    const bool ended = QTest::qWaitFor(
        [&] {
            window = FindProcessWindow(process.Id(), title);
            return window != nullptr || !process.Running();
        },
        120000);
    return ended ? window : nullptr;
}

// Presses and releases `keys` (virtual-key codes; held in order, released in
// reverse) as the keyboard does, in the foreground window.
void PressKeys(std::initializer_list<WORD> keys) {
    std::vector<INPUT> inputs;
    for (WORD key : keys) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        inputs.push_back(input);
    }
    for (auto key = std::rbegin(keys); key != std::rend(keys); ++key) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = *key;
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// Types `text` as characters, whatever the keyboard layout.
void TypeText(const QString& text) {
    std::vector<INPUT> inputs;
    for (QChar c : text) {
        for (DWORD flags : {DWORD{KEYEVENTF_UNICODE}, DWORD{KEYEVENTF_UNICODE | KEYEVENTF_KEYUP}}) {
            INPUT input{};
            input.type = INPUT_KEYBOARD;
            input.ki.wScan = c.unicode();
            input.ki.dwFlags = flags;
            inputs.push_back(input);
        }
    }
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// A copy of teebasket.exe in a folder of its own, the portable install.
class PortableCopy {
  public:
    PortableCopy() {
        program_ = File(QStringLiteral("teebasket.exe"));
        QFile::copy(QStringLiteral(TEEBASKET_WINDOW_EXECUTABLE), program_);
    }
    QString program() const { return program_; }
    QString File(const QString& name) const {
        return QDir(QString::fromStdWString(folder_.path().wstring())).filePath(name);
    }
    std::filesystem::path Path(const QString& name) const {
        return std::filesystem::path(File(name).toStdWString());
    }

  private:
    test::TempDir folder_;  // not QTemporaryDir, which crashes under Wine
    QString program_;
};

}  // namespace

class TestWindowsIntegration : public WindowTestCase {
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanupTestCase();

    void wholeRunShowsItsProgressOnTheTaskbarButton();
    void cancelledRunClearsTheTaskbarProgress();
    void continuedRunGivesTheFileOfAWholeRun();
    void openingAMissingFileReportsFailure();
    void secondStartBringsTheRunningWindowBack();
    void programDrivenByKeyboardWritesTheCliFile();

  private:
    bool WaitForRunEnd(int count) {
        return WaitFor([this, count] { return finished_->count() >= count; });
    }
    quint32 EndCode(int run) const { return finished_->at(run).at(0).toUInt(); }
    TFrmMain& CreateRunWindow() {
        taskbar_.calls.clear();
        TFrmMain& window = fixture().CreateShown(NativePortalSettings());
        finished_ = std::make_unique<QSignalSpy>(&window, &TFrmMain::runFinished);
        return window;
    }
    // The progress values and states sent for the main window, in order.
    QString DescribeTaskbar() const {
        QString text;
        for (const TaskbarCall& call : taskbar_.calls) {
            text += call.isState ? QStringLiteral("state %1\n").arg(call.flag)
                                 : QStringLiteral("%1/%2\n").arg(call.completed).arg(call.total);
        }
        return text;
    }

    RecordingTaskbar taskbar_;
    std::unique_ptr<QSignalSpy> finished_;
};

void TestWindowsIntegration::initTestCase() {
    if (Environment("TEEBASKET_TEST_PORTAL_HOST").isEmpty()) {
        QSKIP("no native portal: run through tests/windows/with-native-portal");
    }
    // Every window of the tests reports to the recorder.
    UseTaskbarShell(&taskbar_);
}

void TestWindowsIntegration::cleanupTestCase() {
    UseTaskbarShell(nullptr);
}

void TestWindowsIntegration::wholeRunShowsItsProgressOnTheTaskbarButton() {
    WindowFixture& f = fixture();
    TFrmMain& window = CreateRunWindow();
    f.Dialogs().AnswerMessage(kIdNo);  // 処理確認: not opened
    TickAndStart(f, {kHokkaido, kTokyo}, QStringLiteral("whole.csv"));
    QVERIFY(WaitForRunEnd(1));

    QCOMPARE(EndCode(0), quint32{TFrmMain::kEndCompleted});
    QCOMPARE(CsvLineCount(f.DataFolder() / "whole.csv"), 1 + 2 * kCoursesPerPrefecture);
    QVERIFY(!std::filesystem::exists(f.DataFolder() / "tmp.dat"));
    // The question sound and the flash come before the question.
    const std::vector<DialogCall>& calls = f.Dialogs().Calls();
    QCOMPARE(calls.size(), std::size_t{4});
    QCOMPARE(calls[1].kind, DialogCall::Beep);
    QCOMPARE(calls[2].kind, DialogCall::Flash);
    QCOMPARE(calls[3].kind, DialogCall::Message);

    // Every call names the main window; the value climbs to the whole, and
    // the button shows no progress once the run is over.
    const auto handle = static_cast<std::uintptr_t>(window.winId());
    QVERIFY2(!taskbar_.calls.empty(), "no taskbar call");
    std::uint64_t last = 0;
    for (const TaskbarCall& call : taskbar_.calls) {
        QCOMPARE(call.window, handle);
        if (!call.isState) {
            QVERIFY2(call.completed >= last && call.total == 2, qPrintable(DescribeTaskbar()));
            last = call.completed;
        }
    }
    QCOMPARE(last, std::uint64_t{2});
    QVERIFY2(taskbar_.calls.back().isState && taskbar_.calls.back().flag == 0,
             qPrintable(DescribeTaskbar()));

    // The same rows as the Linux teebasket-cli writes for them.
    const QString cliFile = Environment("TEEBASKET_TEST_CLI_FILE");
    if (!cliFile.isEmpty()) {
        const QByteArray expected = ReadBytes(std::filesystem::path(cliFile.toStdWString()));
        QVERIFY(!expected.isEmpty());
        QVERIFY(ReadBytes(f.DataFolder() / "whole.csv") == expected);
    }
}

void TestWindowsIntegration::cancelledRunClearsTheTaskbarProgress() {
    WindowFixture& f = fixture();
    CreateRunWindow();
    // Cancelled when 東京都 begins.
    f.CancelWhenProgressReaches(2);
    f.Dialogs().AnswerMessage(kIdYes);  // 中断確認
    f.Dialogs().AnswerMessage(kIdOk);   // 取得中断: the rows are in the file
    TickAndStart(f, {kHokkaido, kTokyo}, QStringLiteral("cancelled.csv"));
    QVERIFY(WaitForRunEnd(1));

    QCOMPARE(EndCode(0), quint32{TFrmMain::kEndCancelled});
    QCOMPARE(CsvLineCount(f.DataFolder() / "cancelled.csv"), 1 + kCoursesPerPrefecture);
    QCOMPARE(f.Dialogs().Count(DialogCall::Beep), 0);
    QVERIFY(f.btnAction()->isEnabled());
    QVERIFY(f.prgBar()->isHidden());
    QVERIFY2(
        !taskbar_.calls.empty() && taskbar_.calls.back().isState && taskbar_.calls.back().flag == 0,
        qPrintable(DescribeTaskbar()));
}

void TestWindowsIntegration::continuedRunGivesTheFileOfAWholeRun() {
    WindowFixture& f = fixture();
    TFrmMain& window = CreateRunWindow();
    WriteBytes(f.DataFolder() / "list.csv", "earlier rows\r\n");
    // Stopped when 東京都 begins; the rows of 北海道 stay in the partial file.
    const auto stop = f.CancelWhenProgressReaches(2);
    f.Dialogs().AnswerMessage(kIdYes);  // 上書き確認: list.csv is there
    f.Dialogs().AnswerMessage(kIdYes);  // 中断確認
    f.Dialogs().AnswerMessage(kIdOk);   // 取得中断: the rows are in the partial file
    TickAndStart(f, {kHokkaido, kTokyo}, QStringLiteral("list.csv"));
    QVERIFY(WaitForRunEnd(1));
    disconnect(stop);
    QCOMPARE(EndCode(0), quint32{TFrmMain::kEndCancelled});
    QCOMPARE(CsvLineCount(f.DataFolder() / "list.csv.partial"), 1 + kCoursesPerPrefecture);

    f.Dialogs().Clear();
    f.Dialogs().AnswerMessage(kIdYes);  // 再開確認: 続きから
    f.Dialogs().AnswerMessage(kIdNo);   // 処理確認: not opened
    TickAndStart(f, {kHokkaido, kTokyo}, QStringLiteral("list.csv"));
    QVERIFY(WaitForRunEnd(2));
    QCOMPARE(EndCode(1), quint32{TFrmMain::kEndCompleted});
    QCOMPARE(f.Dialogs().Messages().front().caption, QStringLiteral("再開確認"));
    QVERIFY(window.report().resume.fromPartial);
    QCOMPARE(window.report().coursesKept, kCoursesPerPrefecture);
    QVERIFY(!std::filesystem::exists(f.DataFolder() / "list.csv.partial"));
    const QString cliFile = Environment("TEEBASKET_TEST_CLI_FILE");
    if (!cliFile.isEmpty()) {
        QVERIFY(ReadBytes(f.DataFolder() / "list.csv") ==
                ReadBytes(std::filesystem::path(cliFile.toStdWString())));
    }
}

void TestWindowsIntegration::openingAMissingFileReportsFailure() {
    QVERIFY(!OpenWithShell(fixture().FilePath(QStringLiteral("not-there.csv"))));
}

void TestWindowsIntegration::secondStartBringsTheRunningWindowBack() {
    const PortableCopy copy;
    const ProgramProcess first(copy.program());
    const HWND window = WaitForProcessWindow(first, QStringLiteral("Teebasket"));
    QVERIFY(window != nullptr);
    ::ShowWindow(window, SW_MINIMIZE);
    QVERIFY(QTest::qWaitFor([window] { return ::IsIconic(window) != 0; }, 10000));

    const ProgramProcess second(copy.program());
    QCOMPARE(second.ExitCode(), 1L);
    QVERIFY(QTest::qWaitFor([window] { return ::IsIconic(window) == 0; }, 10000));
    QVERIFY(first.Running());

    ::PostMessageW(window, WM_CLOSE, 0, 0);
    QCOMPARE(first.ExitCode(), 0L);
    // Its folder can be written: the settings are kept beside the program.
    QVERIFY(QFile::exists(copy.File(QStringLiteral("golf.ini"))));
}

// The real program, started as the user starts it, with 北海道 and 東京都
// ticked in its golf.ini and the portal in it, driven by the keyboard: 取得開始
// (Alt+R), the file's name in the save dialog, いいえ to the question, close.
void TestWindowsIntegration::programDrivenByKeyboardWritesTheCliFile() {
    const QString cliFile = Environment("TEEBASKET_TEST_CLI_FILE");
    if (cliFile.isEmpty()) {
        QSKIP("no file of the Linux teebasket-cli to compare with");
    }
    const PortableCopy copy;
    const HarvestSettings settings = NativePortalSettings();
    QByteArray area(47, '0');
    area[kHokkaido] = '1';
    area[kTokyo] = '1';
    WriteBytes(copy.Path(QStringLiteral("golf.ini")),
               "[Config]\r\nArea=" + area + "\r\n[Portal]\r\nListingHost=" +
                   QByteArray::fromStdString(settings.portal.listingHost) +
                   "\r\nBookingHost=" + QByteArray::fromStdString(settings.portal.bookingHost) +
                   "\r\nCACertificate=" + Environment("TEEBASKET_TEST_PORTAL_CERT").toLocal8Bit() +
                   "\r\n");
    const ProgramProcess program(copy.program());
    const HWND window = WaitForProcessWindow(program, QStringLiteral("Teebasket"));
    QVERIFY(window != nullptr);
    const DWORD pid = program.Id();

    // The keys go to the foreground window: wait until it is this one.
    QVERIFY2(QTest::qWaitFor(
                 [window] {
                     ::SetForegroundWindow(window);
                     return ::GetForegroundWindow() == window;
                 },
                 60000),
             "the program's window never came to the foreground");
    PressKeys({VK_MENU, 'R'});
    HWND save = nullptr;
    QVERIFY(QTest::qWaitFor(
        [&] {
            save = ::GetForegroundWindow();
            DWORD owner = 0;
            ::GetWindowThreadProcessId(save, &owner);
            return save != window && owner == pid;
        },
        60000));
    const QString output = copy.File(QStringLiteral("driven.csv"));
    PressKeys({VK_CONTROL, 'A'});  // the name offered goes
    TypeText(QDir::toNativeSeparators(output));
    PressKeys({VK_RETURN});

    // The end of the run: the question whether to open the file.
    HWND question = nullptr;
    QVERIFY(QTest::qWaitFor(
        [&] {
            question = FindProcessWindow(pid, QStringLiteral("処理確認"));
            return question != nullptr;
        },
        120000));
    ::SetForegroundWindow(question);
    PressKeys({VK_ESCAPE});
    QVERIFY(QTest::qWaitFor([&] { return !::IsWindowVisible(question); }, 30000));
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    QCOMPARE(program.ExitCode(), 0L);

    const QByteArray expected = ReadBytes(std::filesystem::path(cliFile.toStdWString()));
    QVERIFY(!expected.isEmpty());
    QVERIFY(ReadBytes(std::filesystem::path(output.toStdWString())) == expected);
}

QTEST_MAIN(TestWindowsIntegration)
#include "tst_windows_integration.moc"
