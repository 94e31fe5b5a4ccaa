// An environment variable set (or unset) for the length of a test.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace teebasket::testing {

class ScopedEnv {
  public:
    // `value` nullptr unsets the variable.
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        Set(name, value);
    }
    ScopedEnv(const char* name, const std::filesystem::path& value)
        : ScopedEnv(name, value.string().c_str()) {}
    ~ScopedEnv() { Set(name_.c_str(), old_ ? old_->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    static void Set(const char* name, const char* value) {
#ifdef _WIN32
        // An empty value removes the variable; Windows has no empty ones.
        ::_putenv_s(name, value ? value : "");
#else
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
#endif
    }

    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace teebasket::testing
