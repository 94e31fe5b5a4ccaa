#include "Unicommon.h"

namespace teebasket {

// Placeholder until the libcurl fetcher lands.
FetchResult PageFetcher(const std::string&, const std::filesystem::path&,
                        UserAgentGenerator& agents, const FetchOptions&) {
    agents.NextIndex();
    return FetchResult{FetchStatus::InvalidUrl, 0, 0, "not implemented"};
}

}  // namespace teebasket
