// The portal as the window shows it: the idle status line, the context menu
// and its shortcut, the dialog 接続先の設定 writing golf.ini (every other
// line kept), and its connection test against a demo portal, a closed port,
// a portal whose certificate is not trusted and a portal without the page.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <memory>

#include "PortalRunSupport.h"

using namespace teebasket;
using namespace teebasket::testing;

namespace {

constexpr int kTokyo = 12;

QLineEdit* Field(QWidget& dialog, const char* key) {
    return dialog.findChild<QLineEdit*>(QStringLiteral("edit") + QString::fromLatin1(key));
}

QString Shown(QWidget& dialog, const char* name) {
    return dialog.findChild<QLabel*>(QString::fromLatin1(name))->text();
}

// Runs `open`, which opens the settings dialog modally, and `act` on the
// dialog once it is shown; `act` ends by closing it.
void WithDialog(const std::function<void()>& open,
                const std::function<void(TPortalSettingsDialog&)>& act) {
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&poll, &act] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<TPortalSettingsDialog*>(widget);
            if (dialog != nullptr && dialog->isVisible()) {
                poll.stop();
                act(*dialog);
                return;
            }
        }
    });
    poll.start(10);
    open();
}

}  // namespace

class TestWindowPortal : public WindowTestCase {
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanupTestCase();

    void idleStatusLineNamesThePortal();
    void statusLineShowsAScheduledRunsAlertAtTheStart();
    void demoPortalIsTheBuildsDefaultOnLoopback();
    void contextMenuOpensTheSettingsAndShowsItsShortcut();
    void settingsDialogKeepsEveryOtherLineOfGolfIni();
    void settingsDialogRefusesABadHostAndWritesNothing();
    void savedSettingsTakeEffectForTheNextRun();
    void connectionTestSaysWhatHappened();
    void pastedAddressGivesItsHostAndBrowsePicksTheCertificate();

  private:
    // A dialog on the fixture's golf.ini, reading 東京都's listing.
    std::unique_ptr<TPortalSettingsDialog> OpenDialog();
    // Types the settings and presses 接続テスト; the text it shows in the
    // end. The booking host is `host` unless given.
    QString ConnectionTest(TPortalSettingsDialog& dialog, const std::string& host,
                           const std::filesystem::path& certificate,
                           const std::string& bookingHost = {});

    std::unique_ptr<test::PortalProcess> portal_;
};

void TestWindowPortal::initTestCase() {
    portal_ = std::make_unique<test::PortalProcess>(
        test::PortalProcess::Options{.extraArgs = {"--courses-per-prefecture", "3"}});
}

void TestWindowPortal::cleanupTestCase() {
    portal_.reset();
}

std::unique_ptr<TPortalSettingsDialog> TestWindowPortal::OpenDialog() {
    FetchOptions options;
    options.connectTimeout = std::chrono::seconds(10);
    auto dialog = std::make_unique<TPortalSettingsDialog>(
        fixture().IniPath(), DefaultPortalSettings(), kTokyo, fixture().DataFolder() / "tmp.dat",
        options);
    dialog->show();
    return dialog;
}

QString TestWindowPortal::ConnectionTest(TPortalSettingsDialog& dialog, const std::string& host,
                                         const std::filesystem::path& certificate,
                                         const std::string& bookingHost) {
    Field(dialog, "ListingHost")->setText(QString::fromStdString(host));
    Field(dialog, "BookingHost")
        ->setText(QString::fromStdString(bookingHost.empty() ? host : bookingHost));
    Field(dialog, "CACertificate")->setText(QString::fromStdString(certificate.string()));
    QSignalSpy finished(&dialog, &TPortalSettingsDialog::connectionTestFinished);
    dialog.findChild<QPushButton*>(QStringLiteral("btnConnectionTest"))->click();
    // The test runs on a thread of its own: the dialog answers meanwhile.
    if (!dialog.connectionTestRunning() ||
        !Shown(dialog, "lblTestResult").endsWith(QStringLiteral(" に接続しています..."))) {
        return QStringLiteral("the test did not start on its own thread");
    }
    if (!WaitFor([&finished] { return finished.count() == 1; })) {
        return QStringLiteral("the test did not end");
    }
    return Shown(dialog, "lblTestResult");
}

