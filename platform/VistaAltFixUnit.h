// VistaAltFixUnit: TVistaAltFix repaints a window completely at the next idle
// moment after its keyboard cues changed (the user pressed Alt to show the
// underlined access keys), where themed Windows controls would otherwise keep
// stale drawings. Elsewhere it does nothing.
#pragma once

#include <QObject>
#include <memory>

namespace teebasket {

class TVistaAltFix : public QObject {
  public:
    // Owned by `owner` (the main window) and destroyed with it.
    explicit TVistaAltFix(QObject* owner);
    ~TVistaAltFix() override;

    // Whether the fix is needed here: Windows 6.0 or later with visual
    // styles on. Tested once, at construction.
    static bool VistaWithTheme();

    // Whether the fix watches the program's windows.
    bool Active() const { return watcher_ != nullptr; }

  private:
    class Watcher;
    std::unique_ptr<Watcher> watcher_;
};

}  // namespace teebasket
