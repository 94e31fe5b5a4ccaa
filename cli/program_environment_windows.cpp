// The program's surroundings through Win32 calls, with wide (UTF-16) paths
// and arguments.
#include <windows.h>
// after windows.h
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "ProgramEnvironment.h"
#include "path_text.h"
#include "utf16_windows.h"

namespace teebasket::cli {

namespace fs = std::filesystem;

namespace {

// The folder for temporary files: %TMP%, %TEMP%, %USERPROFILE% or the
// Windows folder, as the system chooses it.
fs::path TemporaryFolder() {
    wchar_t buffer[MAX_PATH + 2];
    const DWORD length = ::GetTempPathW(MAX_PATH + 2, buffer);
    if (length == 0 || length > MAX_PATH + 1) {
        return fs::path(L".");
    }
    return fs::path(std::wstring(buffer, length));
}

}  // namespace

std::vector<std::string> ArgumentsAsUtf8(int, char**) {
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; wide != nullptr && i < count; ++i) {
        arguments.push_back(Utf8FromWide(wide[i]));
    }
    ::LocalFree(wide);
    return arguments;
}

fs::path ExecutableFolder() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return fs::path(buffer).parent_path();
        }
        buffer.resize(buffer.size() * 2);  // cut short: try a larger buffer
    }
}

// Opening it is the only test that honours every permission.
bool IsReadableFile(const fs::path& path) {
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        return false;
    }
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    ::CloseHandle(file);
    return true;
}

std::string MakeScratchFolder(fs::path& folder) {
    static std::atomic<unsigned> counter{0};
    const fs::path base = TemporaryFolder();
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate =
            base / (L"teebasket-cli-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                    std::to_wstring(::GetTickCount64()) + L"-" + std::to_wstring(counter++));
        if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
            folder = candidate;
            return {};
        }
        error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    return "cannot create a scratch folder in \"" + PathText(base) +
           "\": " + SystemErrorText(error);
}

// Windows has no SIGPIPE: a write to a closed pipe fails and the run goes on.
void PrepareProcess() {
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
}

}  // namespace teebasket::cli
