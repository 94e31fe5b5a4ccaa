// SIGTERM, SIGINT and SIGHUP end the real teebasket program cleanly: a run is
// stopped and keeps its rows, golf.ini is saved, no scratch or temporary
// file stays, and the exit code is 0. The program runs as a process under
// the offscreen platform against a demo portal; a Qt plugin of the tests
// presses Start and answers the save dialog (tests/app/driver).
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <filesystem>

#include "TestSupport.h"
#include "WindowTestSupport.h"

using namespace teebasket;
using namespace teebasket::testing;

namespace {

constexpr int kCoursesPerPrefecture = 20;
constexpr int kWait = 60000;

// The program copied into a folder of its own, so that golf.ini and tmp.dat
// live beside it, with a runtime folder of its own (Qt asks for one).
class InstalledProgram {
  public:
    explicit InstalledProgram(const test::PortalProcess& portal) {
        QFile::copy(QStringLiteral(TEEBASKET_WINDOW_EXECUTABLE), program());
        QDir(folder_.path()).mkdir(QStringLiteral("runtime"));
        QFile::setPermissions(
            runtime(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QDir(folder_.path()).mkdir(QStringLiteral("out"));
        // Two prefectures ticked, in a value shorter than the program writes.
        const std::string ini = "[Config]\r\nArea=11\r\n[Portal]\r\nListingHost=" + portal.host() +
                                "\r\nBookingHost=" + portal.host() +
                                "\r\nCACertificate=" + portal.certificate().string() + "\r\n";
        test::WriteFileBytes(Path("golf.ini"), ini);
    }

    QString program() const { return QDir(folder_.path()).filePath(QStringLiteral("teebasket")); }
    QString runtime() const { return QDir(folder_.path()).filePath(QStringLiteral("runtime")); }
    std::filesystem::path Path(const char* name) const {
        return std::filesystem::path(folder_.path().toStdString()) / name;
    }
    std::filesystem::path Csv() const { return Path("out") / "一覧.csv"; }

    // Starts the program; `drive` is "ready" or "start" (see the driver).
    void Start(QProcess& process, const char* drive) const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("QT_PLUGIN_PATH"),
                           QStringLiteral(TEEBASKET_DRIVER_PLUGIN_DIR));
        environment.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"),
                           QStringLiteral("teebasketdriver"));
        environment.insert(QStringLiteral("TEEBASKET_DRIVE"), QString::fromLatin1(drive));
        environment.insert(QStringLiteral("TEEBASKET_DRIVE_SAVE_AS"),
                           QString::fromStdString(Csv().string()));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime());
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        process.setProcessEnvironment(environment);
        process.setProgram(program());
        process.start();
    }

  private:
    QTemporaryDir folder_;
};

bool WaitForDriver(QProcess& process, const QByteArray& line) {
    QByteArray seen;
    return QTest::qWaitFor(
               [&] {
                   seen += process.readAllStandardError();
                   return seen.contains("teebasket-driver: " + line) ||
                          process.state() == QProcess::NotRunning;
               },
               kWait) &&
           seen.contains("teebasket-driver: " + line);
}

int CsvLines(const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::exists(file, error)) {
        return 0;
    }
    return static_cast<int>(ReadBytes(file).count("\r\n"));
}

// Everything in the program's folder but the program, its runtime folder
// and the output folder.
QStringList LeftBeside(const InstalledProgram& program) {
    QStringList names = QDir(QString::fromStdString(program.Path("").string()))
                            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    names.removeAll(QStringLiteral("teebasket"));
    names.removeAll(QStringLiteral("runtime"));
    names.removeAll(QStringLiteral("out"));
    return names;
}

QByteArray SavedArea(const QByteArray& ticks) {
    return ticks + QByteArray(47 - ticks.size(), '0');
}

}  // namespace

