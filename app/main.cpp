// teebasket: the desktop window. Exit code 0 after a normal run, 1 when
// another instance is already running (nothing is shown then).
#include <QApplication>
#include <QIcon>
#include <QLockFile>
#include <QMessageBox>
#include <exception>

#include "TerminationSignals.h"
#include "W7Taskbar.h"
#include "Zererav.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    teebasket::InstallJapaneseTranslations(application);
    QApplication::setApplicationName(QStringLiteral("teebasket"));
    QGuiApplication::setDesktopFileName(QStringLiteral("teebasket"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("teebasket")));

    const std::unique_ptr<QLockFile> instanceLock = teebasket::AcquireSingleInstanceLock();
    if (!instanceLock) {
        return 1;
    }
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
