// Taskbar progress on Windows through the shell's ITaskbarList3, or through
// the TTaskbarShell that a test put in its place.
#include <shobjidl.h>
#include <windows.h>

#include <QApplication>
#include <QDialog>
#include <QWidget>
#include <memory>

#include "W7Taskbar.h"

namespace teebasket {
namespace {

// ITaskbarList3 behind the TTaskbarShell calls. COM is initialised for the
// user-interface thread by Qt.
class TaskbarList3Shell : public TTaskbarShell {
  public:
    explicit TaskbarList3Shell(ITaskbarList3* list) : list_(list) {}
    ~TaskbarList3Shell() override { list_->Release(); }
    TaskbarList3Shell(const TaskbarList3Shell&) = delete;
    TaskbarList3Shell& operator=(const TaskbarList3Shell&) = delete;

    bool SetProgressState(std::uintptr_t window, unsigned flag) override {
        return list_->SetProgressState(reinterpret_cast<HWND>(window),
                                       static_cast<TBPFLAG>(flag)) == S_OK;
    }
    bool SetProgressValue(std::uintptr_t window, std::uint64_t completed,
                          std::uint64_t total) override {
        return list_->SetProgressValue(reinterpret_cast<HWND>(window), completed, total) == S_OK;
    }

  private:
    ITaskbarList3* list_;
};

std::unique_ptr<TaskbarList3Shell> CreateSystemShell() {
    ITaskbarList3* list = nullptr;
    const HRESULT result =
        CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                         IID_ITaskbarList3, reinterpret_cast<void**>(&list));
    if (FAILED(result) || list == nullptr) {
        return nullptr;
    }
    if (list->HrInit() != S_OK) {
        list->Release();
        return nullptr;
    }
    return std::make_unique<TaskbarList3Shell>(list);
}

// The shell held from a successful InitializeTaskbarAPI until
// FinalizeTaskbarAPI: the system's (owned here) or a test's.
std::unique_ptr<TaskbarList3Shell> systemShell;
TTaskbarShell* replacementShell = nullptr;
TTaskbarShell* heldShell = nullptr;

// The window that owns the program's taskbar button: the visible top-level
// window that is not a dialog.
std::uintptr_t TaskbarButtonWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->isWindow() && !qobject_cast<QDialog*>(widget)) {
            return static_cast<std::uintptr_t>(widget->winId());
        }
    }
    return 0;
}

}  // namespace

bool InitializeTaskbarAPI() {
    if (heldShell != nullptr) {
        return true;
    }
    if (replacementShell != nullptr) {
        heldShell = replacementShell;
    } else {
        systemShell = CreateSystemShell();
        heldShell = systemShell.get();
    }
    return heldShell != nullptr;
}

bool SetTaskbarProgressState(TTaskBarProgressState state) {
    const std::uintptr_t window = TaskbarButtonWindow();
    if (heldShell == nullptr || window == 0) {
        return false;
    }
    return heldShell->SetProgressState(window, TaskbarProgressFlag(state));
}

bool SetTaskbarProgressValue(std::uint64_t completed, std::uint64_t total) {
    const std::uintptr_t window = TaskbarButtonWindow();
    if (heldShell == nullptr || window == 0) {
        return false;
    }
    return heldShell->SetProgressValue(window, completed, total);
}

void FinalizeTaskbarAPI() {
    if (heldShell != nullptr) {
        SetTaskbarProgressState(tbpsNone);
    }
    heldShell = nullptr;
    systemShell.reset();
}

void UseTaskbarShell(TTaskbarShell* shell) {
    FinalizeTaskbarAPI();
    replacementShell = shell;
}

}  // namespace teebasket
