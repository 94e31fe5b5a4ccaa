// TMyThread: runs one harvest and reports to the window through blocking
// calls on the user-interface thread.
#include <exception>

#include "Zererav.h"

namespace teebasket {

// Each call runs the window's handler on the user-interface thread and waits
// for it, also while a message box of the window is open (its event loop
// delivers the call).
class TMyThread::Observer : public HarvestObserver {
  public:
    explicit Observer(TFrmMain& window) : window_(window) {}

    void ProgressStart(HarvestRun&) override { Call(&TFrmMain::ProgressStart); }
    void ProgressStep(HarvestRun&) override { Call(&TFrmMain::ProgressStep); }
    void StatusUpdate(HarvestRun&) override { Call(&TFrmMain::StatusUpdate); }
    void RunEnded(HarvestRun&) override { Call(&TFrmMain::RunEnded); }

  private:
    void Call(void (TFrmMain::*handler)()) {
        TFrmMain* window = &window_;
        QMetaObject::invokeMethod(
            window, [window, handler] { (window->*handler)(); }, Qt::BlockingQueuedConnection);
    }

    TFrmMain& window_;
};

TMyThread::TMyThread(TFrmMain& window, HarvestRun& run, Selection selection,
                     const HarvestSettings& settings, UserAgentGenerator& agents, THarvestBody body)
    : window_(window),
      run_(run),
      selection_(std::move(selection)),
      settings_(settings),
      agents_(agents),
      body_(std::move(body)) {
    setObjectName(QStringLiteral("TMyThread"));
}

void TMyThread::run() {
    Observer observer(window_);
    HarvestContext context{run_, selection_, settings_, agents_, observer};
    // The engine reports its own failures through the run; anything that
    // still escapes is recorded here, and the window ends the run when it
    // sees the thread finish without its final call.
    try {
        body_(context);
    } catch (const std::exception& error) {
        run_.failure = error.what();
    } catch (...) {
        run_.failure = "unexpected error in the harvest thread";
    }
}

}  // namespace teebasket
