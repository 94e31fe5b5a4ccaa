// The launcher progress as a desktop sees it on the session bus while the
// real window runs against teebasket-portal. Runs inside its own session bus
// (dbus-run-session).
#include <QDBusConnection>
#include <QSignalSpy>
#include <QTest>
#include <QVariantMap>

#include "TestSupport.h"
#include "W7Taskbar.h"
#include "WindowTestSupport.h"

using namespace teebasket;
using namespace teebasket::testing;

namespace {

// Collects every com.canonical.Unity.LauncherEntry "Update" signal on the bus.
class LauncherListener : public QObject {
    Q_OBJECT

  public:
    struct Update {
        QString appUri;
        QVariantMap properties;
    };

    explicit LauncherListener(const QString& connectionName)
        : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName)) {
        subscribed_ =
            bus_.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
                         QStringLiteral("Update"), this, SLOT(OnUpdate(QString, QVariantMap)));
    }
    ~LauncherListener() override { QDBusConnection::disconnectFromBus(bus_.name()); }

    bool Subscribed() const { return subscribed_ && bus_.isConnected(); }
    const std::vector<Update>& Updates() const { return updates_; }
    bool LastHidesProgress() const {
        return !updates_.empty() &&
               updates_.back().properties.value(QStringLiteral("progress-visible")).toBool() ==
                   false;
    }

  public slots:
    void OnUpdate(const QString& appUri, const QVariantMap& properties) {
        updates_.push_back(Update{appUri, properties});
    }

  private:
    QDBusConnection bus_;
    bool subscribed_ = false;
    std::vector<Update> updates_;
};

}  // namespace

class TestLauncherProgress : public WindowTestCase {
    Q_OBJECT

  private slots:
    void initTestCase();
    void runProgressAppearsOnTheLauncherAndIsClearedAtTheEnd();
    void endingTheProgramClearsTheProgress();
};

void TestLauncherProgress::initTestCase() {
    QVERIFY2(QDBusConnection::sessionBus().isConnected(),
             "this test runs inside its own session bus (dbus-run-session)");
}

void TestLauncherProgress::runProgressAppearsOnTheLauncherAndIsClearedAtTheEnd() {
    test::PortalProcess::Options options;
    options.extraArgs = {"--courses-per-prefecture", "2"};
    test::PortalProcess portal(options);
    LauncherListener listener(QStringLiteral("listener-run"));
    QVERIFY(listener.Subscribed());

    HarvestSettings settings;
    settings.portal.listingHost = portal.host();
    settings.portal.bookingHost = portal.host();
    settings.portal.caCertificate = portal.certificate();
    WindowFixture& f = fixture();
    TFrmMain& window = f.CreateShown(settings);
    QVERIFY(window.taskbarAvailable());

    QSignalSpy finished(&window, &TFrmMain::runFinished);
    f.ToggleByUser(0);
    f.ToggleByUser(1);
    f.ToggleByUser(2);
    f.Dialogs().AnswerSave(f.FilePath("launcher.csv"));
    f.Dialogs().AnswerMessage(kIdNo);
    f.btnAction()->click();
    QVERIFY(QTest::qWaitFor([&] { return finished.count() == 1; }, 120000));
    QVERIFY(QTest::qWaitFor([&] { return listener.Updates().size() >= 4; }, 60000));

    const std::vector<LauncherListener::Update>& updates = listener.Updates();
    QCOMPARE(updates.size(), std::size_t{4});
    const std::vector<double> fractions{1.0 / 3.0, 2.0 / 3.0, 1.0};
    for (std::size_t k = 0; k < fractions.size(); ++k) {
        QCOMPARE(updates[k].appUri, QStringLiteral("application://teebasket.desktop"));
        QCOMPARE(updates[k].properties.value("progress-visible").toBool(), true);
        QVERIFY(qFuzzyCompare(updates[k].properties.value("progress").toDouble(), fractions[k]));
    }
    QCOMPARE(updates[3].appUri, QStringLiteral("application://teebasket.desktop"));
    QVERIFY(listener.LastHidesProgress());
}

void TestLauncherProgress::endingTheProgramClearsTheProgress() {
    LauncherListener listener(QStringLiteral("listener-end"));
    QVERIFY(listener.Subscribed());
    QVERIFY(InitializeTaskbarAPI());
    QVERIFY(SetTaskbarProgressValue(1, 2));
    FinalizeTaskbarAPI();
    QVERIFY(QTest::qWaitFor([&] { return listener.Updates().size() >= 2; }, 60000));
    QVERIFY(qFuzzyCompare(listener.Updates()[0].properties.value("progress").toDouble(), 0.5));
    QVERIFY(listener.LastHidesProgress());
    QVERIFY(!SetTaskbarProgressValue(1, 2));
}

QTEST_MAIN(TestLauncherProgress)
#include "tst_launcher_progress.moc"
