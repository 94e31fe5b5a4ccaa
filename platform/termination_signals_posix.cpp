// TerminationSignals on POSIX systems: a self-pipe written by the handler.
#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>

#include "TerminationSignals.h"

namespace teebasket {

namespace {

constexpr std::array kCaughtSignals{SIGTERM, SIGINT, SIGHUP};

// The pipe's ends; the handler needs them as plain globals. -1 while no
// TTerminationSignals exists.
volatile sig_atomic_t writeEnd = -1;
int readEnd = -1;
std::array<struct sigaction, kCaughtSignals.size()> previousActions{};

// Only async-signal-safe calls here: write() and errno.
extern "C" void WriteSignalToPipe(int signalNumber) {
    const int savedErrno = errno;
    const int fd = writeEnd;
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        // A full pipe already holds enough requests to end the program.
        (void)!::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

TTerminationSignals::TTerminationSignals(QObject* parent) : QObject(parent) {
    if (readEnd >= 0) {
        return;  // another object already catches the signals
    }
    int ends[2] = {-1, -1};
    if (::pipe(ends) != 0) {
        return;
    }
    for (int fd : ends) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    readEnd = ends[0];
    writeEnd = ends[1];
    for (std::size_t i = 0; i < kCaughtSignals.size(); ++i) {
        struct sigaction action {};
        action.sa_handler = WriteSignalToPipe;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(kCaughtSignals[i], &action, &previousActions[i]);
    }
    notifier_ = new QSocketNotifier(readEnd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TTerminationSignals::ReadPendingSignals);
}

TTerminationSignals::~TTerminationSignals() {
    if (notifier_ == nullptr) {
        return;
    }
    for (std::size_t i = 0; i < kCaughtSignals.size(); ++i) {
        ::sigaction(kCaughtSignals[i], &previousActions[i], nullptr);
    }
    delete notifier_;
    notifier_ = nullptr;
    const int fd = writeEnd;
    writeEnd = -1;
    ::close(fd);
    ::close(readEnd);
    readEnd = -1;
}

void TTerminationSignals::ReadPendingSignals() {
    unsigned char byte = 0;
    while (::read(readEnd, &byte, 1) == 1) {
        emit terminationRequested(byte);
    }
}

}  // namespace teebasket
