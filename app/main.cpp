// teebasket: the desktop window. Exit code 0 after a normal run, 1 when
// another instance is already running (nothing is shown then).
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <cstdio>
#include <exception>

#include "TerminationSignals.h"
#include "W7Taskbar.h"
#include "Zererav.h"
#include "standard_descriptors.h"

int main(int argc, char* argv[]) {
    // Before the lock file: started with standard error closed, the lock
    // file would otherwise take descriptor 2 and collect every message.
    if (!teebasket::OpenClosedStandardDescriptors()) {
        return 1;
    }
    // Before the application object, which opens the display: a second start
    // ends with 1 whether or not a display can be reached.
    const teebasket::TSingleInstanceLock instanceLock;
    if (instanceLock.state() == teebasket::TSingleInstanceLock::State::HeldElsewhere) {
        return 1;
    }
    if (instanceLock.state() == teebasket::TSingleInstanceLock::State::Unavailable) {
        std::fprintf(stderr, "teebasket: %s; running without it\n", instanceLock.problem().c_str());
    }
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
        QApplication::exec();
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QStringLiteral("Teebasket"),
                              QString::fromUtf8(error.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QStringLiteral("Teebasket"), QString());
    }
    teebasket::FinalizeTaskbarAPI();
    return 0;
}
