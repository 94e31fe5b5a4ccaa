// The walk along the links at an output path, with std::filesystem.
#include <cerrno>

#include "output_target.h"

namespace teebasket {

namespace fs = std::filesystem;

namespace {

// As many links in a row as Linux follows before it says ELOOP.
constexpr int kMostLinks = 40;

OutputTarget Refused(OutputTarget::Status status, const fs::path& path, const fs::path& at,
                     int error = 0) {
    OutputTarget target;
    target.status = status;
    target.file = path;
    target.at = at;
    if (error != 0) {
        target.error = std::error_code(error, std::generic_category());
    }
    return target;
}

// Where the link `link` leads: its text, taken from the link's own folder
// when it is relative.
fs::path LinkTarget(const fs::path& link, std::error_code& error) {
    const fs::path text = fs::read_symlink(link, error);
    return text.is_absolute() ? text : link.parent_path() / text;
}

}  // namespace

OutputTarget LookAtOutput(const fs::path& path) {
    fs::path at = path;
    for (int links = 0; links <= kMostLinks; ++links) {
        std::error_code error;
        const fs::file_status status = fs::symlink_status(at, error);
        switch (status.type()) {
            case fs::file_type::not_found:
                if (links == 0) {
                    return {OutputTarget::Status::Nothing, path, path, {}};
                }
                return Refused(OutputTarget::Status::BrokenLink, path, at, ENOENT);
            case fs::file_type::regular:
                if (!FileMayBeReplaced(at)) {
                    return Refused(OutputTarget::Status::ReadOnly, path, at);
                }
                return {OutputTarget::Status::RegularFile, at, at, {}};
            case fs::file_type::symlink: {
                if (!LinkMayBeFollowed(at)) {
                    return Refused(OutputTarget::Status::UntrustedLink, path, at);
                }
                fs::path next = LinkTarget(at, error);
                if (error) {
                    return Refused(OutputTarget::Status::BrokenLink, path, at, error.value());
                }
                at = std::move(next);
                break;
            }
            case fs::file_type::none:
                // The name cannot be looked at (a folder on the way that
                // cannot be searched): creating the file there will say why.
                if (links == 0) {
                    return {OutputTarget::Status::Nothing, path, path, error};
                }
                return Refused(OutputTarget::Status::BrokenLink, path, at, error.value());
            case fs::file_type::directory:
            case fs::file_type::block:
            case fs::file_type::character:
            case fs::file_type::fifo:
            case fs::file_type::socket:
            case fs::file_type::unknown:
                return Refused(OutputTarget::Status::NotRegular, path, at);
        }
    }
    return Refused(OutputTarget::Status::BrokenLink, path, at, ELOOP);
}

}  // namespace teebasket
