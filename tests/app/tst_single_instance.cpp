// The single-instance lock, with real processes of the program.
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

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

    void Start(QProcess& process) const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime());
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
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

void Kill(QProcess& process) {
    process.kill();
    process.waitForFinished(30000);
}

}  // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT

  private slots:
    void secondStartEndsWithCodeOneAndTheFirstGoesOn();
    void lockLeftByACrashedInstanceIsTakenOver();
    void lockIsPerUserInTheTemporaryFolderWithoutARuntimeFolder();
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
    Kill(first);
}

void TestSingleInstance::lockLeftByACrashedInstanceIsTakenOver() {
    InstalledCopy copy;
    QProcess crashed;
    copy.Start(crashed);
    QVERIFY(crashed.waitForStarted(30000));
    const qint64 crashedPid = crashed.processId();
    QVERIFY(WaitForLockHolder(copy, crashedPid));
    Kill(crashed);  // SIGKILL: the lock file stays behind
    QVERIFY(QFile::exists(copy.lockFile()));

    QProcess next;
    copy.Start(next);
    QVERIFY(next.waitForStarted(30000));
    QVERIFY(WaitForLockHolder(copy, next.processId()));
    QCOMPARE(next.state(), QProcess::Running);
    Kill(next);
}

void TestSingleInstance::lockIsPerUserInTheTemporaryFolderWithoutARuntimeFolder() {
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    const QString path = SingleInstanceLockPath();
    qputenv("XDG_RUNTIME_DIR", saved);
    QVERIFY(path.startsWith(QDir::tempPath()));
    QVERIFY(path.endsWith(QStringLiteral("Zide_Darere-%1.lock").arg(QDir::home().dirName())));
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
