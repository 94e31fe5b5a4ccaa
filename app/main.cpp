// teebasket: the desktop window. Exit code 0 after a normal run, 1 when
// another instance is already running (nothing is shown then). --help and
// --version answer on standard output without a window or a display.
#ifdef _WIN32
#include <windows.h>
#endif

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <cstdio>
#include <exception>
#include <string_view>

#include "Language.h"
#include "PooledThreads.h"
#include "TerminationSignals.h"
#include "W7Taskbar.h"
#include "Zererav.h"
#include "standard_descriptors.h"

#ifndef TEEBASKET_VERSION
#define TEEBASKET_VERSION "unknown"
#endif

namespace {

constexpr std::string_view kUsageEnglish = R"(Usage: teebasket [OPTIONS]

Opens the Teebasket window: tick the prefectures, press 取得開始 and choose
where to save the CSV file of their golf courses. One window runs per user.
From a terminal, teebasket-cli runs the same harvest (teebasket-cli --help).

Options:
  -h, --help       this text
  -V, --version    the program's version
  --results FILE   also opens the window 取得結果 on FILE, an output file of
                   any format (CSV, UTF-8 CSV, JSON Lines, xlsx)
Qt's own options (-platform, -style and others) are taken too.
)";

constexpr std::string_view kUsageJapanese = R"(使い方: teebasket [オプション]

Teebasket のウィンドウを開きます。都道府県を選んで「取得開始」を押し、
ゴルフ場の情報を保存する CSV ファイルを選びます。ウィンドウはユーザー
ごとに1つだけ開きます。端末からは teebasket-cli で同じ取得ができます
（teebasket-cli --help）。

オプション:
  -h, --help       この説明
  -V, --version    バージョン
  --results FILE   「取得結果」のウィンドウで FILE を開きます（CSV、UTF-8 の
                   CSV、JSON Lines、xlsx のどれでも）
Qt のオプション（-platform、-style など）も使えます。
)";

// The text that --help or --version asks for, or "" when the window is to
// open. Looked for before anything opens a display.
std::string_view AnswerWithoutWindow(int argc, char* argv[], teebasket::Language language) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-h" || argument == "--help") {
            return teebasket::Pick(language, kUsageJapanese, kUsageEnglish);
        }
        if (argument == "-V" || argument == "--version") {
            return "teebasket " TEEBASKET_VERSION "\n";
        }
    }
    return {};
}

// The file of --results FILE (or --results=FILE), or "".
QString ResultsFileArgument(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QStringLiteral("--results") && i + 1 < arguments.size()) {
            return arguments[i + 1];
        }
        if (arguments[i].startsWith(QStringLiteral("--results="))) {
            return arguments[i].mid(10);
        }
    }
    return {};
}

// A window program on Windows has no console of its own: started from one
// without its output redirected, --help and --version write to that console.
void AnswerOnTheParentConsole() {
#ifdef _WIN32
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if ((output == nullptr || output == INVALID_HANDLE_VALUE) &&
        ::AttachConsole(ATTACH_PARENT_PROCESS)) {
        [[maybe_unused]] const FILE* console = std::freopen("CONOUT$", "w", stdout);
    }
#endif
}

// The window, from the application object to its end.
void RunWindow(int& argc, char* argv[]) {
    QApplication application(argc, argv);
    teebasket::InstallJapaneseTranslations(application);
    QApplication::setApplicationName(QStringLiteral("teebasket"));
    QGuiApplication::setDesktopFileName(QStringLiteral("teebasket"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("teebasket")));

    try {
        teebasket::TQtWindowDialogs dialogs;
        teebasket::TFrmMain window(teebasket::ProductionEnvironment(dialogs));
        // SIGTERM, Ctrl-C, a closed terminal and the end of the session end
        // the program as a confirmed close does, without a question.
        teebasket::TTerminationSignals terminationSignals;
        QObject::connect(&terminationSignals, &teebasket::TTerminationSignals::terminationRequested,
                         &window, &teebasket::TFrmMain::EndSession);
        QObject::connect(&application, &QGuiApplication::commitDataRequest, &window,
                         &teebasket::TFrmMain::EndSession);
        QObject::connect(&application, &QCoreApplication::aboutToQuit, &window,
                         &teebasket::TFrmMain::EndSession);
        window.show();
        if (const QString results = ResultsFileArgument(QApplication::arguments());
            !results.isEmpty()) {
            window.ShowResults(results);
        }
        QApplication::exec();
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QStringLiteral("Teebasket"),
                              QString::fromUtf8(error.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QStringLiteral("Teebasket"), QString());
    }
    teebasket::FinalizeTaskbarAPI();
}

}  // namespace

int main(int argc, char* argv[]) {
    // Before the lock file: started with standard error closed, the lock
    // file would otherwise take descriptor 2 and collect every message.
    if (!teebasket::OpenClosedStandardDescriptors()) {
        return 1;
    }
    if (const std::string_view answer =
            AnswerWithoutWindow(argc, argv, teebasket::ProcessLanguage());
        !answer.empty()) {
        AnswerOnTheParentConsole();
        std::fwrite(answer.data(), 1, answer.size(), stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
    // Before the application object, which opens the display: a second start
    // ends with 1 whether or not a display can be reached.
    const teebasket::TSingleInstanceLock instanceLock;
    if (instanceLock.state() == teebasket::TSingleInstanceLock::State::HeldElsewhere) {
        teebasket::BringRunningInstanceToFront();
        return 1;
    }
    if (instanceLock.state() == teebasket::TSingleInstanceLock::State::Unavailable) {
        std::fprintf(stderr, "teebasket: %s; running without it\n", instanceLock.problem().c_str());
    }
    RunWindow(argc, argv);
    // Bounded: a pooled thread that does not end only costs its thread data.
    teebasket::WaitForPooledThreadsToEnd(std::chrono::seconds(1));
    return 0;
}
