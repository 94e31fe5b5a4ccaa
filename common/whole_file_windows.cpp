// Whole-file reading and atomic replacement with the Win32 calls that take
// wide (UTF-16) paths: CreateFileW, FlushFileBuffers, and ReplaceFileW (or
// MoveFileExW for a new file) to put the new file in place; MoveFileExW to
// move a finished file over another.
#include <windows.h>

#include <atomic>

#include "utf16_windows.h"
#include "whole_file.h"

namespace teebasket {

namespace fs = std::filesystem;

namespace {

class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (Valid()) {
            ::CloseHandle(handle_);
        }
    }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }
    // Closes now and reports the result.
    bool Close() {
        const bool closed = ::CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

  private:
    HANDLE handle_;
};

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk =
            bytes.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr)) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

// A name for the temporary file beside `target`, unique within the process
// (the process id makes it unique between processes; CREATE_NEW catches the
// rest).
fs::path TemporarySibling(const fs::path& target, int attempt) {
    static std::atomic<unsigned> counter{0};
    const std::wstring name = L"." + target.filename().wstring() + L".tmp" +
                              std::to_wstring(::GetCurrentProcessId()) + L"-" +
                              std::to_wstring(counter++) + L"-" + std::to_wstring(attempt);
    return target.parent_path() / name;
}

WholeFileReplace Failure(WholeFileReplace::Status status, DWORD error) {
    return {status, SystemErrorText(error),
            std::error_code(static_cast<int>(error), std::system_category())};
}

// Why no file could be made in the folder of `target`.
WholeFileReplace CreateFailure(const fs::path& folder, DWORD error) {
    using Status = WholeFileReplace::Status;
    if (IsMissing(error) || error == ERROR_DIRECTORY) {
        const DWORD attributes = ::GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            return Failure(Status::FolderMissing, error);
        }
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            return Failure(Status::NotAFolder, error);
        }
    }
    return Failure(Status::CannotCreate, error);
}

// The attributes of the old file that the new one takes over: what the user
// set (hidden, for one), not what the file system keeps for itself. A
// read-only file stays unreplaced: ReplaceFileW refuses it.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Puts `temporary` in the place of `target`. ReplaceFileW keeps the old
// file's security and its identity; a new target is simply moved into place.
bool PutInPlace(const fs::path& temporary, const fs::path& target, bool targetExists) {
    if (targetExists) {
        return ::ReplaceFileW(target.c_str(), temporary.c_str(), nullptr,
                              REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0;
    }
    return ::MoveFileExW(temporary.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace

WholeFileRead ReadWholeFile(const fs::path& path, std::uintmax_t maximumBytes, LinkRule links) {
    WholeFileRead result;
    auto failed = [&result](DWORD error) {
        result.status = WholeFileRead::Status::Failed;
        result.systemError = SystemErrorText(error);
        result.error = std::error_code(static_cast<int>(error), std::system_category());
        return result;
    };
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        if (IsMissing(error)) {
            result.status = WholeFileRead::Status::Missing;
            return result;
        }
        return failed(error);
    }
    if (links == LinkRule::NoFollow && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        result.status = WholeFileRead::Status::IsLink;
        return result;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        result.status = WholeFileRead::Status::IsFolder;
        return result;
    }
    Handle file(::CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        const DWORD error = ::GetLastError();
        if (IsMissing(error)) {
            result.status = WholeFileRead::Status::Missing;
            return result;
        }
        return failed(error);
    }
    if (::GetFileType(file.Get()) != FILE_TYPE_DISK) {
        result.status = WholeFileRead::Status::NotRegular;
        return result;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size)) {
        return failed(::GetLastError());
    }
    if (static_cast<std::uintmax_t>(size.QuadPart) > maximumBytes) {
        result.status = WholeFileRead::Status::TooLarge;
        return result;
    }
    char buffer[16384];
    for (;;) {
        DWORD count = 0;
        if (!::ReadFile(file.Get(), buffer, sizeof buffer, &count, nullptr)) {
            return failed(::GetLastError());
        }
        if (count == 0) {
            result.status = WholeFileRead::Status::Read;
            return result;
        }
        result.bytes.append(buffer, count);
    }
}

WholeFileReplace ReplaceWholeFile(const fs::path& target, std::string_view bytes) {
    using Status = WholeFileReplace::Status;
    const fs::path folder = target.parent_path().empty() ? fs::path(L".") : target.parent_path();
    const DWORD oldAttributes = ::GetFileAttributesW(target.c_str());
    const bool targetExists = oldAttributes != INVALID_FILE_ATTRIBUTES;
    fs::path temporary;
    HANDLE rawHandle = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 100 && rawHandle == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = TemporarySibling(target, attempt);
        rawHandle = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (rawHandle == INVALID_HANDLE_VALUE) {
            error = ::GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
                break;
            }
        }
    }
    if (rawHandle == INVALID_HANDLE_VALUE) {
        return CreateFailure(folder, error);
    }
    Handle file(rawHandle);
    auto fail = [&temporary, &file](Status status) {
        const DWORD lastError = ::GetLastError();
        if (file.Valid()) {
            file.Close();
        }
        ::DeleteFileW(temporary.c_str());
        return Failure(status, lastError);
    };
    if (!WriteAll(file.Get(), bytes) || !::FlushFileBuffers(file.Get())) {
        return fail(Status::WriteFailed);
    }
    if (!file.Close()) {
        return fail(Status::WriteFailed);
    }
    // Set by hand: ReplaceFileW does not carry attributes over on every
    // system (Wine's does not).
    if (targetExists && (oldAttributes & kKeptAttributes) != 0 &&
        !::SetFileAttributesW(temporary.c_str(), oldAttributes & kKeptAttributes)) {
        return fail(Status::CannotKeepPermissions);
    }
    if (!PutInPlace(temporary, target, targetExists)) {
        return fail(Status::CannotReplace);
    }
    return {Status::Replaced, {}, {}};
}

std::error_code MoveFileInPlace(const fs::path& from, const fs::path& to) {
    if (!::MoveFileExW(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return std::error_code(static_cast<int>(::GetLastError()), std::system_category());
    }
    return {};
}

}  // namespace teebasket
