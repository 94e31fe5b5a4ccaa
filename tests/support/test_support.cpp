// The parts of TestSupport that are the same on every platform; starting
// processes and making folders live in test_support_posix.cpp and
// test_support_windows.cpp.
#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "TestSupport.h"

namespace teebasket::test {

namespace fs = std::filesystem;

namespace {

void MakeWritable(const fs::path& root) {
    std::error_code ec;
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
    if (!fs::is_directory(root, ec) || fs::is_symlink(root, ec)) {
        return;
    }
    for (fs::recursive_directory_iterator
             it(root, fs::directory_options::skip_permission_denied, ec),
         end;
         it != end; it.increment(ec)) {
        if (!it->is_symlink(ec)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
    }
}

}  // namespace

TempDir::~TempDir() {
    MakeWritable(path_);
    std::error_code ec;
    fs::remove_all(path_, ec);
}

fs::path PortalExecutable() {
    return TEEBASKET_PORTAL_EXECUTABLE;
}

PortalProcess::PortalProcess() : PortalProcess(Options{}) {}

std::string PortalProcess::host() const {
    return "127.0.0.1:" + std::to_string(port_);
}

std::string PortalProcess::baseUrl() const {
    return "https://" + host();
}

fs::path PortalProcess::certificate() const {
    return tlsDir_ / "cert.pem";
}

std::vector<PortalRequest> PortalProcess::requests() const {
    std::vector<PortalRequest> requests;
    std::ifstream log(workDir_.path() / "requests.log", std::ios::binary);
    std::string line;
    while (std::getline(log, line)) {
        std::istringstream fields(line);
        PortalRequest request;
        std::getline(fields, request.method, '\t');
        std::getline(fields, request.target, '\t');
        std::getline(fields, request.userAgent, '\t');
        std::getline(fields, request.connection);
        requests.push_back(std::move(request));
    }
    return requests;
}

std::string ReadFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return std::move(bytes).str();
}

void WriteFileBytes(const fs::path& path, std::string_view bytes) {
    if (path.has_parent_path()) {
        fs::create_directories(path.parent_path());
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::vector<std::string> ListFolder(const fs::path& dir) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ClosedLoopbackPort::host() const {
    return "127.0.0.1:" + std::to_string(port_);
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace teebasket::test
