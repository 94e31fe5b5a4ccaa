// The portal settings of golf.ini, the data folder and the Area value.
#include "HarvestConfig.h"

#include <string_view>
#include <system_error>

#include "CuttingRules.h"
#include "HarvestFailure.h"
#include "Prefectures.h"
#include "ProfileFile.h"
#include "TextPrimitives.h"
#include "path_text.h"
#include "user_folders.h"

namespace teebasket {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPortalSection = "Portal";

std::string ReadPortalKey(const fs::path& iniFile, const char* key, const std::string& fallback) {
    const std::string value = ReadProfileString(iniFile, kPortalSection, key, "");
    return value.empty() ? fallback : value;
}

}  // namespace

PortalSettings DefaultPortalSettings() {
    PortalSettings settings;
    settings.listingHost = TEEBASKET_DEFAULT_LISTING_HOST;
    settings.bookingHost = TEEBASKET_DEFAULT_BOOKING_HOST;
    const std::string certificate = TEEBASKET_DEFAULT_CA_CERTIFICATE;
    if (!certificate.empty()) {
        settings.caCertificate = ExpandHome(certificate);
    }
    return settings;
}

PortalSettings LoadPortalSettings(const fs::path& iniFile) {
    PortalSettings settings = DefaultPortalSettings();
    settings.listingHost = ReadPortalKey(iniFile, "ListingHost", settings.listingHost);
    settings.bookingHost = ReadPortalKey(iniFile, "BookingHost", settings.bookingHost);
    const std::string certificate = ReadProfileString(iniFile, kPortalSection, "CACertificate", "");
    if (!certificate.empty()) {
        // A relative path names a file beside golf.ini, wherever the program
        // was started from.
        settings.caCertificate = CertificatePath(certificate, iniFile.parent_path());
    }
    return settings;
}

fs::path ExpandHome(const std::string& path) {
    if (path == "~") {
        return HomeFolder();
    }
    if (path.starts_with("~/")) {
        return HomeFolder() / PathFromUtf8(path.substr(2));
    }
    return PathFromUtf8(path);
}

fs::path CertificatePath(const std::string& value, const fs::path& baseFolder) {
    const fs::path path = ExpandHome(value);
    return path.is_relative() ? baseFolder / path : path;
}

namespace {

// Four decimal parts of 0-255, the first 127.
bool IsIpv4Loopback(std::string_view host) {
    int parts = 0;
    while (true) {
        const std::size_t dot = host.find('.');
        const std::string_view part = host.substr(0, dot);
        if (part.empty() || part.size() > 3 ||
            part.find_first_not_of("0123456789") != std::string_view::npos) {
            return false;
        }
        const int value = std::stoi(std::string(part));
        if (value > 255 || (parts == 0 && value != 127)) {
            return false;
        }
        ++parts;
        if (dot == std::string_view::npos) {
            break;
        }
        host.remove_prefix(dot + 1);
    }
    return parts == 4;
}

bool IsIpv6Loopback(std::string_view address) {
    return address == "::1" || address == "0:0:0:0:0:0:0:1";
}

}  // namespace

bool IsLoopbackHost(const std::string& host) {
    std::string_view name = host;
    if (name.starts_with('[')) {
        const std::size_t close = name.find(']');
        return close != std::string_view::npos && IsIpv6Loopback(name.substr(1, close - 1));
    }
    if (IsIpv6Loopback(name)) {
        return true;
    }
    name = name.substr(0, name.find(':'));
    return TextSameIgnoringCase(name, "localhost") || IsIpv4Loopback(name);
}

fs::path DataFolder(const fs::path& executableDir) {
    if (IsWritableFolder(executableDir) && !IsSystemProgramFolder(executableDir)) {
        return executableDir;
    }
    const fs::path folder = UserConfigFolder() / ProgramSettingsFolderName();
    std::error_code error;
    fs::create_directories(folder, error);  // a failure shows when golf.ini is written
    return folder;
}

std::vector<int> LoadSelectedRows(const fs::path& iniFile) {
    const std::string area = ReadProfileString(iniFile, kConfigSection, kAreaKey, "");
    std::vector<int> rows;
    for (int row = 0; row < kPrefectureCount && row < static_cast<int>(area.size()); ++row) {
        if (area[static_cast<std::size_t>(row)] == '1') {
            rows.push_back(row);
        }
    }
    return rows;
}

std::string AreaValue(const std::vector<bool>& ticked) {
    std::string value(kPrefectureCount, '0');
    for (int row = 0; row < kPrefectureCount && row < static_cast<int>(ticked.size()); ++row) {
        if (ticked[static_cast<std::size_t>(row)]) {
            value[static_cast<std::size_t>(row)] = '1';
        }
    }
    return value;
}

std::string PortalHostProblem(const std::string& host) {
    if (host.empty()) {
        return "no host given";
    }
    std::string_view name = host;
    std::string_view port;
    if (name.starts_with('[')) {  // [IPv6 address] or [IPv6 address]:port
        const std::size_t close = name.find(']');
        if (close == std::string_view::npos) {
            return "\"" + host + "\" lacks the closing bracket of its address";
        }
        const std::string_view address = name.substr(1, close - 1);
        if (address.empty() ||
            address.find_first_not_of("0123456789abcdefABCDEF:.") != std::string_view::npos) {
            return "\"" + host + "\" is not a valid address";
        }
        const std::string_view rest = name.substr(close + 1);
        if (!rest.empty()) {
            if (!rest.starts_with(':')) {
                return "\"" + host + "\" is not host or host:port";
            }
            port = rest.substr(1);
            if (port.empty()) {
                return "\"" + host + "\" has an empty port";
            }
        }
    } else {
        const std::size_t colon = name.find(':');
        if (colon != std::string_view::npos) {
            port = name.substr(colon + 1);
            name = name.substr(0, colon);
            if (port.empty()) {
                return "\"" + host + "\" has an empty port";
            }
        }
        if (name.empty() ||
            name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                   "0123456789-._") != std::string_view::npos) {
            return "\"" + host + "\" is not a host name or host:port (no scheme, path or blanks)";
        }
    }
    if (!port.empty()) {
        if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string_view::npos ||
            std::stoi(std::string(port)) < 1 || std::stoi(std::string(port)) > 65535) {
            return "\"" + host + "\" has an invalid port";
        }
    }
    return {};
}

std::string PortalSettingsProblem(const PortalSettings& settings) {
    if (std::string problem = PortalHostProblem(settings.listingHost); !problem.empty()) {
        return "ListingHost: " + problem;
    }
    if (std::string problem = PortalHostProblem(settings.bookingHost); !problem.empty()) {
        return "BookingHost: " + problem;
    }
    return {};
}

bool PointsToPortalSettings(const PageFailure& failure) {
    if (failure.problem != PageProblem::Fetch ||
        (failure.error != FetchError::Refused && failure.error != FetchError::HostNotFound)) {
        return false;
    }
    const PortalSettings defaults = DefaultPortalSettings();
    const std::string& builtIn =
        failure.kind == PageKind::Listing ? defaults.listingHost : defaults.bookingHost;
    const std::string host = HostOfUrl(failure.url);
    return !host.empty() && host != builtIn;
}

}  // namespace teebasket
