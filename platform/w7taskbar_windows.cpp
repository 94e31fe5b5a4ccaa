// Taskbar progress on Windows through the shell's ITaskbarList3.
#include <shobjidl.h>
#include <windows.h>

#include <QApplication>
#include <QDialog>
#include <QWidget>

#include "W7Taskbar.h"

namespace teebasket {
namespace {

// The taskbar list, held from a successful InitializeTaskbarAPI until
// FinalizeTaskbarAPI. COM is initialised for the user-interface thread by Qt.
ITaskbarList3* taskbarList = nullptr;

// The window that owns the program's taskbar button: the visible top-level
// window that is not a dialog.
HWND TaskbarButtonWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->isWindow() && !qobject_cast<QDialog*>(widget)) {
            return reinterpret_cast<HWND>(widget->winId());
        }
    }
    return nullptr;
}

}  // namespace

bool InitializeTaskbarAPI() {
    if (taskbarList != nullptr) {
        return true;
    }
    IUnknown* object = nullptr;
    HRESULT result =
        CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                         IID_IUnknown, reinterpret_cast<void**>(&object));
    if (SUCCEEDED(result) && object != nullptr) {
        ITaskbarList3* list = nullptr;
        result = object->QueryInterface(IID_ITaskbarList3, reinterpret_cast<void**>(&list));
        if (SUCCEEDED(result) && list != nullptr) {
            if (list->HrInit() == S_OK) {
                taskbarList = list;
            } else {
                list->Release();
            }
        }
        object->Release();
    }
    return taskbarList != nullptr;
}

bool SetTaskbarProgressState(TTaskBarProgressState state) {
    HWND window = TaskbarButtonWindow();
    if (taskbarList == nullptr || window == nullptr) {
        return false;
    }
    auto flag = static_cast<TBPFLAG>(TaskbarProgressFlag(state));
    return taskbarList->SetProgressState(window, flag) == S_OK;
}

bool SetTaskbarProgressValue(std::uint64_t completed, std::uint64_t total) {
    HWND window = TaskbarButtonWindow();
    if (taskbarList == nullptr || window == nullptr) {
        return false;
    }
    return taskbarList->SetProgressValue(window, completed, total) == S_OK;
}

void FinalizeTaskbarAPI() {
    if (taskbarList != nullptr) {
        SetTaskbarProgressState(tbpsNone);
        taskbarList->Release();
        taskbarList = nullptr;
    }
}

}  // namespace teebasket
