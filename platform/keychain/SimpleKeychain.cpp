#include "keychain/SimpleKeychain.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "foundation/LogChannel.h"

namespace simplekeychain {

namespace {

constexpr const char* kFormat = "lumora-keychain-item";
constexpr int kVersion = 1;
// Items are small secrets; a file larger than this is not one of ours.
constexpr std::size_t kMaximumItemBytes = 1u << 20;
constexpr std::size_t kMaximumFileBytes = 2 * kMaximumItemBytes + 4096;

foundation::LogChannel& channel() {
    static auto* logChannel =
        new foundation::LogChannel("SimpleKeychain");  // never destroyed: read from worker threads until exit
    return *logChannel;
}

void log(const std::string& line) {
    channel().log(line);
}

std::string errnoText(const char* what, const std::string& path) {
    return std::string(what) + " " + path + ": " + std::strerror(errno);
}

// A file-name-safe spelling: letters, digits, "." and "-" stay, every other byte is "%XX".
std::string fileNameComponent(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-') {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0xF]);
        }
    }
    return out;
}

std::string hexEncoded(const foundation::Data& data) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(data.size() * 2);
    for (std::uint8_t byte : data) {
        out.push_back(kHex[byte >> 4]);
        out.push_back(kHex[byte & 0xF]);
    }
    return out;
}

std::optional<foundation::Data> hexDecoded(std::string_view text) {
    if (text.size() % 2 != 0) return std::nullopt;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    foundation::Data out;
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = nibble(text[i]);
        const int low = nibble(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return out;
}

std::unexpected<foundation::Error> failure(SimpleKeychainError error) {
    return std::unexpected(foundation::Error(std::move(error)));
}

// Makes the folder and any missing parents, each new one with mode 0700.
std::expected<void, foundation::Error> makeDirectories(const std::string& path) {
    if (path.empty())
        return failure(SimpleKeychainError::storageFailure("no keychain folder (set LUMORA_KEYCHAIN_DIR)"));
    std::size_t position = 0;
    while (position != std::string::npos) {
        position = path.find('/', position + 1);
        const std::string prefix = path.substr(0, position);
        if (prefix.empty()) continue;
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            return failure(SimpleKeychainError::storageFailure(errnoText("cannot make the folder", prefix)));
        }
    }
    return {};
}

// The reason a file or folder of another user is not trusted with the user's secrets.
std::string ownedByAnotherUser(const std::string& what, const std::string& path, uid_t owner) {
    return what + " " + path + " belongs to another user (uid " + std::to_string(owner) + ", not " +
           std::to_string(::geteuid()) + ")";
}

// Keeps the keychain folder private. Its owner may replace or plant items, anyone who may write in it may
// too, and anyone who may read it learns which items exist: a folder of the effective user's is tightened to
// 0700; a folder of anyone else's is refused, whatever its mode. Nothing when the folder does not exist.
std::expected<bool, foundation::Error> secureFolder(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) return false;
        return failure(SimpleKeychainError::storageFailure(errnoText("cannot examine the folder", path)));
    }
    if (!S_ISDIR(info.st_mode)) {
        return failure(SimpleKeychainError::storageFailure("the keychain folder " + path + " is not a folder"));
    }
    if (info.st_uid != ::geteuid()) {
        return failure(
            SimpleKeychainError::storageFailure(ownedByAnotherUser("the keychain folder", path, info.st_uid)));
    }
    if ((info.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0) {
        return failure(SimpleKeychainError::storageFailure(errnoText("cannot restrict the folder", path)));
    }
    return true;
}

// The process that wrote a temporary file "<item>.tmp.<pid>.<n>", when the name is one.
std::optional<pid_t> temporaryFileWriter(std::string_view name) {
    const auto marker = name.find(".item.tmp.");
    if (marker == std::string_view::npos) return std::nullopt;
    const std::string_view rest = name.substr(marker + 10);
    const auto dot = rest.find('.');
    if (dot == std::string_view::npos || dot == 0) return std::nullopt;
    pid_t pid = 0;
    for (char c : rest.substr(0, dot)) {
        if (c < '0' || c > '9' || pid > 100'000'000) return std::nullopt;
        pid = pid * 10 + (c - '0');
    }
    return pid;
}

