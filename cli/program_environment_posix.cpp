// The program's surroundings through POSIX calls and Linux's /proc.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <system_error>

#include "ProgramEnvironment.h"
#include "SystemText.h"
#include "path_text.h"

namespace teebasket::cli {

namespace fs = std::filesystem;

std::vector<std::string> ArgumentsAsUtf8(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

fs::path ExecutableFolder() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : self.parent_path();
}

bool IsReadableFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && ::access(path.c_str(), R_OK) == 0;
}

std::string MakeScratchFolder(fs::path& folder) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/teebasket-cli-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        return "cannot create a scratch folder in \"" + PathText(fs::path(pattern).parent_path()) +
               "\": " + ErrorNumberText(errno);
    }
    folder = pattern;
    return {};
}

void PrepareProcess() {
    std::signal(SIGPIPE, SIG_IGN);
    // A write over the file-size limit (ulimit -f) then fails with EFBIG, as
    // on a full disk, and the run cuts its file back to a whole line.
    std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace teebasket::cli
