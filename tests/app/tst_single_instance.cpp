// The single-instance lock, with real processes of the program, and the
// folder it lives in.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <filesystem>
#include <memory>
#include <string>

#include "WindowTestSupport.h"
#include "Zererav.h"

using namespace teebasket;

namespace {

namespace fs = std::filesystem;

// Sets or removes environment variables for the life of the object.
class ScopedEnvironment {
  public:
    void Set(const char* name, const QByteArray& value) {
        Save(name);
        qputenv(name, value);
    }
    void Remove(const char* name) {
        Save(name);
        qunsetenv(name);
    }
    ~ScopedEnvironment() {
        for (const auto& [name, value] : saved_) {
            if (value.isNull()) {
                qunsetenv(name.constData());
            } else {
                qputenv(name.constData(), value);
            }
        }
    }

  private:
    void Save(const char* name) {
        saved_.emplace_back(QByteArray(name),
                            qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray());
    }
    std::vector<std::pair<QByteArray, QByteArray>> saved_;
};

QByteArray Bytes(const QString& path) {
    return QFile::encodeName(path);
}

fs::path PathOf(const QString& path) {
    return fs::path(Bytes(path).toStdString());
}

// The user's lock file, wherever the program runs.
QString UserLockFile() {
    return QString::fromStdString((UserLockPlaces().shared / "Zide_Darere.lock").string());
}

// The environment variables that once moved the lock, each pointing at a
// folder of its own under `root`.
QProcessEnvironment ElsewhereEnvironment(const QString& root) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR", "HOME", "XDG_CACHE_HOME"}) {
        const QString folder = QDir(root).filePath(QString::fromLatin1(name));
        QDir().mkpath(folder);
        QFile::setPermissions(
            folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        environment.insert(QString::fromLatin1(name), folder);
    }
    return environment;
}

// A copy of the program in a folder of its own, so that its golf.ini and
// tmp.dat stay there.
class InstalledCopy {
  public:
    InstalledCopy() {
        program_ = QDir(folder_.path()).filePath(QStringLiteral("teebasket"));
        QFile::copy(QStringLiteral(TEEBASKET_WINDOW_EXECUTABLE), program_);
    }

    QString program() const { return program_; }
    QString folder() const { return folder_.path(); }

    // Starts the program on the offscreen platform, or with no display at
    // all (no platform named, no X11 or Wayland display to reach).
    void Start(QProcess& process, bool withDisplay = true,
               QProcessEnvironment environment = QProcessEnvironment::systemEnvironment()) const {
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        if (withDisplay) {
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        } else {
            for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
                environment.remove(QString::fromLatin1(name));
            }
        }
        process.setProcessEnvironment(environment);
        process.setProgram(program_);
        process.start();
    }

    // The process id written into the lock file, or 0.
    static qint64 LockHolder() {
        QFile file(UserLockFile());
        if (!file.open(QIODevice::ReadOnly)) {
            return 0;
        }
        return file.readLine().trimmed().toLongLong();
    }

  private:
    QTemporaryDir folder_;
    QString program_;
};

bool WaitForLockHolder(qint64 pid) {
    return QTest::qWaitFor([&] { return InstalledCopy::LockHolder() == pid; }, 30000);
}

// Ends `process` at once; false when it had not ended within 30 s.
bool Kill(QProcess& process) {
    process.kill();
    return process.waitForFinished(30000);
}

// A folder at `path` that every user may write to, as another user could
// leave it in a shared folder.
void MakeOpenFolder(const QString& path) {
    QDir().mkpath(path);
    ::chmod(Bytes(path).constData(), 0777);
}

// Places of the lock under `root`, as the user's are under /tmp and the home
// folder.
SingleInstanceLockPlaces PlacesUnder(const QString& root) {
    return {PathOf(QDir(root).filePath(QStringLiteral("tmp/teebasket-%1").arg(::geteuid()))),
            PathOf(QDir(root).filePath(QStringLiteral("home/.cache/teebasket")))};
}

}  // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();

    void secondStartEndsWithCodeOneAndTheFirstGoesOn();
    void secondStartWithAnotherEnvironmentEndsWithCodeOne();
    void secondStartWithoutADisplayEndsWithCodeOne();
    void lockLeftByACrashedInstanceIsTakenOver();
    void withStandardErrorClosedTheLockFileKeepsOnlyTheProcessId();
    void theLockIsInTheSamePlaceWhateverTheEnvironmentHolds();
    void aFolderThatOthersCouldPlantIsNeverUsed();
    void aLockTakenInTheOwnFolderStillCountsOnceTheSharedOneIsFree();

  private:
    std::unique_ptr<testing::ProgramStartSlot> slot_;
};

