#include "W7Taskbar.h"

namespace teebasket {

unsigned TaskbarProgressFlag(TTaskBarProgressState state) {
    switch (state) {
        case tbpsNone:
            return 0;
        case tbpsIndeterminate:
            return 1;
        case tbpsNormal:
            return 2;
        case tbpsError:
            return 4;
        case tbpsPaused:
            return 8;
    }
    return 0;
}

}  // namespace teebasket