class TestSessionEnd : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanupTestCase();

    void sigtermDuringARunKeepsTheRowsSavesTheSettingsAndExitsZero();
    void signalWhileIdleSavesTheSettingsAndExitsZero_data();
    void signalWhileIdleSavesTheSettingsAndExitsZero();

  private:
    std::unique_ptr<ProgramStartSlot> slot_;
    std::unique_ptr<test::PortalProcess> portal_;
};

void TestSessionEnd::initTestCase() {
    slot_ = std::make_unique<ProgramStartSlot>();
    if (!slot_->Unavailable().isEmpty()) {
        QSKIP(slot_->Unavailable().constData());
    }
    test::PortalProcess::Options options;
    options.extraArgs = {"--courses-per-prefecture", std::to_string(kCoursesPerPrefecture)};
    portal_ = std::make_unique<test::PortalProcess>(options);
}

void TestSessionEnd::cleanupTestCase() {
    portal_.reset();
}

void TestSessionEnd::sigtermDuringARunKeepsTheRowsSavesTheSettingsAndExitsZero() {
    const InstalledProgram installed(*portal_);
    QProcess process;
    installed.Start(process, "start");
    QVERIFY(WaitForDriver(process, "pressed Start"));
    // The run pauses 0.3 s after each course page: two rows take a while, the
    // 40 courses of both prefectures much longer.
    // The rows go to the partial file until the run ends.
    const std::filesystem::path partial = installed.Csv().string() + ".partial";
    QVERIFY2(QTest::qWaitFor([&] { return CsvLines(partial) >= 3; }, kWait),
             process.readAllStandardError().constData());

    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    QVERIFY(process.waitForFinished(kWait));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    // What the program said last (a sanitizer's report, for one) comes with
    // a failure.
    QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());

    // The rows written stay, each a whole line; the run did not finish.
    const QByteArray csv = ReadBytes(installed.Csv());
    QVERIFY(csv.endsWith("\r\n"));
    const int lines = CsvLines(installed.Csv());
    QVERIFY(lines >= 3);
    QVERIFY(lines < 1 + 2 * kCoursesPerPrefecture);
    // golf.ini was saved on the way out and kept its other lines.
    QCOMPARE(ReadArea(installed.Path("golf.ini")), SavedArea("11"));
    QVERIFY(ReadBytes(installed.Path("golf.ini")).contains("ListingHost=" + portal_->host()));
    // No scratch file and no temporary file; the rows put in place are kept
    // in the history too, as its index and one records file.
    QCOMPARE(LeftBeside(installed),
             (QStringList{QStringLiteral("golf.ini"), QStringLiteral("history")}));
    const QStringList history = QDir(QString::fromStdString(installed.Path("history").string()))
                                    .entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(history.size(), 2);
    QVERIFY2(history.contains(QStringLiteral("index.jsonl")), qPrintable(history.join(' ')));
    QCOMPARE(QDir(QString::fromStdString(installed.Path("out").string()))
                 .entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("一覧.csv")});
}

void TestSessionEnd::signalWhileIdleSavesTheSettingsAndExitsZero_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int{SIGTERM};
    QTest::newRow("SIGINT") << int{SIGINT};
    QTest::newRow("SIGHUP") << int{SIGHUP};
}

void TestSessionEnd::signalWhileIdleSavesTheSettingsAndExitsZero() {
    QFETCH(int, signalNumber);
    const InstalledProgram installed(*portal_);
    QProcess process;
    installed.Start(process, "ready");
    QVERIFY(WaitForDriver(process, "ready"));

    ::kill(static_cast<pid_t>(process.processId()), signalNumber);
    QVERIFY(process.waitForFinished(kWait));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    // What the program said last (a sanitizer's report, for one) comes with
    // a failure.
    QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
    QCOMPARE(ReadArea(installed.Path("golf.ini")), SavedArea("11"));
    QCOMPARE(LeftBeside(installed), QStringList{QStringLiteral("golf.ini")});
}

QTEST_GUILESS_MAIN(TestSessionEnd)
#include "tst_session_end.moc"
