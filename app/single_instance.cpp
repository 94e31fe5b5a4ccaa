// The single-instance lock of the program entry.
#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

#include "Zererav.h"

namespace teebasket {

QString SingleInstanceLockPath() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists()) {
        return QDir(runtime).filePath(QStringLiteral("Zide_Darere.lock"));
    }
    // The temporary folder may be shared by every user of the machine.
    const QString user = QDir::home().dirName();
    return QDir(QStandardPaths::writableLocation(QStandardPaths::TempLocation))
        .filePath(QStringLiteral("Zide_Darere-%1.lock").arg(user));
}

std::unique_ptr<QLockFile> AcquireSingleInstanceLock() {
    auto lock = std::make_unique<QLockFile>(SingleInstanceLockPath());
    // Never stale by age: the first instance may run for days. A lock whose
    // process is gone is still taken over (QLockFile checks the process).
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        return nullptr;
    }
    return lock;
}

}  // namespace teebasket
