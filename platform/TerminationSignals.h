// TerminationSignals: the requests to end the program that come from outside
// its window, turned into a Qt signal on the user-interface thread.
//
// On Linux and other POSIX systems these are SIGTERM (kill, the session's
// end), SIGINT (Ctrl-C in the terminal that started the program) and SIGHUP
// (that terminal closed). The signal handler only writes the signal's number
// into a pipe; everything else happens when the event loop reads it. On
// Windows the session's end reaches the program through Qt itself
// (QGuiApplication::commitDataRequest), so nothing is caught here.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace teebasket {

class TTerminationSignals : public QObject {
    Q_OBJECT

  public:
    // Catches the signals from now on. One object at a time in a process.
    explicit TTerminationSignals(QObject* parent = nullptr);
    // Restores the signals' previous handling.
    ~TTerminationSignals() override;
    TTerminationSignals(const TTerminationSignals&) = delete;
    TTerminationSignals& operator=(const TTerminationSignals&) = delete;

  signals:
    // Emitted on the thread that created the object, once per signal
    // received; `signalNumber` is the POSIX number (SIGTERM = 15).
    void terminationRequested(int signalNumber);

  private:
    void ReadPendingSignals();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace teebasket
