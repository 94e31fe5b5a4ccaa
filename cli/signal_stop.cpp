#include "SignalStop.h"

namespace teebasket::cli {

void SignalStop::Dispatch() {
    if (received_.fetch_add(1) == 0) {
        firstSignal_();
    } else {
        furtherSignal_();
    }
}

}  // namespace teebasket::cli
