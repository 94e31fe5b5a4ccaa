// The single-instance lock, with real processes of the program, and the
// folder it lives in.
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <filesystem>
#include <string>

#include "Zererav.h"

using namespace teebasket;

namespace {

// A copy of the program in a folder of its own, so that its golf.ini and
// tmp.dat stay there, and a runtime folder for its lock.
class InstalledCopy {
  public:
    InstalledCopy() {
        program_ = QDir(folder_.path()).filePath(QStringLiteral("teebasket"));
        QFile::copy(QStringLiteral(TEEBASKET_WINDOW_EXECUTABLE), program_);
        QDir(folder_.path()).mkdir(QStringLiteral("runtime"));
        QFile::setPermissions(
            runtime(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    QString program() const { return program_; }
    QString folder() const { return folder_.path(); }
    QString runtime() const { return QDir(folder_.path()).filePath(QStringLiteral("runtime")); }
    QString lockFile() const {
        return QDir(runtime()).filePath(QStringLiteral("Zide_Darere.lock"));
    }

    // Starts the program on the offscreen platform, or with no display at
    // all (no platform named, no X11 or Wayland display to reach).
    void Start(QProcess& process, bool withDisplay = true) const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime());
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
    qint64 LockHolder() const {
        QFile file(lockFile());
        if (!file.open(QIODevice::ReadOnly)) {
            return 0;
        }
        return file.readLine().trimmed().toLongLong();
    }

  private:
    QTemporaryDir folder_;
    QString program_;
};

bool WaitForLockHolder(const InstalledCopy& copy, qint64 pid) {
    return QTest::qWaitFor([&] { return copy.LockHolder() == pid; }, 30000);
}

// Ends `process` at once; false when it had not ended within 30 s.
bool Kill(QProcess& process) {
    process.kill();
    return process.waitForFinished(30000);
}

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

std::filesystem::path LockFolder() {
    std::string problem;
    return SingleInstanceLockFolder(problem);
}

QByteArray Bytes(const QString& path) {
    return QFile::encodeName(path);
}

// A folder at `path` that every user may write to, as another user could
// leave it in a shared folder.
void MakeOpenFolder(const QString& path) {
    QDir().mkpath(path);
    ::chmod(Bytes(path).constData(), 0777);
}

}  // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT

  private slots:
    void secondStartEndsWithCodeOneAndTheFirstGoesOn();
    void secondStartWithoutADisplayEndsWithCodeOne();
    void lockLeftByACrashedInstanceIsTakenOver();
    void withoutARuntimeFolderTheLockIsInAPrivateFolderOfTheUser();
    void aFolderThatOthersCouldPlantIsNeverUsed();
};

void TestSingleInstance::secondStartEndsWithCodeOneAndTheFirstGoesOn() {
    InstalledCopy copy;
    QProcess first;
    copy.Start(first);
    QVERIFY(first.waitForStarted(30000));
    QVERIFY(WaitForLockHolder(copy, first.processId()));

    QProcess second;
    copy.Start(second);
    QVERIFY(second.waitForFinished(30000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 1);
    QCOMPARE(second.readAllStandardOutput(), QByteArray());

    QCOMPARE(first.state(), QProcess::Running);
    QCOMPARE(copy.LockHolder(), first.processId());
    // The second start wrote nothing beside the program.
    QVERIFY(!QFile::exists(QDir(copy.folder()).filePath(QStringLiteral("golf.ini"))));
    QVERIFY(Kill(first));
}

void TestSingleInstance::secondStartWithoutADisplayEndsWithCodeOne() {
    InstalledCopy copy;
    QProcess first;
    copy.Start(first);
    QVERIFY(first.waitForStarted(30000));
    QVERIFY(WaitForLockHolder(copy, first.processId()));

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
    QVERIFY(WaitForLockHolder(copy, crashedPid));
    QVERIFY(Kill(crashed));  // SIGKILL: the lock file stays behind
    QVERIFY(QFile::exists(copy.lockFile()));

    QProcess next;
    copy.Start(next);
    QVERIFY(next.waitForStarted(30000));
    QVERIFY(WaitForLockHolder(copy, next.processId()));
    QCOMPARE(next.state(), QProcess::Running);
    QVERIFY(Kill(next));
}

void TestSingleInstance::withoutARuntimeFolderTheLockIsInAPrivateFolderOfTheUser() {
    QTemporaryDir temporary;
    ScopedEnvironment environment;
    environment.Remove("XDG_RUNTIME_DIR");
    environment.Set("TMPDIR", Bytes(temporary.path()));
    const std::filesystem::path expected =
        std::filesystem::path(Bytes(temporary.path()).toStdString()) /
        ("teebasket-" + std::to_string(::geteuid()));
    QCOMPARE(LockFolder(), expected);
    struct stat info {};
    QCOMPARE(::lstat(expected.c_str(), &info), 0);
    QCOMPARE(info.st_mode & 07777, 0700u);
    QCOMPARE(info.st_uid, ::geteuid());
    QCOMPARE(LockFolder(), expected);  // the same folder at the next start

    // A runtime folder of the user's own is used as it is.
    const QString runtime = QDir(temporary.path()).filePath(QStringLiteral("runtime"));
    QDir().mkpath(runtime);
    ::chmod(Bytes(runtime).constData(), 0700);
    environment.Set("XDG_RUNTIME_DIR", Bytes(runtime));
    QCOMPARE(LockFolder(), std::filesystem::path(Bytes(runtime).toStdString()));
}

void TestSingleInstance::aFolderThatOthersCouldPlantIsNeverUsed() {
    QTemporaryDir temporary;
    const QDir root(temporary.path());
    ScopedEnvironment environment;
    environment.Set("TMPDIR", Bytes(root.filePath(QStringLiteral("tmp"))));
    environment.Set("HOME", Bytes(root.filePath(QStringLiteral("home"))));
    environment.Remove("XDG_CACHE_HOME");
    const QString runtime = root.filePath(QStringLiteral("runtime"));
    MakeOpenFolder(runtime);
    environment.Set("XDG_RUNTIME_DIR", Bytes(runtime));
    const QString planted = root.filePath(QStringLiteral("tmp/teebasket-%1").arg(::geteuid()));
    const std::filesystem::path own =
        std::filesystem::path(Bytes(root.filePath(QStringLiteral("home"))).toStdString()) /
        ".cache" / "teebasket";

    // Open to every user.
    MakeOpenFolder(planted);
    QCOMPARE(LockFolder(), own);

    // A symbolic link to a folder of the user's own.
    QDir().rmdir(planted);
    const QString elsewhere = root.filePath(QStringLiteral("elsewhere"));
    QDir().mkpath(elsewhere);
    ::chmod(Bytes(elsewhere).constData(), 0700);
    QVERIFY(QFile::link(elsewhere, planted));
    QCOMPARE(LockFolder(), own);
    QFile::remove(planted);

    // Owned by another user (only root can make one to test with).
    if (::geteuid() == 0) {
        QDir().mkpath(planted);
        ::chmod(Bytes(planted).constData(), 0700);
        QCOMPARE(::chown(Bytes(planted).constData(), 65534, 65534), 0);
        QCOMPARE(LockFolder(), own);
    }

    // With nowhere private left, the program says so and runs without a lock.
    MakeOpenFolder(planted);
    environment.Remove("HOME");
    std::string problem;
    QVERIFY(SingleInstanceLockFolder(problem).empty());
    QVERIFY2(problem.find("single-instance lock") != std::string::npos, problem.c_str());
    TSingleInstanceLock lock;
    QCOMPARE(lock.state(), TSingleInstanceLock::State::Unavailable);
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
