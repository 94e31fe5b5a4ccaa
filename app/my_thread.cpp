// TMyThread: runs one harvest and reports to the window through blocking
// calls on the user-interface thread.
#include <exception>

#include "Zererav.h"
#include "window_internal.h"

namespace teebasket {

// Each call runs the window's handler on the user-interface thread and waits
// for it, also while a message box of the window is open (its event loop
// delivers the call).
class TMyThread::Observer : public HarvestObserver {
  public:
    explicit Observer(TFrmMain& window) : window_(window) {}

    void ProgressStart(const HarvestReport&) override { Call(&TFrmMain::ProgressStart); }
    void ProgressStep(const HarvestReport&) override { Call(&TFrmMain::ProgressStep); }
    void StatusUpdate(const HarvestReport&) override { Call(&TFrmMain::StatusUpdate); }
    void RetryWaiting(const HarvestReport&) override { Call(&TFrmMain::RetryWaiting); }
    void RunEnded(const HarvestReport&) override { Call(&TFrmMain::RunEnded); }

  private:
    void Call(void (TFrmMain::*handler)()) {
        TFrmMain* window = &window_;
        QMetaObject::invokeMethod(
            window, [window, handler] { (window->*handler)(); }, Qt::BlockingQueuedConnection);
    }

    TFrmMain& window_;
};

TMyThread::TMyThread(TFrmMain& window, std::shared_ptr<HarvestRun> run, THarvestBody body)
    : window_(window), run_(std::move(run)), body_(std::move(body)) {
    setObjectName(QStringLiteral("TMyThread"));
}

void TMyThread::run() {
    Observer observer(window_);
    // The engine reports its own failures through its report and never
    // throws; should anything still escape, the thread ends without the
    // final call, and the window ends the run when it sees the thread finish.
    try {
        body_(*run_, observer);
    } catch (const std::exception& error) {
        failure_ =
            window::kReasonUnexpected + QStringLiteral(": ") + QString::fromUtf8(error.what());
    } catch (...) {
        failure_ = window::kReasonUnexpected + QStringLiteral("。");
    }
}

}  // namespace teebasket