void TestWindowPortal::idleStatusLineNamesThePortal() {
    WindowFixture& f = fixture();
    HarvestSettings settings;
    settings.portal = DefaultPortalSettings();
    settings.portal.listingHost = "portal.example.jp";
    f.CreateShown(settings);
    QCOMPARE(f.lblStatus()->text(), QStringLiteral("接続先: portal.example.jp"));
    QCOMPARE(f.lblStatus()->geometry().right() + 1, 301);

    // A long name is shortened to the width of the progress bar; the tool
    // tip has it whole.
    f.Destroy();
    settings.portal.listingHost = "reservations.golf-courses-of-the-whole-country.example.jp:8443";
    f.CreateShown(settings);
    QVERIFY(f.lblStatus()->text().contains(u'…'));
    QVERIFY(f.lblStatus()->width() <= f.prgBar()->width());
    QCOMPARE(f.lblStatus()->toolTip(),
             QStringLiteral("接続先: ") + QString::fromStdString(settings.portal.listingHost));

    // The build's own portal on this machine is the demo portal.
    f.Destroy();
    settings.portal = DefaultPortalSettings();
    f.CreateShown(settings);
    if (!IsLoopbackHost(settings.portal.listingHost)) {
        QSKIP("this build's default portal is not on this machine");
    }
    QCOMPARE(f.lblStatus()->text(), QStringLiteral("接続先: デモポータル"));
}

// A scheduled run that needs attention leaves a marker in the data folder:
// its report first, then the schedule and the alerts.
void TestWindowPortal::statusLineShowsAScheduledRunsAlertAtTheStart() {
    WindowFixture& f = fixture();
    const std::filesystem::path report = f.DataFolder() / "一覧.changes.xlsx";
    {
        std::ofstream marker(f.DataFolder() / "attention.txt", std::ios::binary);
        marker << report.string() << "\nkanto\nThe run wrote no file.\n";
    }
    HarvestSettings settings;
    settings.portal = DefaultPortalSettings();
    f.CreateShown(settings);
    QVERIFY2(f.lblStatus()->text().startsWith(QStringLiteral("要確認: ")),
             qPrintable(f.lblStatus()->text()));
    QCOMPARE(f.lblStatus()->geometry().right() + 1, 301);
    QVERIFY(f.lblStatus()->width() <= f.prgBar()->width());
    const QString details = f.lblStatus()->toolTip();
    QVERIFY2(details.contains(QString::fromStdString(report.string())), qPrintable(details));
    QVERIFY(details.contains(QStringLiteral("kanto")));
    QVERIFY(details.endsWith(QStringLiteral("\nThe run wrote no file.")));
}

void TestWindowPortal::demoPortalIsTheBuildsDefaultOnLoopback() {
    for (const char* host :
         {"127.0.0.1:48443", "localhost", "LOCALHOST:1", "[::1]:9", "::1", "127.1.2.3"}) {
        QVERIFY2(IsLoopbackHost(host), host);
    }
    for (const char* host :
         {"portal.example.jp", "128.0.0.1", "127.0.0.1.example.jp", "10.0.0.1:8443", "[::2]"}) {
        QVERIFY2(!IsLoopbackHost(host), host);
    }
    const PortalSettings demo{"127.0.0.1:48443", "127.0.0.1:48443", {}};
    QVERIFY(IsDemoPortal(demo, demo));
    // Another port on this machine is not the build's portal, and a build
    // whose default is a real portal has no demo portal.
    QVERIFY(!IsDemoPortal({"127.0.0.1:9", "127.0.0.1:48443", {}}, demo));
    const PortalSettings real{"www.example.jp", "reserve.example.jp", {}};
    QVERIFY(!IsDemoPortal(real, real));
    QCOMPARE(PortalStatusText(demo, demo), QStringLiteral("接続先: デモポータル"));
    QCOMPARE(PortalStatusText(real, demo), QStringLiteral("接続先: www.example.jp"));
    // A host with a control character in it is shown escaped.
    QCOMPARE(PortalStatusText({"a\x1b[2Jb", "x", {}}, demo), QStringLiteral("接続先: a\\x1B[2Jb"));
}