// Removes the temporary files that writers killed before their rename left behind: each holds a whole
// record. A file whose writer still runs (this process included) may be a write under way and is kept.
void removeStaleTemporaryFiles(const std::string& folder) {
    DIR* directory = ::opendir(folder.c_str());
    if (!directory) return;
    std::vector<std::string> stale;
    while (const dirent* entry = ::readdir(directory)) {
        const auto writer = temporaryFileWriter(entry->d_name);
        if (!writer || *writer <= 0 || *writer == ::getpid()) continue;
        if (::kill(*writer, 0) == 0 || errno != ESRCH) continue;
        stale.emplace_back(entry->d_name);
    }
    ::closedir(directory);
    for (const auto& name : stale) {
        if (::unlink((folder + "/" + name).c_str()) == 0)
            log("removed " + name + ", left by a write that never finished");
    }
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

// The item's bytes, or the reason the file is not an intact item of (service, key).
std::expected<foundation::Data, std::string> parseRecord(const std::string& text, const std::string& service,
                                                         std::string_view key) {
    const nlohmann::json record = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (record.is_discarded())
        return std::unexpected(text.empty() ? "the file is empty" : "the file is not complete JSON");
    if (!record.is_object()) return std::unexpected("the file is not a keychain record");
    auto text_of = [&](const char* name) -> std::optional<std::string> {
        auto it = record.find(name);
        if (it == record.end() || !it->is_string()) return std::nullopt;
        return it->get<std::string>();
    };
    if (text_of("format") != kFormat) return std::unexpected("the file is not a keychain record");
    auto version = record.find("version");
    if (version == record.end() || !version->is_number_integer() || version->get<long long>() != kVersion) {
        return std::unexpected("unsupported record version");
    }
    if (text_of("service") != service || text_of("key") != std::string(key))
        return std::unexpected("the record belongs to another item");
    auto hex = text_of("data");
    if (!hex) return std::unexpected("the record has no data");
    auto data = hexDecoded(*hex);
    if (!data) return std::unexpected("the record's data is not hexadecimal");
    auto length = record.find("length");
    if (length == record.end() || !length->is_number_unsigned() || length->get<unsigned long long>() != data->size()) {
        return std::unexpected("the record's length does not match its data");
    }
    return std::move(*data);
}

}  // namespace

std::string SimpleKeychainError::localizedDescription() const {
    switch (code_) {
        case Code::itemNotFound:
            return "No keychain item was found for the key.";
        case Code::invalidKey:
            return "The keychain key is empty.";
        case Code::storageFailure:
            return "The keychain could not be used: " + reason_;
    }
    return "The keychain could not be used.";
}

LogHandler setLogHandler(LogHandler handler) {
    return channel().setHandler(std::move(handler));
}

std::optional<std::string> SimpleKeychain::defaultDirectory() {
    auto variable = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        if (!value || !*value) return std::nullopt;
        return std::string(value);
    };
    if (auto dir = variable("LUMORA_KEYCHAIN_DIR")) return dir;
    if (auto data = variable("XDG_DATA_HOME")) return *data + "/lumora/keychain";
    if (auto home = variable("HOME")) return *home + "/.local/share/lumora/keychain";
    return std::nullopt;
}

SimpleKeychain::SimpleKeychain(std::string service, std::optional<std::string> directory)
    : service_(std::move(service)), directory_(directory ? std::move(*directory) : defaultDirectory().value_or("")) {
    while (directory_.size() > 1 && directory_.back() == '/') directory_.pop_back();
}

std::string SimpleKeychain::itemPath(std::string_view key) const {
    return directory_ + "/" + fileNameComponent(service_) + "_" + fileNameComponent(key) + ".item";
}