void TestSingleInstance::initTestCase() {
    slot_ = std::make_unique<testing::ProgramStartSlot>();
    if (!slot_->Unavailable().isEmpty()) {
        QSKIP(slot_->Unavailable().constData());
    }
}

void TestSingleInstance::secondStartEndsWithCodeOneAndTheFirstGoesOn() {
    InstalledCopy copy;
    QProcess first;
    copy.Start(first);
    QVERIFY(first.waitForStarted(30000));
    QVERIFY(WaitForLockHolder(first.processId()));

    QProcess second;
    copy.Start(second);
    QVERIFY(second.waitForFinished(30000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 1);
    QCOMPARE(second.readAllStandardOutput(), QByteArray());

    QCOMPARE(first.state(), QProcess::Running);
    QCOMPARE(InstalledCopy::LockHolder(), first.processId());
    // The second start wrote nothing beside the program.
    QVERIFY(!QFile::exists(QDir(copy.folder()).filePath(QStringLiteral("golf.ini"))));
    QVERIFY(Kill(first));
}

// The runtime folder, the temporary folder and the home folder of the
// environment differ between a desktop session, su, sudo, ssh and cron; the
// second start must find the first all the same.
void TestSingleInstance::secondStartWithAnotherEnvironmentEndsWithCodeOne() {
    InstalledCopy copy;
    QProcess first;
    copy.Start(first);
    QVERIFY(first.waitForStarted(30000));
    QVERIFY(WaitForLockHolder(first.processId()));

    QTemporaryDir root;
    QProcessEnvironment without = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR", "HOME", "XDG_CACHE_HOME"}) {
        without.remove(QString::fromLatin1(name));
    }
    for (const QProcessEnvironment& environment : {ElsewhereEnvironment(root.path()), without}) {
        QProcess second;
        copy.Start(second, true, environment);
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 1);
    }
    QCOMPARE(first.state(), QProcess::Running);
    QVERIFY(Kill(first));
}

void TestSingleInstance::secondStartWithoutADisplayEndsWithCodeOne() {
    InstalledCopy copy;
    QProcess first;
    copy.Start(first);
    QVERIFY(first.waitForStarted(30000));
    QVERIFY(WaitForLockHolder(first.processId()));

    QProcess second;
    copy.Start(second, /*withDisplay=*/false);
    QVERIFY(second.waitForFinished(30000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 1);
    QCOMPARE(second.readAllStandardError(), QByteArray());  // no complaint about a display
    QCOMPARE(first.state(), QProcess::Running);
    QVERIFY(Kill(first));
}

void TestSingleInstance::lockLeftByACrashedInstanceIsTakenOver() {
    InstalledCopy copy;
    QProcess crashed;
    copy.Start(crashed);
    QVERIFY(crashed.waitForStarted(30000));
    const qint64 crashedPid = crashed.processId();
    QVERIFY(WaitForLockHolder(crashedPid));
    QVERIFY(Kill(crashed));  // SIGKILL: the lock file stays behind
    QVERIFY(QFile::exists(UserLockFile()));

    QProcess next;
    copy.Start(next);
    QVERIFY(next.waitForStarted(30000));
    QVERIFY(WaitForLockHolder(next.processId()));
    QCOMPARE(next.state(), QProcess::Running);
    QVERIFY(Kill(next));
}

// Started with standard error closed, the lock file, the first file the
// program opens, would take descriptor 2 and collect every message (here
// Qt's complaint that there is no display).
void TestSingleInstance::withStandardErrorClosedTheLockFileKeepsOnlyTheProcessId() {
    InstalledCopy copy;
    QProcess process;
    process.setChildProcessModifier([] { ::close(STDERR_FILENO); });
    copy.Start(process, /*withDisplay=*/false);
    QVERIFY(process.waitForStarted(30000));
    const qint64 pid = process.processId();
    QVERIFY(process.waitForFinished(30000));
    QFile lock(UserLockFile());
    QVERIFY(lock.open(QIODevice::ReadOnly));
    QCOMPARE(lock.readAll(), QByteArray::number(pid) + "\n");
}

void TestSingleInstance::theLockIsInTheSamePlaceWhateverTheEnvironmentHolds() {
    const passwd* user = ::getpwuid(::geteuid());
    QVERIFY(user != nullptr);
    QTemporaryDir root;
    const QProcessEnvironment elsewhere = ElsewhereEnvironment(root.path());
    ScopedEnvironment environment;
    for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR", "HOME", "XDG_CACHE_HOME"}) {
        environment.Set(name, Bytes(elsewhere.value(QString::fromLatin1(name))));
    }
    QCOMPARE(UserLockPlaces().shared, fs::path("/tmp/teebasket-" + std::to_string(::geteuid())));
    QCOMPARE(UserLockPlaces().own, fs::path(user->pw_dir) / ".cache" / "teebasket");
}

