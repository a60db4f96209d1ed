#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace dispatch::testing {

// Sets and unsets environment variables for one test and puts every variable it touched back as it was
// (set to its old value, or unset) at the end of the scope, however the test ends. A variable touched
// twice keeps the value it had before the first touch.
//
//     EnvironmentScope env("XDG_DATA_HOME", folder.string());
//     env.unset("LUMORA_KEYCHAIN_DIR");
//
// The environment is the process's: a scope is for the main thread of a test, with no worker reading it.
class EnvironmentScope {
  public:
    EnvironmentScope() = default;
    EnvironmentScope(const std::string& name, const std::optional<std::string>& value) { set(name, value); }
    ~EnvironmentScope() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) apply(it->first, it->second);
    }
    EnvironmentScope(const EnvironmentScope&) = delete;
    EnvironmentScope& operator=(const EnvironmentScope&) = delete;

    // Sets `name` to `value`; no value unsets it.
    void set(const std::string& name, const std::optional<std::string>& value) {
        remember(name);
        apply(name, value);
    }
    void unset(const std::string& name) { set(name, std::nullopt); }

  private:
    static std::optional<std::string> read(const std::string& name) {
        const char* value = std::getenv(name.c_str());
        return value ? std::optional<std::string>(value) : std::nullopt;
    }
    static void apply(const std::string& name, const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name.c_str());
        }
    }
    void remember(const std::string& name) {
        for (const auto& [known, value] : saved_) {
            if (known == name) return;
        }
        saved_.emplace_back(name, read(name));
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace dispatch::testing
