// On Windows, watches every top-level window for WM_UPDATEUISTATE and repaints
// each window that received one exactly once at the next idle moment, however
// many of those messages arrived before it.
#include <windows.h>

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QOperatingSystemVersion>
#include <QPointer>
#include <QStyle>
#include <QTimer>
#include <QWidget>
#include <vector>

#include "VistaAltFixUnit.h"

namespace teebasket {

class TVistaAltFix::Watcher : public QAbstractNativeEventFilter {
  public:
    Watcher() { QCoreApplication::instance()->installNativeEventFilter(this); }
    ~Watcher() override { QCoreApplication::instance()->removeNativeEventFilter(this); }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "windows_generic_MSG") {
            return false;
        }
        const auto* msg = static_cast<const MSG*>(message);
        if (msg->message == WM_UPDATEUISTATE) {
            if (QWidget* widget = QWidget::find(reinterpret_cast<WId>(msg->hwnd))) {
                MarkForRepaint(widget->window());
            }
        }
        return false;  // the message itself is never changed or swallowed
    }

  private:
    void MarkForRepaint(QWidget* window) {
        for (const QPointer<QWidget>& pending : pending_) {
            if (pending == window) {
                return;
            }
        }
        pending_.emplace_back(window);
        if (!idleRepaintQueued_) {
            idleRepaintQueued_ = true;
            QTimer::singleShot(0, [this] { RepaintPending(); });
        }
    }

    void RepaintPending() {
        idleRepaintQueued_ = false;
        std::vector<QPointer<QWidget>> windows;
        windows.swap(pending_);
        for (const QPointer<QWidget>& window : windows) {
            if (window) {
                window->repaint();  // a window repaint draws every child with it
            }
        }
    }

    std::vector<QPointer<QWidget>> pending_;
    bool idleRepaintQueued_ = false;
};

TVistaAltFix::TVistaAltFix(QObject* owner) : QObject(owner) {
    if (VistaWithTheme()) {
        watcher_ = std::make_unique<Watcher>();
    }
}

TVistaAltFix::~TVistaAltFix() = default;

bool TVistaAltFix::VistaWithTheme() {
    const QOperatingSystemVersion vista(QOperatingSystemVersion::Windows, 6, 0);
    if (QOperatingSystemVersion::current() < vista) {
        return false;
    }
    // The classic "windows" style draws without visual styles.
    const QStyle* style = QApplication::style();
    return style != nullptr && style->name().compare("windows", Qt::CaseInsensitive) != 0;
}

}  // namespace teebasket
