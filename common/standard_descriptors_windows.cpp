#include "standard_descriptors.h"

namespace teebasket {

// Nothing to do: a Windows file or socket is a handle, never one of the C
// runtime's descriptors 0-2, and the runtime keeps those three reserved (as
// devices without a handle) when the process starts without them, so that no
// later _open takes their numbers.
bool OpenClosedStandardDescriptors() {
    return true;
}

}  // namespace teebasket