void TestSingleInstance::aFolderThatOthersCouldPlantIsNeverUsed() {
    QTemporaryDir temporary;
    const QDir root(temporary.path());
    const SingleInstanceLockPlaces places = PlacesUnder(temporary.path());
    const QString planted = QString::fromStdString(places.shared.string());
    std::string problem;

    // Made private when missing; the same at the next start.
    QCOMPARE(SingleInstanceLockFolder(places, problem), places.shared);
    QCOMPARE(SingleInstanceLockFolder(places, problem), places.shared);
    struct stat info {};
    QCOMPARE(::lstat(places.shared.c_str(), &info), 0);
    QCOMPARE(info.st_mode & 07777, 0700u);
    QDir().rmdir(planted);

    // Open to every user.
    MakeOpenFolder(planted);
    QCOMPARE(SingleInstanceLockFolder(places, problem), places.own);

    // A symbolic link to a folder of the user's own.
    QDir().rmdir(planted);
    const QString elsewhere = root.filePath(QStringLiteral("elsewhere"));
    QDir().mkpath(elsewhere);
    ::chmod(Bytes(elsewhere).constData(), 0700);
    QVERIFY(QFile::link(elsewhere, planted));
    QCOMPARE(SingleInstanceLockFolder(places, problem), places.own);
    QFile::remove(planted);

    // Owned by another user (only root can make one to test with).
    if (::geteuid() == 0) {
        QDir().mkpath(planted);
        ::chmod(Bytes(planted).constData(), 0700);
        QCOMPARE(::chown(Bytes(planted).constData(), 65534, 65534), 0);
        QCOMPARE(SingleInstanceLockFolder(places, problem), places.own);
        QDir().rmdir(planted);
    }

    // With nowhere private left, the program says so and runs without a lock.
    MakeOpenFolder(planted);
    MakeOpenFolder(QString::fromStdString(places.own.string()));
    QVERIFY(SingleInstanceLockFolder(places, problem).empty());
    QVERIFY2(problem.find("single-instance lock") != std::string::npos, problem.c_str());
    const TSingleInstanceLock lock(places);
    QCOMPARE(lock.state(), TSingleInstanceLock::State::Unavailable);
}

// An instance that started while another user held the shared name took its
// lock in the user's own folder. Once that name is free again, the next start
// takes the shared folder, and must still find that instance.
void TestSingleInstance::aLockTakenInTheOwnFolderStillCountsOnceTheSharedOneIsFree() {
    QTemporaryDir temporary;
    const SingleInstanceLockPlaces places = PlacesUnder(temporary.path());
    const QString shared = QString::fromStdString(places.shared.string());
    MakeOpenFolder(shared);
    const TSingleInstanceLock first(places);
    QCOMPARE(first.state(), TSingleInstanceLock::State::Held);

    QDir().rmdir(shared);
    const TSingleInstanceLock second(places);
    QCOMPARE(second.state(), TSingleInstanceLock::State::HeldElsewhere);
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
