#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <system_error>

namespace dispatch::testing {

// A folder of its own under the system's temporary folder, made empty when the scope begins and removed
// with everything in it when the scope ends, however the test ends. The name carries `name`, the process id
// and a count, so tests running side by side (in one process or many) never share one.
class TemporaryFolder {
  public:
    explicit TemporaryFolder(const std::string& name = "test") {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                ("lumora-" + name + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& relative) const { return path_ / relative; }

  private:
    std::filesystem::path path_;
};

}  // namespace dispatch::testing
