// Launcher progress on Linux desktops: the com.canonical.Unity.LauncherEntry
// "Update" signal on the session bus, which KDE Plasma, Ubuntu's dock and the
// common docks read. Each signal names the desktop entry teebasket.desktop and
// carries "progress" (0.0 to 1.0) and "progress-visible".
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QString>
#include <QVariantMap>
#include <QtGlobal>

#include <filesystem>
#include <system_error>

#include "W7Taskbar.h"

namespace teebasket {
namespace {

// Whether the session bus was reached by InitializeTaskbarAPI; the stand-in
// for the interface reference that the Windows version holds.
bool launcherHeld = false;

const QString kObjectPath = QStringLiteral("/com/canonical/unity/launcherentry/teebasket");
const QString kInterface = QStringLiteral("com.canonical.Unity.LauncherEntry");

bool SendLauncherUpdate(const QVariantMap& properties) {
    QDBusMessage update = QDBusMessage::createSignal(kObjectPath, kInterface, "Update");
    update << QString::fromLatin1(kLauncherAppUri) << properties;
    return QDBusConnection::sessionBus().send(update);
}

// Whether the session names a bus: its address, or the socket that the
// session's runtime folder holds. Without either there is no launcher to tell,
// and asking for the bus anyway makes libdbus try to start one (X11
// autolaunch) and leaves Qt's bus thread to be torn down at exit.
bool SessionBusNamed() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        return true;
    }
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty()) {
        return false;
    }
    std::error_code error;
    return std::filesystem::is_socket(
        std::filesystem::path(QFile::encodeName(runtime).toStdString()) / "bus", error);
}

}  // namespace

bool InitializeTaskbarAPI() {
    if (!launcherHeld && SessionBusNamed()) {
        launcherHeld = QDBusConnection::sessionBus().isConnected();
    }
    return launcherHeld;
}

bool SetTaskbarProgressState(TTaskBarProgressState state) {
    if (!launcherHeld) {
        return false;
    }
    // The launcher knows only visible or hidden progress and an urgent hint;
    // indeterminate and paused keep the last value on show.
    QVariantMap properties;
    properties.insert("progress-visible", state != tbpsNone);
    properties.insert("urgent", state == tbpsError);
    return SendLauncherUpdate(properties);
}

bool SetTaskbarProgressValue(std::uint64_t completed, std::uint64_t total) {
    if (!launcherHeld) {
        return false;
    }
    double fraction = 0.0;
    if (total > 0) {
        fraction =
            static_cast<double>(completed < total ? completed : total) / static_cast<double>(total);
    }
    QVariantMap properties;
    properties.insert("progress", fraction);
    properties.insert("progress-visible", true);
    return SendLauncherUpdate(properties);
}

void FinalizeTaskbarAPI() {
    if (launcherHeld) {
        SetTaskbarProgressState(tbpsNone);
        // Signals leave asynchronously; a round trip to the bus makes sure the
        // clearing one has gone before the program ends.
        QDBusConnection::sessionBus().call(
            QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                           "org.freedesktop.DBus.Peer", "Ping"),
            QDBus::Block, 2000);
    }
    launcherHeld = false;
}

}  // namespace teebasket
