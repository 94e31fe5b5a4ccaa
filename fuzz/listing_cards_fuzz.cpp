// The card scan of a listing page: whatever the page holds, each identifier
// it yields becomes one path segment of the detail address, and the request
// path is the one the CSV records.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzChecks.h"
#include "Unithread.h"

using namespace teebasket;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string page(reinterpret_cast<const char*>(data), size);
    const StopFlag stop;
    PortalSettings portal;
    portal.bookingHost = "book.example";
    for (const std::string& id : ScanListingCards(PageText(page), stop)) {
        fuzz::Require(id.size() <= page.size(), "an identifier longer than its page", id);
        fuzz::CheckDetailUrl(DetailUrl(portal, id), "book.example", id);
    }
    return 0;
}
