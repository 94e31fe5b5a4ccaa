// One download over a connection of its own, closed afterwards, as a test
// that looks at a single fetch needs it.
#pragma once

#include <filesystem>
#include <string>

#include "Unicommon.h"

namespace teebasket {

inline FetchResult FetchOnce(const std::string& url, const std::filesystem::path& scratch,
                             UserAgentGenerator& agents, const FetchOptions& options = {},
                             const FetchStop* stop = nullptr) {
    FetchSession session;
    return session.Fetch(url, scratch, agents, options, stop);
}

}  // namespace teebasket
