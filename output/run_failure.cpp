#include "RunFailure.h"

#include <cerrno>

namespace teebasket {

RunFailure FileFailure(RunFailureKind kind, const std::filesystem::path& path,
                       std::error_code error) {
    const bool full = error == std::errc::no_space_on_device || error == std::errc::file_too_large
#ifdef EDQUOT
                      || error == std::error_code(EDQUOT, std::generic_category())
#endif
        ;
    // A full disk is named as such for the output; the scratch file keeps its
    // own kind, the error says the rest.
    const bool output =
        kind == RunFailureKind::OutputNotCreated || kind == RunFailureKind::OutputNotWritten;
    RunFailure failure;
    failure.kind = full && output ? RunFailureKind::NoSpace : kind;
    failure.path = path;
    failure.error = error;
    return failure;
}

}  // namespace teebasket
