#include "kitfoundation/DeviceInfo.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <sstream>

#include "foundation/Bundle.h"
#include "foundation/UUID.h"

namespace lumora {

namespace {

std::string trimmed(std::string text) {
    constexpr const char* blanks = " \t\r\n\v\f";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

// At most `limit` bytes of a small text file; nothing when it cannot be read or is not a regular file (a
// FIFO in its place must not block the caller).
std::optional<std::string> readSmallFile(const std::string& path, std::size_t limit = 64 * 1024) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string text(limit, '\0');
    std::size_t read = 0;
    while (read < limit) {
        const ssize_t n = ::read(fd, text.data() + read, limit - read);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        read += static_cast<std::size_t>(n);
    }
    ::close(fd);
    text.resize(read);
    return text;
}

// KEY=value lines; values may be quoted ("..." with backslash escapes, or '...').
std::map<std::string, std::string> parseOsRelease(const std::string& text) {
    std::map<std::string, std::string> out;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        line = trimmed(line);
        if (line.empty() || line.front() == '#') continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos || eq == 0) continue;
        std::string key = line.substr(0, eq);
        std::string raw = line.substr(eq + 1);
        std::string value;
        if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') && raw.back() == raw.front()) {
            const char quote = raw.front();
            for (std::size_t k = 1; k + 1 < raw.size(); ++k) {
                if (quote == '"' && raw[k] == '\\' && k + 2 < raw.size()) ++k;
                value.push_back(raw[k]);
            }
        } else {
            value = raw;
        }
        out[key] = value;
    }
    return out;
}

std::optional<std::string> firmwareValue(const std::string& folder, const char* name) {
    auto text = readSmallFile(folder + "/" + name, 256);
    if (!text) return std::nullopt;
    std::string value = trimmed(*text);
    if (value.empty()) return std::nullopt;
    return value;
}

bool makeFolders(const std::string& folder) {
    std::string partial;
    std::size_t start = 0;
    while (start <= folder.size()) {
        const auto slash = folder.find('/', start);
        partial = folder.substr(0, slash == std::string::npos ? folder.size() : slash);
        if (!partial.empty() && ::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::string> readIdentifier(const std::string& path) {
    auto text = readSmallFile(path, 256);
    if (!text) return std::nullopt;
    auto uuid = foundation::UUID::fromString(trimmed(*text));
    if (!uuid) return std::nullopt;
    return uuid->uuidString();
}

// A new file beside `path` holding `contents` (0600, flushed to disk); its name, or nothing when it cannot be
// written whole.
std::optional<std::string> writeTemporaryBeside(const std::string& path, const std::string& contents) {
    const std::string temp = path + ".tmp." + std::to_string(::getpid()) + "." + foundation::UUID().uuidString();
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return std::nullopt;
    bool ok = ::write(fd, contents.data(), contents.size()) == static_cast<ssize_t>(contents.size());
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) return temp;
    ::unlink(temp.c_str());
    return std::nullopt;
}

// Publishes `contents` at `path` when nothing is there: false when `path` already exists (another writer was
// first) or anything fails. link() does not replace an existing file: of two concurrent writers exactly one
// succeeds.
bool publishFile(const std::string& path, const std::string& contents) {
    const auto temp = writeTemporaryBeside(path, contents);
    if (!temp) return false;
    const bool ok = ::link(temp->c_str(), path.c_str()) == 0;
    ::unlink(temp->c_str());
    return ok;
}

// Replaces whatever is at `path` with `contents` in one step (rename over it): readers see the old file or
// the new one, never a part of either.
bool replaceFile(const std::string& path, const std::string& contents) {
    const auto temp = writeTemporaryBeside(path, contents);
    if (!temp) return false;
    if (::rename(temp->c_str(), path.c_str()) == 0) return true;
    ::unlink(temp->c_str());
    return false;
}

// An exclusive lock on a folder, held by this process until the object goes (flock on the folder itself, so
// no lock file is left beside the identifier). Not locked when the folder cannot be opened.
class FolderLock {
  public:
    explicit FolderLock(const std::string& folder) : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ < 0) return;
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno == EINTR) continue;
            ::close(fd_);
            fd_ = -1;
            return;
        }
    }
    ~FolderLock() {
        if (fd_ >= 0) ::close(fd_);  // closing the last descriptor releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool locked() const { return fd_ >= 0; }

  private:
    int fd_;
};

}  // namespace

std::optional<std::string> DeviceInfo::identifierPath() {
    std::string dataHome;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (xdg && xdg[0] == '/') {
        dataHome = xdg;
    } else if (home && home[0] == '/') {
        dataHome = std::string(home) + "/.local/share";
    } else {
        return std::nullopt;
    }
    std::string folder = foundation::Bundle::main().bundleIdentifier().value_or("");
    if (folder.empty() || folder == "." || folder == ".." || folder.find('/') != std::string::npos) folder = "lumora";
    return dataHome + "/" + folder + "/device-id";
}

std::string DeviceInfo::loadOrCreateIdentifier(const std::string& path) {
    if (auto existing = readIdentifier(path)) return *existing;
    const std::string fresh = foundation::UUID().uuidString();
    const auto slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(path.substr(0, slash))) return fresh;
    if (publishFile(path, fresh + "\n")) return fresh;
    // The file exists: another writer got there first, or it does not hold an identifier (damaged).
    if (auto existing = readIdentifier(path)) return *existing;
    // A damaged file is repaired by one process at a time, under a lock on its folder: whoever comes after the
    // repair reads the identifier it wrote, so processes repairing together all end with the one on disk.
    const FolderLock lock(slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash));
    if (lock.locked()) {
        if (auto existing = readIdentifier(path)) return *existing;
    }
    replaceFile(path, fresh + "\n");
    return fresh;
}

DeviceInfo DeviceInfo::make(const Sources& sources) {
    DeviceInfo info;
    struct utsname uts {};
    std::string sysname = "Linux", release, machine, nodename;
    if (::uname(&uts) == 0) {
        sysname = uts.sysname;
        release = uts.release;
        machine = uts.machine;
        nodename = uts.nodename;
    }
    const auto osRelease = parseOsRelease(readSmallFile(sources.osReleasePath).value_or(""));
    const auto field = [&](const char* key) -> std::optional<std::string> {
        auto it = osRelease.find(key);
        if (it == osRelease.end() || trimmed(it->second).empty()) return std::nullopt;
        return it->second;
    };

    info.name = nodename;
    info.code = machine;
    info.manufacturer = firmwareValue(sources.firmwareFolder, "sys_vendor").value_or("unknown");
    info.model = sysname;
    info.internalModelName = firmwareValue(sources.firmwareFolder, "product_name").value_or(machine);
    info.systemName = field("NAME").value_or(sysname);
    info.systemVersion = field("VERSION_ID").value_or(release);

    const auto path = sources.identifierPath ? sources.identifierPath : identifierPath();
    info.identifier = path ? loadOrCreateIdentifier(*path) : foundation::UUID().uuidString();
    return info;
}

const DeviceInfo& DeviceInfo::current() {
    static const DeviceInfo& info = *new DeviceInfo(make(Sources{}));  // never destroyed: read until exit
    return info;
}

}  // namespace lumora
