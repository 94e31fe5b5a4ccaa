// Platforms whose controls redraw their keyboard cues themselves: nothing to
// fix, so the component watches nothing.
#include "VistaAltFixUnit.h"

namespace teebasket {

class TVistaAltFix::Watcher {};

TVistaAltFix::TVistaAltFix(QObject* owner) : QObject(owner) {}

TVistaAltFix::~TVistaAltFix() = default;

bool TVistaAltFix::VistaWithTheme() {
    return false;
}

}  // namespace teebasket
