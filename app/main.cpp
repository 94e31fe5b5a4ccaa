// teebasket: the desktop window. Exit code 0 after a normal run, 1 when
// another instance is already running (nothing is shown then).
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <cstdio>
#include <exception>

#include "W7Taskbar.h"
#include "Zererav.h"

int main(int argc, char* argv[]) {
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
    QApplication::setApplicationName(QStringLiteral("teebasket"));
    QGuiApplication::setDesktopFileName(QStringLiteral("teebasket"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("teebasket")));

    try {
        teebasket::TQtWindowDialogs dialogs;
        teebasket::TFrmMain window(teebasket::ProductionEnvironment(dialogs));
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
