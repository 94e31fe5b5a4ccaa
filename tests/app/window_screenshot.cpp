// teebasket-window-screenshot: shows the real window on the current X display
// (scripts/screenshot runs it under Xvfb), starts a run against a portal and
// saves a picture of the screen around the window in the middle of the run;
// or, with --idle, pictures the idle window set to the build's own portal,
// which its lower status line names.
//
// usage: teebasket-window-screenshot OUTPUT.png DATA-FOLDER HOST CA-CERTIFICATE
//        teebasket-window-screenshot --idle OUTPUT.png DATA-FOLDER
// DATA-FOLDER holds golf.ini (the ticked prefectures) and receives the CSV file.
#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "WindowTestSupport.h"

using namespace teebasket;
using namespace teebasket::testing;

namespace {

// The moment of the picture: the second prefecture, its second course.
constexpr int kPicturedPrefecture = 2;
constexpr int kPicturedCourse = 2;

bool SaveScreenAround(QWidget& window, const QString& output) {
    window.repaint();
    QCoreApplication::processEvents();
    const QRect area = window.frameGeometry();
    const QPixmap picture =
        window.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    return !picture.isNull() && picture.save(output, "PNG");
}

// The idle window, its settings loaded, set to the build's default portal.
int PictureIdleWindow(const QString& output, const QString& dataFolder) {
    ScriptedDialogs dialogs;
    TWindowEnvironment environment;
    environment.dataFolder = dataFolder.toStdString();
    environment.settings.portal = DefaultPortalSettings();
    environment.dialogs = &dialogs;
    TFrmMain window(std::move(environment));
    window.show();
    if (!QTest::qWaitForWindowExposed(&window) ||
        !QTest::qWaitFor([&window] { return window.settingsLoaded(); }, 10000)) {
        std::fprintf(stderr, "the window was not shown in time\n");
        return 1;
    }
    const bool saved = SaveScreenAround(window, output);
    std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "saved" : "could not save",
                 qPrintable(output));
    return saved ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() == 4 && args[1] == QStringLiteral("--idle")) {
        return PictureIdleWindow(args[2], args[3]);
    }
    if (args.size() != 5) {
        std::fprintf(stderr,
                     "usage: teebasket-window-screenshot OUTPUT.png DATA-FOLDER HOST "
                     "CA-CERTIFICATE\n"
                     "       teebasket-window-screenshot --idle OUTPUT.png DATA-FOLDER\n");
        return 2;
    }
    const QString output = args[1];
    const QString dataFolder = args[2];

    ScriptedDialogs dialogs;
    dialogs.AnswerSave(dataFolder + QStringLiteral("/ゴルフ場一覧.csv"));
    dialogs.AnswerMessage(kIdYes);  // the close question after the picture

    TWindowEnvironment environment;
    environment.dataFolder = dataFolder.toStdString();
    environment.settings.portal.listingHost = args[3].toStdString();
    environment.settings.portal.bookingHost = args[3].toStdString();
    environment.settings.portal.caCertificate = args[4].toStdString();
    environment.dialogs = &dialogs;

    TFrmMain window(std::move(environment));
    auto* progress = window.findChild<QProgressBar*>(QStringLiteral("prgBar"));
    bool saved = false;
    QObject::connect(&window, &TFrmMain::statusUpdated, &window, [&] {
        if (saved || progress->value() != kPicturedPrefecture ||
            window.report().courseIndex != kPicturedCourse) {
            return;
        }
        // Taken inside the thread's call: the run waits, so the window shows
        // exactly this step.
        saved = SaveScreenAround(window, output);
        std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "saved" : "could not save",
                     qPrintable(output));
        QTimer::singleShot(0, &window, [&window] { window.close(); });
    });
    QObject::connect(&window, &TFrmMain::runFinished, &application, [&] {
        if (!saved) {
            std::fprintf(stderr, "the run ended before the pictured step\n");
            QApplication::exit(1);
        }
    });

    window.show();
    QTimer::singleShot(0, &window, [&window] {
        QCoreApplication::sendPostedEvents(&window, TFrmMain::kLoadSettingsEvent);
        window.findChild<QPushButton*>(QStringLiteral("btnAction"))->click();
    });
    const int code = QApplication::exec();
    return code == 0 && saved ? 0 : 1;
}
