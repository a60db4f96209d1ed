#pragma once
// The folder a seed-corpus program writes into: the only argument of the program. A file that cannot be
// written fails the program, so a corpus is never left short without saying so.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace fuzzing {

class CorpusFolder {
  public:
    // Exits with a usage line when the program was not given exactly one folder.
    CorpusFolder(int argc, char** argv) {
        if (argc != 2) {
            std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
            std::exit(2);
        }
        folder_ = argv[1];
        std::error_code error;
        std::filesystem::create_directories(folder_, error);
        if (error) fail(folder_.string(), error.message());
    }

    void save(const std::string& name, const std::vector<std::uint8_t>& data) const {
        std::ofstream out(folder_ / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        out.close();
        if (!out) fail((folder_ / name).string(), "cannot be written");
    }

  private:
    [[noreturn]] static void fail(const std::string& what, const std::string& why) {
        std::fprintf(stderr, "%s: %s\n", what.c_str(), why.c_str());
        std::exit(1);
    }

    std::filesystem::path folder_;
};

}  // namespace fuzzing
