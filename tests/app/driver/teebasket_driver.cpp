// A Qt generic plugin that drives the real teebasket program for the tests
// that run it as a process (QT_QPA_GENERIC_PLUGINS=teebasketdriver, with this
// plugin's folder on QT_PLUGIN_PATH). The program itself is not changed.
//
// TEEBASKET_DRIVE=ready  writes "teebasket-driver: ready" to standard error
//                        once the window has loaded its ticks from golf.ini;
// TEEBASKET_DRIVE=start  also presses Start and answers the save dialog with
//                        the file TEEBASKET_DRIVE_SAVE_AS.
#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QGenericPlugin>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>

namespace {

class Driver : public QObject {
  public:
    Driver() {
        start_ = qEnvironmentVariable("TEEBASKET_DRIVE") == QStringLiteral("start");
        saveAs_ = qEnvironmentVariable("TEEBASKET_DRIVE_SAVE_AS");
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, &Driver::Step);
        timer->start(50);
    }

  private:
    void Step() {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            // Typed once the dialog has settled: while it still reads its
            // folder it may put the name it was opened with back.
            if (start_ && !answered_ && ++dialogSteps_ >= kSettleSteps) {
                answered_ = true;
                dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(saveAs_);
                QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
                Say("answered the save dialog");
            }
            return;
        }
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            if (!reportedBox_) {
                reportedBox_ = true;
                std::fprintf(stderr, "teebasket-driver: a box is open: %s / %s\n",
                             qPrintable(box->windowTitle()), qPrintable(box->text()));
                std::fflush(stderr);
            }
            return;
        }
        QWidget* window = MainWindow();
        if (window == nullptr || ready_) {
            return;
        }
        auto* list = window->findChild<QListWidget*>(QStringLiteral("lstArea"));
        if (list == nullptr || list->currentRow() < 0) {
            return;  // the ticks are not loaded yet
        }
        ready_ = true;
        Say("ready");
        if (start_) {
            auto* start = window->findChild<QAbstractButton*>(QStringLiteral("btnAction"));
            // Queued: the click runs the save dialog, whose event loop must
            // let this timer answer it.
            QMetaObject::invokeMethod(start, &QAbstractButton::click, Qt::QueuedConnection);
            Say("pressed Start");
        }
    }

    static QWidget* MainWindow() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == QStringLiteral("FrmMain") && widget->isVisible()) {
                return widget;
            }
        }
        return nullptr;
    }

    static void Say(const char* what) {
        std::fprintf(stderr, "teebasket-driver: %s\n", what);
        std::fflush(stderr);
    }

    bool start_ = false;
    QString saveAs_;
    bool ready_ = false;
    static constexpr int kSettleSteps = 6;  // of 50 ms
    int dialogSteps_ = 0;
    bool answered_ = false;
    bool reportedBox_ = false;
};

}  // namespace

class TeebasketDriverPlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "teebasket_driver.json")

  public:
    QObject* create(const QString& key, const QString&) override {
        if (key.compare(QStringLiteral("teebasketdriver"), Qt::CaseInsensitive) != 0) {
            return nullptr;
        }
        return new Driver;  // deleted by the application at its end
    }
};

#include "teebasket_driver.moc"