std::expected<void, foundation::Error> SimpleKeychain::set(const foundation::Data& data, std::string_view key) const {
    if (key.empty()) return failure(SimpleKeychainError::invalidKey());
    if (data.size() > kMaximumItemBytes)
        return failure(SimpleKeychainError::storageFailure("the item is larger than 1 MiB"));
    if (auto made = makeDirectories(directory_); !made) return made;
    if (auto secured = secureFolder(directory_); !secured) return std::unexpected(secured.error());
    removeStaleTemporaryFiles(directory_);

    const nlohmann::json record = {{"format", kFormat},       {"version", kVersion},   {"service", service_},
                                   {"key", std::string(key)}, {"length", data.size()}, {"data", hexEncoded(data)}};
    const std::string bytes = record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";

    static std::atomic<unsigned long> counter{0};
    const std::string path = itemPath(key);
    const std::string temporary =
        path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1));
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return failure(SimpleKeychainError::storageFailure(errnoText("cannot create", temporary)));
    std::string problem;
    if (::fchmod(fd, 0600) != 0) {
        problem = errnoText("cannot restrict", temporary);
    } else if (!writeAll(fd, bytes)) {
        problem = errnoText("cannot write", temporary);
    } else if (::fsync(fd) != 0) {
        problem = errnoText("cannot flush", temporary);
    }
    if (::close(fd) != 0 && problem.empty()) problem = errnoText("cannot close", temporary);
    if (problem.empty() && ::rename(temporary.c_str(), path.c_str()) != 0) problem = errnoText("cannot replace", path);
    if (!problem.empty()) {
        ::unlink(temporary.c_str());
        return failure(SimpleKeychainError::storageFailure(problem));
    }
    // The rename itself reaches the disk with the folder.
    if (const int dir = ::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

std::expected<void, foundation::Error> SimpleKeychain::set(std::string_view string, std::string_view key) const {
    return set(foundation::dataFromString(string), key);
}

std::expected<foundation::Data, foundation::Error> SimpleKeychain::data(std::string_view key) const {
    if (key.empty()) return failure(SimpleKeychainError::invalidKey());
    if (directory_.empty())
        return failure(SimpleKeychainError::storageFailure("no keychain folder (set LUMORA_KEYCHAIN_DIR)"));
    auto secured = secureFolder(directory_);
    if (!secured) return std::unexpected(secured.error());
    if (!*secured) return failure(SimpleKeychainError::itemNotFound());
    const std::string path = itemPath(key);
    auto damaged = [&](const std::string& reason) {
        log("the item \"" + std::string(key) + "\" of service \"" + service_ + "\" is damaged (" + reason +
            "); it reads as absent");
        return failure(SimpleKeychainError::itemNotFound());
    };
    // Without waiting (a FIFO would block until a writer came) and without following a link; only a
    // regular file can be an item.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) return failure(SimpleKeychainError::itemNotFound());
        if (errno == ELOOP) return damaged("a link, not a regular file");
        if (errno == ENXIO || errno == ENODEV) return damaged("not a regular file");
        return failure(SimpleKeychainError::storageFailure(errnoText("cannot open", path)));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return damaged("not a regular file");
    }
    // Whoever owns the file chose its contents: only the user's own are the user's credentials.
    if (info.st_uid != ::geteuid()) {
        ::close(fd);
        return failure(SimpleKeychainError::storageFailure(ownedByAnotherUser("the item file", path, info.st_uid)));
    }
    if (static_cast<std::size_t>(info.st_size) > kMaximumFileBytes) {
        ::close(fd);
        return damaged("the file is too large");
    }
    std::string text;
    text.resize(static_cast<std::size_t>(info.st_size));
    std::size_t read = 0;
    while (read < text.size()) {
        const ssize_t n = ::read(fd, text.data() + read, text.size() - read);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        read += static_cast<std::size_t>(n);
    }
    ::close(fd);
    text.resize(read);
    auto parsed = parseRecord(text, service_, key);
    if (!parsed) return damaged(parsed.error());
    return std::move(*parsed);
}

std::expected<std::string, foundation::Error> SimpleKeychain::string(std::string_view key) const {
    auto bytes = data(key);
    if (!bytes) return std::unexpected(bytes.error());
    return foundation::stringFromData(*bytes);
}

std::expected<void, foundation::Error> SimpleKeychain::delete_(std::string_view key) const {
    if (key.empty()) return failure(SimpleKeychainError::invalidKey());
    if (directory_.empty())
        return failure(SimpleKeychainError::storageFailure("no keychain folder (set LUMORA_KEYCHAIN_DIR)"));
    const std::string path = itemPath(key);
    if (::unlink(path.c_str()) != 0) {
        if (errno == ENOENT) return failure(SimpleKeychainError::itemNotFound());
        return failure(SimpleKeychainError::storageFailure(errnoText("cannot remove", path)));
    }
    if (const int dir = ::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

std::expected<bool, foundation::Error> SimpleKeychain::has(std::string_view key) const {
    auto bytes = data(key);
    if (bytes) return true;
    if (const auto* error = bytes.error().as<SimpleKeychainError>();
        error && error->errorCode() == SimpleKeychainError::Code::itemNotFound) {
        return false;
    }
    return std::unexpected(bytes.error());
}

}  // namespace simplekeychain
