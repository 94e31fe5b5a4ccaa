// TerminationSignals where the system has no POSIX signals to catch: the
// session's end comes through Qt (QGuiApplication::commitDataRequest).
#include "TerminationSignals.h"

namespace teebasket {

TTerminationSignals::TTerminationSignals(QObject* parent) : QObject(parent) {}

TTerminationSignals::~TTerminationSignals() = default;

void TTerminationSignals::ReadPendingSignals() {}

}  // namespace teebasket
