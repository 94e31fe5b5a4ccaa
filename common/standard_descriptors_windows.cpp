#include <io.h>

#include "standard_descriptors.h"

namespace teebasket {

// Nothing to open: a Windows file or socket is a handle, never one of the C
// runtime's descriptors 0-2, and the runtime keeps those three reserved (as
// devices without a handle) when the process starts without them, so that no
// later _open takes their numbers. A descriptor without a handle is told as
// closed.
bool OpenClosedStandardDescriptors(ClosedStandardDescriptors* closed) {
    if (closed != nullptr) {
        closed->input = _get_osfhandle(0) < 0;
        closed->output = _get_osfhandle(1) < 0;
        closed->error = _get_osfhandle(2) < 0;
    }
    return true;
}

}  // namespace teebasket
