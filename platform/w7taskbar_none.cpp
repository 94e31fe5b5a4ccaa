// Platforms without a taskbar progress interface: the window runs without it.
#include "W7Taskbar.h"

namespace teebasket {

bool InitializeTaskbarAPI() {
    return false;
}

bool SetTaskbarProgressState(TTaskBarProgressState) {
    return false;
}

bool SetTaskbarProgressValue(std::uint64_t, std::uint64_t) {
    return false;
}

void FinalizeTaskbarAPI() {}

}  // namespace teebasket