void TestWindowPortal::contextMenuOpensTheSettingsAndShowsItsShortcut() {
    WindowFixture& f = fixture();
    TFrmMain& window = f.CreateShown(SettingsFor(*portal_));
    QAction* action = window.portalSettingsAction();
    QCOMPARE(window.contextMenuPolicy(), Qt::ActionsContextMenu);
    QVERIFY(window.actions().contains(action));
    QCOMPARE(action->text(), QStringLiteral("接続先の設定(&P)..."));
    QCOMPARE(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
    QVERIFY(action->isShortcutVisibleInContextMenu());

    // The shortcut opens the dialog; Cancel leaves golf.ini alone.
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QString title;
    WithDialog([&window] { QTest::keyClick(&window, Qt::Key_P, Qt::ControlModifier); },
               [&title](TPortalSettingsDialog& dialog) {
                   title = dialog.windowTitle();
                   dialog.reject();
               });
    QCOMPARE(title, QStringLiteral("接続先の設定"));
    QVERIFY(!std::filesystem::exists(f.IniPath()));

    // Not offered while a run goes: the connection test would be a second
    // request at a time.
    connect(&window, &TFrmMain::progressStarted, this, [action] { QVERIFY(!action->isEnabled()); });
    QSignalSpy finished(&window, &TFrmMain::runFinished);
    f.Dialogs().AnswerMessage(kIdNo);
    TickAndStart(f, {kTokyo}, QStringLiteral("run.csv"));
    QVERIFY(!action->isEnabled());
    QVERIFY(WaitFor([&finished] { return finished.count() == 1; }));
    QVERIFY(action->isEnabled());
}

void TestWindowPortal::settingsDialogKeepsEveryOtherLineOfGolfIni() {
    WindowFixture& f = fixture();
    // Comments, a blank line, another section with a key of the same name,
    // a line ended by LF alone, blanks around "=".
    const QByteArray before =
        "; Teebasket\r\n[Config]\r\nArea=0000000000001\r\n\r\n[Portal]\n"
        "ListingHost = old.example.jp\r\n; the booking host follows\r\nExtra=keep me\r\n"
        "[Other]\r\nListingHost=not this one\r\n";
    WriteBytes(f.IniPath(), before);
    TFrmMain& window = f.CreateShown(SettingsFor(*portal_));
    const QString newHost = QString::fromStdString(portal_->host());
    QString shownBefore;
    WithDialog([&window] { window.EditPortalSettings(); },
               [&](TPortalSettingsDialog& dialog) {
                   shownBefore = Field(dialog, "ListingHost")->text();
                   Field(dialog, "ListingHost")->setText(newHost);
                   Field(dialog, "BookingHost")->setText(newHost + QStringLiteral("  "));
                   dialog.accept();
               });

    QCOMPARE(shownBefore, QStringLiteral("old.example.jp"));
    const QByteArray host = newHost.toUtf8();
    QCOMPARE(ReadBytes(f.IniPath()),
             "; Teebasket\r\n[Config]\r\nArea=0000000000001\r\n\r\n[Portal]\n"
             "ListingHost = " +
                 host + "\r\n; the booking host follows\r\nExtra=keep me\r\nBookingHost=" + host +
                 "\r\n[Other]\r\nListingHost=not this one\r\n");
    // The idle window names the portal saved.
    QCOMPARE(f.lblStatus()->text(), QStringLiteral("接続先: ") + newHost);
}

void TestWindowPortal::settingsDialogRefusesABadHostAndWritesNothing() {
    WindowFixture& f = fixture();
    WriteBytes(f.IniPath(), "[Portal]\r\nListingHost=old.example.jp\r\n");
    f.CreateShown();
    const std::unique_ptr<TPortalSettingsDialog> dialog = OpenDialog();
    for (const QString& bad :
         {QStringLiteral("http://portal.example.jp"), QStringLiteral("portal.example.jp/doc"),
          QStringLiteral("portal.example.jp:70000"), QStringLiteral("portal example.jp"),
          QStringLiteral("https://portal.example.jp:70000/doc")}) {
        Field(*dialog, "BookingHost")->setText(bad);
        dialog->accept();
        QVERIFY(dialog->isVisible());
        // The field by its label, as the dialog shows it.
        QVERIFY2(Shown(*dialog, "lblProblem")
                     .startsWith(QStringLiteral("詳細ページのホストに指定した「") + bad + u'」'),
                 qPrintable(Shown(*dialog, "lblProblem")));
        QVERIFY(Shown(*dialog, "lblProblem").contains(QStringLiteral("は接続先として使えません")));
    }
    // A certificate file that is not there.
    Field(*dialog, "BookingHost")->setText(QString());
    Field(*dialog, "CACertificate")->setText(QStringLiteral("no-such-cert.pem"));
    dialog->accept();
    QVERIFY(dialog->isVisible());
    QVERIFY(Shown(*dialog, "lblProblem").startsWith(QStringLiteral("信頼する証明書のファイルが")));
    QCOMPARE(ReadBytes(f.IniPath()), QByteArray("[Portal]\r\nListingHost=old.example.jp\r\n"));
}

void TestWindowPortal::savedSettingsTakeEffectForTheNextRun() {
    WindowFixture& f = fixture();
    const test::ClosedLoopbackPort closed;
    HarvestSettings nowhere = SettingsFor(*portal_);
    nowhere.portal.listingHost = closed.host();
    nowhere.portal.bookingHost = closed.host();
    TFrmMain& window = f.CreateShown(nowhere);
    const QString host = QString::fromStdString(portal_->host());
    const QString certificate = QString::fromStdString(portal_->certificate().string());
    WithDialog([&window] { window.EditPortalSettings(); },
               [&](TPortalSettingsDialog& dialog) {
                   Field(dialog, "ListingHost")->setText(host);
                   Field(dialog, "BookingHost")->setText(host);
                   Field(dialog, "CACertificate")->setText(certificate);
                   dialog.accept();
               });
    QSignalSpy finished(&window, &TFrmMain::runFinished);
    f.Dialogs().AnswerMessage(kIdNo);
    TickAndStart(f, {kTokyo}, QStringLiteral("saved.csv"));
    QVERIFY(WaitFor([&finished] { return finished.count() == 1; }));
    QCOMPARE(finished.at(0).at(0).toUInt(), quint32{TFrmMain::kEndCompleted});
    QCOMPARE(window.request()->settings.portal.listingHost, portal_->host());
    QCOMPARE(CsvLineCount(f.DataFolder() / "saved.csv"), 1 + 3);
}

void TestWindowPortal::connectionTestSaysWhatHappened() {
    WindowFixture& f = fixture();
    f.CreateShown();
    const std::unique_ptr<TPortalSettingsDialog> dialog = OpenDialog();
    const QString listing = QStringLiteral("/doc/area/tokyo/?sort=kana&page=1");
    const auto url = [&listing](const std::string& host) {
        return QStringLiteral("\nhttps://") + QString::fromStdString(host) + listing;
    };

    // Both hosts: the listing, then the detail page of its first course.
    const std::size_t detailsBefore = DetailRequests(*portal_).size();
    const QString read = ConnectionTest(*dialog, portal_->host(), portal_->certificate());
    QVERIFY2(read.startsWith(QStringLiteral("接続できました。東京都の一覧の1ページ目に 3 件のゴルフ"
                                            "場があります。\n1件目の詳細ページも読めました。") +
                             url(portal_->host()) + QStringLiteral("\nhttps://") +
                             QString::fromStdString(portal_->host()) +
                             QStringLiteral("/guide/disp/c_id/")),
             qPrintable(read));
    QCOMPARE(DetailRequests(*portal_).size(), detailsBefore + 1);
    QVERIFY(!std::filesystem::exists(f.DataFolder() / "tmp.dat"));

    const test::ClosedLoopbackPort closed;
    const QString closedHost = QString::fromStdString(closed.host());
    QCOMPARE(ConnectionTest(*dialog, closed.host(), portal_->certificate()),
             QStringLiteral("一覧のホスト（%1）に接続できませんでした: 接続が拒否されました")
                     .arg(closedHost) +
                 url(closed.host()));

    // The listing answers; the booking host is a closed port.
    const QString detail =
        ConnectionTest(*dialog, portal_->host(), portal_->certificate(), closed.host());
    QVERIFY2(
        detail.startsWith(
            QStringLiteral("一覧のホストには接続できました。東京都の一覧の1ページ目に 3 "
                           "件のゴルフ場があります。\n詳細ページのホスト（%1）に接続できませんで"
                           "した: 接続が拒否されました\nhttps://%1/guide/disp/c_id/")
                .arg(closedHost)),
        qPrintable(detail));

    // A portal whose certificate is another portal's.
    const test::PortalProcess other;
    QCOMPARE(ConnectionTest(*dialog, other.host(), portal_->certificate()),
             QStringLiteral("一覧のホスト（%1）に接続できませんでした: 証明書が信頼されていません")
                     .arg(QString::fromStdString(other.host())) +
                 url(other.host()));

    // A portal that answers, but not with the listing.
    test::TempDir pages;
    test::WriteFileBytes(pages.path() / "listing" / "osaka.html", "");
    const test::PortalProcess without({.pagesDir = pages.path()});
    QCOMPARE(ConnectionTest(*dialog, without.host(), without.certificate()),
             QStringLiteral("一覧のホスト（%1）に接続できましたが、一覧のページを読めませんでし"
                            "た: ページが見つかりません（HTTP 404）")
                     .arg(QString::fromStdString(without.host())) +
                 url(without.host()));

    // A new problem clears the result shown before it.
    Field(*dialog, "ListingHost")->setText(QStringLiteral("bad host"));
    dialog->accept();
    QVERIFY(!Shown(*dialog, "lblProblem").isEmpty());
    QCOMPARE(Shown(*dialog, "lblTestResult"), QString());

    // The settings as typed are not saved by a test.
    QVERIFY(!std::filesystem::exists(f.IniPath()));
}

void TestWindowPortal::pastedAddressGivesItsHostAndBrowsePicksTheCertificate() {
    WindowFixture& f = fixture();
    f.CreateShown();
    const std::unique_ptr<TPortalSettingsDialog> dialog = OpenDialog();
    QLineEdit* listing = Field(*dialog, "ListingHost");
    listing->setText(QStringLiteral(" https://www.example.jp:8443/doc/area/tokyo/?page=2 "));
    QCOMPARE(dialog->EnteredSettings().listingHost, std::string("www.example.jp:8443"));
    // Leaving the field shows the host it stands for.
    emit listing->editingFinished();
    QCOMPARE(listing->text(), QStringLiteral("www.example.jp:8443"));
    QCOMPARE(HostOfPastedAddress(QStringLiteral("HTTPS://[::1]:9#x")), QStringLiteral("[::1]:9"));
    QCOMPARE(HostOfPastedAddress(QStringLiteral("www.example.jp")),
             QStringLiteral("www.example.jp"));
    QCOMPARE(HostOfPastedAddress(QStringLiteral("https:///doc")), QStringLiteral("https:///doc"));

    // 参照... starts beside golf.ini and puts the chosen file in the field.
    QString startedAt;
    dialog->setCertificateChooser([&startedAt, this](const QString& start) {
        startedAt = start;
        return QString::fromStdString(portal_->certificate().string());
    });
    dialog->findChild<QPushButton*>(QStringLiteral("btnBrowseCertificate"))->click();
    QCOMPARE(startedAt, QString::fromStdString(f.IniPath().parent_path().string()));
    QCOMPARE(Field(*dialog, "CACertificate")->text(),
             QString::fromStdString(portal_->certificate().string()));
    dialog->accept();
    QCOMPARE(ReadBytes(f.IniPath()),
             "[Portal]\r\nListingHost=www.example.jp:8443\r\nCACertificate=" +
                 QByteArray::fromStdString(portal_->certificate().string()) + "\r\n");
}

QTEST_MAIN(TestWindowPortal)
#include "tst_window_portal.moc"
