// The user's folders from the (wide) environment and the shell's known
// folders, so that names outside the ANSI code page survive.
#include <windows.h>
// after windows.h
#include <shlobj.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <system_error>

#include "user_folders.h"

namespace teebasket {

namespace fs = std::filesystem;

namespace {

fs::path EnvironmentFolder(const wchar_t* name) {
    const wchar_t* value = ::_wgetenv(name);
    return value != nullptr ? fs::path(value) : fs::path();
}

fs::path KnownFolder(REFKNOWNFOLDERID id) {
    wchar_t* path = nullptr;
    fs::path folder;
    if (::SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path) == S_OK) {
        folder = path;
    }
    ::CoTaskMemFree(path);
    return folder;
}

// The user's own programs folder (%LOCALAPPDATA%\Programs unless moved). It
// is writable, but a per-user installer puts the program there and its
// uninstaller owns it, so the settings belong in %APPDATA% as for Program
// Files. Wine knows no FOLDERID_UserProgramFiles: then the default place.
fs::path UserProgramsFolder() {
    if (fs::path folder = KnownFolder(FOLDERID_UserProgramFiles); !folder.empty()) {
        return folder;
    }
    const fs::path localAppData = KnownFolder(FOLDERID_LocalAppData);
    return localAppData.empty() ? fs::path() : localAppData / L"Programs";
}

}  // namespace

fs::path HomeFolder() {
    if (fs::path folder = EnvironmentFolder(L"USERPROFILE"); !folder.empty()) {
        return folder;
    }
    if (fs::path folder = KnownFolder(FOLDERID_Profile); !folder.empty()) {
        return folder;
    }
    return L"C:\\";
}

fs::path UserConfigFolder() {
    if (fs::path folder = EnvironmentFolder(L"APPDATA"); !folder.empty()) {
        return folder;
    }
    if (fs::path folder = KnownFolder(FOLDERID_RoamingAppData); !folder.empty()) {
        return folder;
    }
    return HomeFolder() / L"AppData" / L"Roaming";
}

const char* ProgramSettingsFolderName() {
    return "Teebasket";
}

// Windows has no cheap access check that honours folder permissions: create
// a file that goes away when closed, and see.
bool IsWritableFolder(const fs::path& folder) {
    std::error_code error;
    if (folder.empty() || !fs::is_directory(folder, error)) {
        return false;
    }
    static std::atomic<unsigned> counter{0};
    const fs::path probe =
        folder / (L".teebasket-write-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                  std::to_wstring(counter++));
    const HANDLE file =
        ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    ::CloseHandle(file);
    return true;
}

bool IsSystemProgramFolder(const fs::path& folder) {
    std::error_code error;
    const fs::path real = fs::weakly_canonical(folder, error);
    if (error) {
        return false;
    }
    const std::wstring text = real.wstring();
    const fs::path programFolders[] = {KnownFolder(FOLDERID_ProgramFiles),
                                       KnownFolder(FOLDERID_ProgramFilesX86), UserProgramsFolder(),
                                       KnownFolder(FOLDERID_Windows)};
    for (const fs::path& programFolder : programFolders) {
        const std::wstring root = programFolder.wstring();
        if (!root.empty() && text.size() >= root.size() &&
            ::CompareStringOrdinal(text.c_str(), static_cast<int>(root.size()), root.c_str(),
                                   static_cast<int>(root.size()), TRUE) == CSTR_EQUAL &&
            (text.size() == root.size() || text[root.size()] == L'\\' ||
             text[root.size()] == L'/')) {
            return true;
        }
    }
    return false;
}

}  // namespace teebasket
