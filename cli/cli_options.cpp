#include "CliOptions.h"

#include <charconv>
#include <string_view>
#include <system_error>

#include "Unicommon.h"
#include "path_text.h"

namespace teebasket::cli {

namespace fs = std::filesystem;

namespace {

enum class OptionKind { Flag, Value };

struct OptionInfo {
    std::string_view longName;
    char shortName;  // '\0' when the option has none
    OptionKind kind;
};

constexpr OptionInfo kOptions[] = {
    {"help", 'h', OptionKind::Flag},           {"version", 'V', OptionKind::Flag},
    {"quiet", 'q', OptionKind::Flag},          {"all", '\0', OptionKind::Flag},
    {"resume", '\0', OptionKind::Flag},        {"output", 'o', OptionKind::Value},
    {"config", '\0', OptionKind::Value},       {"listing-host", '\0', OptionKind::Value},
    {"booking-host", '\0', OptionKind::Value}, {"ca-cert", '\0', OptionKind::Value},
    {"pause-ms", '\0', OptionKind::Value},
};

const OptionInfo* FindLongOption(std::string_view name) {
    for (const OptionInfo& option : kOptions) {
        if (option.longName == name) {
            return &option;
        }
    }
    return nullptr;
}

const OptionInfo* FindShortOption(char name) {
    for (const OptionInfo& option : kOptions) {
        if (option.shortName != '\0' && option.shortName == name) {
            return &option;
        }
    }
    return nullptr;
}

// Stores one option; returns a UTF-8 error or "".
std::string ApplyOption(const OptionInfo& option, const std::string& value, CommandLine& line) {
    const std::string_view name = option.longName;
    if (name == "help") {
        line.help = true;
    } else if (name == "version") {
        line.version = true;
    } else if (name == "quiet") {
        line.quiet = true;
    } else if (name == "all") {
        line.all = true;
    } else if (name == "resume") {
        line.resume = true;
    } else if (name == "output") {
        if (value.empty()) {
            return "--output needs a file name";
        }
        line.output = value;
    } else if (name == "config") {
        if (value.empty()) {
            return "--config needs a file name";
        }
        line.config = value;
    } else if (name == "listing-host") {
        line.listingHost = value;
    } else if (name == "booking-host") {
        line.bookingHost = value;
    } else if (name == "ca-cert") {
        line.caCertificate = value;
    } else if (name == "pause-ms") {
        line.pauses = ParsePauses(value);
        if (!line.pauses) {
            return "--pause-ms takes two numbers of milliseconds, LISTING,DETAIL (e.g. 1000,300), "
                   "not \"" +
                   value + "\"";
        }
    }
    return {};
}

std::optional<long long> ParseMilliseconds(std::string_view text) {
    if (text.empty() || text.size() > 10) {
        return std::nullopt;
    }
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

bool IsIpv4Loopback(std::string_view host) {
    // Four decimal parts of 0-255, the first 127.
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

// The extension as the window takes it: from the last dot of the file name,
// dot included; "" when there is none.
std::string_view Extension(std::string_view fileName) {
    const std::size_t dot = fileName.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : fileName.substr(dot);
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    ParsedCommandLine parsed;
    CommandLine& line = parsed.values;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument == "-" || !argument.starts_with('-')) {
            line.prefectures.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        const OptionInfo* option = nullptr;
        std::optional<std::string> inlineValue;
        std::string shown = argument;
        if (argument.starts_with("--")) {
            const std::size_t equals = argument.find('=');
            const std::string name =
                argument.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
            if (equals != std::string::npos) {
                inlineValue = argument.substr(equals + 1);
                shown = "--" + name;
            }
            option = FindLongOption(name);
        } else if (argument.size() == 2) {
            option = FindShortOption(argument[1]);
        }
        if (option == nullptr) {
            parsed.error = "unknown option " + shown;
            return parsed;
        }
        std::string value;
        if (option->kind == OptionKind::Value) {
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                parsed.error = shown + " needs a value";
                return parsed;
            }
        } else if (inlineValue) {
            parsed.error = shown + " takes no value";
            return parsed;
        }
        if (std::string error = ApplyOption(*option, value, line); !error.empty()) {
            parsed.error = error;
            return parsed;
        }
    }
    return parsed;
}

std::optional<PauseArgument> ParsePauses(const std::string& text) {
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos) {
        return std::nullopt;
    }
    const std::optional<long long> listing =
        ParseMilliseconds(std::string_view(text).substr(0, comma));
    const std::optional<long long> detail =
        ParseMilliseconds(std::string_view(text).substr(comma + 1));
    if (!listing || !detail || *listing > kMaximumPause.count() ||
        *detail > kMaximumPause.count()) {
        return std::nullopt;
    }
    return PauseArgument{std::chrono::milliseconds(*listing), std::chrono::milliseconds(*detail)};
}

bool IsLoopbackHost(const std::string& host) {
    std::string_view name = host;
    if (name.starts_with('[')) {
        const std::size_t close = name.find(']');
        if (close == std::string_view::npos) {
            return false;
        }
        name = name.substr(1, close - 1);
        return name == "::1" || name == "0:0:0:0:0:0:0:1";
    }
    if (const std::size_t colon = name.find(':'); colon != std::string_view::npos) {
        if (name == "::1") {
            return true;
        }
        name = name.substr(0, colon);
    }
    return TextSameIgnoringCase(name, "localhost") || IsIpv4Loopback(name);
}

std::string PauseProblem(const PauseArgument& pauses, const std::string& listingHost,
                         const std::string& bookingHost) {
    const bool polite =
        pauses.listing >= kMinimumListingPause && pauses.detail >= kMinimumDetailPause;
    if (polite || (IsLoopbackHost(listingHost) && IsLoopbackHost(bookingHost))) {
        return {};
    }
    return "pauses below " + std::to_string(kMinimumListingPause.count()) + "," +
           std::to_string(kMinimumDetailPause.count()) +
           " ms are only allowed for a portal on this machine (127.0.0.1, ::1, localhost)";
}

fs::path OutputPathFor(const std::optional<std::string>& given, const fs::path& currentFolder) {
    const fs::path defaultName = PathFromUtf8(kDefaultOutputName);
    const fs::path path = given ? PathFromUtf8(*given) : defaultName;
    std::error_code error;
    const fs::path absolute = path.is_absolute() ? path : currentFolder / path;
    if (!absolute.has_filename() || fs::is_directory(absolute, error)) {
        return absolute / defaultName;
    }
    const std::string fileName = PathText(absolute.filename());
    if (TextSameIgnoringCase(Extension(fileName), ".csv")) {
        return absolute;
    }
    return absolute.parent_path() / PathFromUtf8(fileName + ".csv");
}

std::string UsageText() {
    return R"(Usage: teebasket-cli [OPTIONS] [PREFECTURE...]

Collects the golf courses of the chosen prefectures into one CSV file
(code page 932, as the Teebasket window writes it).

A PREFECTURE is a display name (東京都, or 東京), a slug (tokyo) or a row
index from 0 (北海道) to 46 (沖縄県). Without any, the prefectures ticked in
the window (golf.ini) are taken.

Options:
  --all                   every prefecture
  -o, --output FILE       the CSV file (default: ゴルフ場一覧.csv here);
                          ".csv" is appended unless the name ends in .csv
      --resume            continue an interrupted run from FILE.partial, or
                          repair FILE: keep every course whose page was
                          read, request only the others
      --config FILE       the settings file (default: the window's golf.ini)
      --listing-host HOST the portal's listing host (host or host:port)
      --booking-host HOST the portal's booking host (host or host:port)
      --ca-cert FILE      extra trusted certificates (PEM); "" for none
      --pause-ms L,D      pauses after a listing and a detail page in ms
                          (at least 1000,300 unless both hosts are local)
  -q, --quiet             no progress; only failures and warnings
  -h, --help              this text
  -V, --version           the program's version

Rows go to FILE.partial first, line by line; it replaces FILE when the run
ends or is stopped with rows. A run that finds nothing or cannot reach the
portal leaves FILE as it was; a killed run leaves FILE.partial for --resume.

Exit codes:
   0  at least one course written       9  the portal could not be reached
   1  nothing found                    64  bad usage or configuration, or a
   2  stopped (Ctrl-C)                     file --resume cannot continue
   3  some pages could not be read     73  the output or scratch file could not
      (each is listed on stderr)           be written
)";
}

}  // namespace teebasket::cli
