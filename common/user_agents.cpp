#include "Unicommon.h"

namespace teebasket {

std::size_t UserAgentGenerator::NextIndex() {
    state_ = state_ * 134775813u + 1u;
    // The upper half of the 64-bit product lies in 0 to 4.
    const std::uint64_t product = static_cast<std::uint64_t>(state_) * UserAgentTable.size();
    return static_cast<std::size_t>(product >> 32);
}

}  // namespace teebasket
