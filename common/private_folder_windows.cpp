// Private folders on Windows: CreateDirectoryW under a random name, which
// fails rather than reuse a folder that is already there. The folder takes
// the permissions of its parent, as a file made there would.
#include <windows.h>

#include <random>
#include <system_error>

#include "private_folder.h"
#include "utf16_windows.h"

namespace teebasket {

namespace fs = std::filesystem;

FolderHold::~FolderHold() = default;

FolderHold::FolderHold(FolderHold&& other) noexcept : handle_(other.handle_) {
    other.handle_ = -1;
}

FolderHold& FolderHold::operator=(FolderHold&& other) noexcept {
    handle_ = other.handle_;
    other.handle_ = -1;
    return *this;
}

std::string MakePrivateFolder(const fs::path& parent, const std::string& prefix, fs::path& folder,
                              FolderHold&) {
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::mt19937 random(std::random_device{}());
    DWORD error = ERROR_ALREADY_EXISTS;
    for (int attempt = 0; attempt < 100 && error == ERROR_ALREADY_EXISTS; ++attempt) {
        std::string name = prefix;
        for (int i = 0; i < 10; ++i) {
            name.push_back(kDigits[random() % 36]);
        }
        const fs::path candidate = (parent.empty() ? fs::path(".") : parent) / WideFromUtf8(name);
        if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
            folder = candidate;
            return {};
        }
        error = ::GetLastError();
    }
    return SystemErrorText(error);
}

void RemovePrivateFolder(const fs::path& folder) {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

// A folder in use cannot be told from an abandoned one without a hold, and a
// removal could take the files of a run in progress: abandoned folders stay.
void RemoveAbandonedPrivateFolders(const fs::path&, const std::string&) {}

}  // namespace teebasket
