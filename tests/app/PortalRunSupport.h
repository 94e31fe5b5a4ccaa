// Helpers of the window tests that run the real window against a demo
// portal: settings that reach it, starting a run as the user does, and what
// the portal was asked for.
#pragma once

#include <QTest>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "WindowTestSupport.h"

namespace teebasket::testing {

inline bool WaitFor(const std::function<bool()>& condition) {
    return QTest::qWaitFor(condition, 120000);
}

// Settings that reach `portal`, with short waits before a retry.
inline HarvestSettings SettingsFor(const test::PortalProcess& portal) {
    HarvestSettings settings;
    settings.portal.listingHost = portal.host();
    settings.portal.bookingHost = portal.host();
    settings.portal.caCertificate = portal.certificate();
    settings.retries.waits = {std::chrono::milliseconds(10)};
    return settings;
}

inline int CsvLineCount(const std::filesystem::path& file) {
    return static_cast<int>(ReadBytes(file).count("\r\n"));
}

// Ticks those of `rows` that are not ticked yet, the way the user does,
// answers the save dialog with `fileName` in the fixture's folder (and the
// file type `filter`), and presses Start.
inline void TickAndStart(WindowFixture& f, const std::vector<int>& rows, const QString& fileName,
                         int filter = 0) {
    if (!f.Window().isVisible()) {
        f.Window().show();
    }
    for (int row : rows) {
        if (f.lstArea()->item(row)->checkState() != Qt::Checked) {
            f.ToggleByUser(row);
        }
    }
    f.Dialogs().AnswerSave(f.FilePath(fileName), filter);
    f.btnAction()->click();
}

// The course identifiers of the detail pages that `portal` was asked for, in
// the order asked.
inline std::vector<std::string> DetailRequests(const test::PortalProcess& portal) {
    static const std::string kDetailPrefix = "/guide/disp/c_id/";
    std::vector<std::string> ids;
    for (const test::PortalRequest& request : portal.requests()) {
        if (request.target.starts_with(kDetailPrefix)) {
            std::string id = request.target.substr(kDetailPrefix.size());
            if (const std::size_t end = id.find_first_of("/?"); end != std::string::npos) {
                id.resize(end);
            }
            ids.push_back(id);
        }
    }
    return ids;
}

// Whether some value in `ids` appears more than once.
inline bool AnyTwice(std::vector<std::string> ids) {
    std::sort(ids.begin(), ids.end());
    return std::adjacent_find(ids.begin(), ids.end()) != ids.end();
}

}  // namespace teebasket::testing
