#include <windows.h>

#include "standard_descriptors.h"

namespace teebasket {

namespace {

bool NoHandle(DWORD which) {
    const HANDLE handle = ::GetStdHandle(which);
    return handle == nullptr || handle == INVALID_HANDLE_VALUE;
}

}  // namespace

// Nothing to open: a Windows file or socket is a handle, never one of the C
// runtime's descriptors 0-2, and the runtime keeps those three reserved (as
// devices without a handle) when the process starts without them, so that no
// later _open takes their numbers. A standard handle that the process was
// started without is told as closed.
bool OpenClosedStandardDescriptors(ClosedStandardDescriptors* closed) {
    if (closed != nullptr) {
        closed->input = NoHandle(STD_INPUT_HANDLE);
        closed->output = NoHandle(STD_OUTPUT_HANDLE);
        closed->error = NoHandle(STD_ERROR_HANDLE);
    }
    return true;
}

}  // namespace teebasket
