// UserAgents: the User-Agent of each request, drawn in a fixed sequence.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace teebasket {

inline constexpr std::array<std::string_view, 5> UserAgentTable = {
    "Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.0; Trident/5.0)",
    "Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)",
    "Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.2; Win64; x64; Trident/6.0)",
    "Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0; Sleipnir/2.9.8)",
    "Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.2; ARM; Trident/6.0)",
};

// The agent generator: a 32-bit linear congruential state that starts at 0
// and is never seeded, so every process sends the same agent sequence
// (indexes 0, 0, 4, 1, 1, 3, 1, 0, 1, 2, ...). One object lives as long as
// the program and is handed to every run; it is never reset between runs.
class UserAgentGenerator {
  public:
    // Advances the state once and returns an index into UserAgentTable.
    std::size_t NextIndex();

  private:
    std::uint32_t state_ = 0;
};

}  // namespace teebasket
