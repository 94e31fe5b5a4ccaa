// HarvestConfig: where the portal is and where the program keeps its files.
//
// golf.ini holds the selection ([Config] Area=) and the portal ([Portal]
// ListingHost=, BookingHost=, CACertificate=). Missing keys take the build's
// defaults, which point at the demo portal on this machine.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace teebasket {

struct PortalSettings {
    std::string listingHost;              // host or host:port; requests are always HTTPS
    std::string bookingHost;              // host or host:port
    std::filesystem::path caCertificate;  // extra trusted PEM certificates; empty for none
};

// The build's defaults (CMake cache variables), with a leading "~/" of the
// certificate path expanded to the home folder.
PortalSettings DefaultPortalSettings();

// The [Portal] keys of `iniFile`; each missing or empty key takes its default.
// A relative CACertificate names a file in the folder of `iniFile`.
PortalSettings LoadPortalSettings(const std::filesystem::path& iniFile);

// Why `host` cannot be used as a ListingHost or BookingHost value (UTF-8), or
// "" when it is a host name, an IPv4 address or a bracketed IPv6 address,
// optionally followed by ":port". A scheme, a path, blanks or other characters
// that could change the request are refused.
std::string PortalHostProblem(const std::string& host);

// The first problem of `settings`' two hosts, naming its key, or "".
std::string PortalSettingsProblem(const PortalSettings& settings);

// The path that the UTF-8 settings value `path` names, a leading "~/"
// expanded to the home folder.
std::filesystem::path ExpandHome(const std::string& path);

// The trusted-certificate file that the UTF-8 value `value` names: a leading
// "~/" is the home folder, and a relative path names a file in `baseFolder`
// (the folder of golf.ini for a settings value, the current folder for a
// command-line value).
std::filesystem::path CertificatePath(const std::string& value,
                                      const std::filesystem::path& baseFolder);

// True for a host of this machine, with or without ":port": "localhost" in
// any case, an IPv4 address of 127.0.0.0/8, and ::1 bare or bracketed.
bool IsLoopbackHost(const std::string& host);

// The folder for golf.ini and tmp.dat: `executableDir` when it is writable
// (a portable install) and not a folder of the system's programs (/usr,
// /bin, /sbin, /opt and below on Linux, such as /usr/bin of the Debian
// package; Program Files, %LOCALAPPDATA%\Programs or the Windows folder on
// Windows), otherwise the user's configuration folder for the program
// ($XDG_CONFIG_HOME/teebasket or ~/.config/teebasket on Linux,
// %APPDATA%\teebasket on Windows), created when missing.
std::filesystem::path DataFolder(const std::filesystem::path& executableDir);

inline constexpr const char* kSettingsFileName = "golf.ini";
inline constexpr const char* kScratchFileName = "tmp.dat";

// The [Config] Area value of `iniFile` as row indices whose character is "1"
// (only the first 47 characters count), or an empty list.
std::vector<int> LoadSelectedRows(const std::filesystem::path& iniFile);

// The [Config] Area value for `ticked` (one "1" or "0" per row, 47 in all).
std::string AreaValue(const std::vector<bool>& ticked);

// The section and key of the selection in golf.ini.
inline constexpr const char* kConfigSection = "Config";
inline constexpr const char* kAreaKey = "Area";

}  // namespace teebasket
