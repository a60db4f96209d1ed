#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "dispatch/testing/EnvironmentScope.h"
#include "keychain/SimpleKeychain.h"

namespace {

namespace fs = std::filesystem;
using simplekeychain::SimpleKeychain;
using simplekeychain::SimpleKeychainError;

class KeychainTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("lumora-keychain-test-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        previous_ = simplekeychain::setLogHandler([this](const std::string& line) {
            std::lock_guard lock(mutex_);
            logs_.push_back(line);
        });
    }
    void TearDown() override {
        simplekeychain::setLogHandler(previous_);
        fs::remove_all(dir_);
    }
    std::string folder() const { return (dir_ / "keys").string(); }
    std::vector<std::string> logs() {
        std::lock_guard lock(mutex_);
        return logs_;
    }
    static SimpleKeychainError::Code codeOf(const foundation::Error& error) {
        const auto* e = error.as<SimpleKeychainError>();
        return e ? e->errorCode() : SimpleKeychainError::Code::storageFailure;
    }
    static void write(const std::string& path, const std::string& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path dir_;
    std::mutex mutex_;  // guards logs_
    std::vector<std::string> logs_;
    simplekeychain::LogHandler previous_;
};

TEST_F(KeychainTest, KeepsItemsPerServiceAndKey) {
    SimpleKeychain host("com.example.host", folder());
    SimpleKeychain other("com.example.other", folder());

    EXPECT_EQ(codeOf(host.data("credentials").error()), SimpleKeychainError::Code::itemNotFound);
    EXPECT_EQ(host.has("credentials"), false);

    const foundation::Data secret = {0x00, 0xFF, 0x10, '\n', 'x'};
    ASSERT_TRUE(host.set(secret, "credentials"));
    ASSERT_TRUE(host.set("second", "other/key"));
    ASSERT_TRUE(other.set("theirs", "credentials"));

    EXPECT_EQ(host.data("credentials"), secret);
    EXPECT_EQ(host.string("other/key"), "second");
    EXPECT_EQ(other.string("credentials"), "theirs");
    EXPECT_EQ(host.has("credentials"), true);
    // A fresh keychain object over the same folder sees the same items (a restart).
    EXPECT_EQ(SimpleKeychain("com.example.host", folder()).data("credentials"), secret);

    ASSERT_TRUE(host.set("replaced", "credentials"));
    EXPECT_EQ(host.string("credentials"), "replaced");

    ASSERT_TRUE(host.delete_("credentials"));
    EXPECT_EQ(host.has("credentials"), false);
    EXPECT_EQ(codeOf(host.delete_("credentials").error()), SimpleKeychainError::Code::itemNotFound);
    EXPECT_EQ(other.string("credentials"), "theirs");

    EXPECT_EQ(codeOf(host.set("x", "").error()), SimpleKeychainError::Code::invalidKey);
    EXPECT_EQ(codeOf(host.data("").error()), SimpleKeychainError::Code::invalidKey);
    EXPECT_TRUE(logs().empty());
}

TEST_F(KeychainTest, FilesAreOwnerOnlyAndReplacedByRename) {
    SimpleKeychain keychain("svc", folder());
    ASSERT_TRUE(keychain.set("first-secret", "credentials"));
    const std::string path = keychain.itemPath("credentials");
    const std::string before = read(path);

    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600);
    ASSERT_EQ(::stat(folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700);

    // A second name for the old file: an in-place rewrite would change what it shows, a rename does not.
    const std::string oldLink = (dir_ / "old-link").string();
    ASSERT_EQ(::link(path.c_str(), oldLink.c_str()), 0);
    ASSERT_TRUE(keychain.set("second-secret", "credentials"));
    EXPECT_EQ(read(oldLink), before);
    EXPECT_NE(read(path), before);
    EXPECT_EQ(keychain.string("credentials"), "second-secret");
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600);

    // A crash while writing leaves a temporary file beside the item; the item still reads as before.
    write(path + ".tmp.99999.0", "{\"format\":\"lumora-keych");
    EXPECT_EQ(keychain.string("credentials"), "second-secret");

    // No temporary file of our own is left behind.
    int temporaries = 0;
    for (const auto& entry : fs::directory_iterator(folder())) {
        if (entry.path().string().find(".tmp.") != std::string::npos) ++temporaries;
    }
    EXPECT_EQ(temporaries, 1);
}

TEST_F(KeychainTest, DamagedItemsReadAsAbsentWithAReasonButNoContents) {
    SimpleKeychain keychain("svc", folder());
    ASSERT_TRUE(keychain.set("top-secret-token", "credentials"));
    ASSERT_TRUE(keychain.set("another-secret", "other"));
    const std::string path = keychain.itemPath("credentials");
    const std::string intact = read(path);

    const std::vector<std::pair<std::string, std::string>> damage = {
        {intact.substr(0, intact.size() / 2), "not complete JSON"},
        {"", "empty"},
        {std::string("\0\1garbage top-secret-token", 26), "not complete JSON"},
        {"[1,2,3]", "not a keychain record"},
        {read(keychain.itemPath("other")), "belongs to another item"},
        {std::string(intact).replace(intact.find("\"length\":") + 9, 2, "99"), "length does not match"},
        {std::string(3 * 1024 * 1024, 'x'), "too large"},
    };
    for (const auto& [bytes, reason] : damage) {
        logs_.clear();
        write(path, bytes);
        auto data = keychain.data("credentials");
        ASSERT_FALSE(data) << reason;
        EXPECT_EQ(codeOf(data.error()), SimpleKeychainError::Code::itemNotFound) << reason;
        EXPECT_EQ(keychain.has("credentials"), false);
        const auto lines = logs();
        ASSERT_FALSE(lines.empty()) << reason;
        EXPECT_NE(lines.front().find(reason), std::string::npos) << lines.front();
        EXPECT_NE(lines.front().find("\"credentials\""), std::string::npos) << lines.front();
        for (const auto& line : lines) {
            EXPECT_EQ(line.find("top-secret"), std::string::npos) << line;
            EXPECT_EQ(line.find("another-secret"), std::string::npos) << line;
        }
    }
    // Writing again repairs the item.
    ASSERT_TRUE(keychain.set("fresh", "credentials"));
    EXPECT_EQ(keychain.string("credentials"), "fresh");
}

TEST_F(KeychainTest, TheNextWriteRemovesTemporaryFilesOfWritersThatDied) {
    SimpleKeychain keychain("svc", folder());
    ASSERT_TRUE(keychain.set("secret", "credentials"));
    const std::string path = keychain.itemPath("credentials");
    const std::string record = read(path);
    // A writer that died before its rename: a process that has ended and been reaped.
    const pid_t dead = ::fork();
    ASSERT_GE(dead, 0);
    if (dead == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(dead, nullptr, 0), dead);
    const std::string deadWriter = ".tmp." + std::to_string(dead);
    write(path + deadWriter + ".0", record);
    write(path + deadWriter + ".1", record.substr(0, 10));
    write(keychain.itemPath("other") + deadWriter + ".2", record);
    // Writers that still run may be in the middle of their write: this process, and its parent.
    const std::string ours = path + ".tmp." + std::to_string(::getpid()) + ".999";
    const std::string parents = path + ".tmp." + std::to_string(::getppid()) + ".5";
    write(ours, record);
    write(parents, record);
    write((fs::path(folder()) / "notes.tmp.1.2").string(), "not ours");

    logs_.clear();
    ASSERT_TRUE(keychain.set("newer", "credentials"));
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder())) left.push_back(entry.path().string());
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected = {path, ours, parents, (fs::path(folder()) / "notes.tmp.1.2").string()};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
    EXPECT_EQ(logs().size(), 3u);
    EXPECT_EQ(keychain.string("credentials"), "newer");
}

TEST_F(KeychainTest, AnItemThatIsNotARegularFileReadsAsAbsentWithoutWaiting) {
    SimpleKeychain keychain("svc", folder());
    ASSERT_TRUE(keychain.set("secret", "credentials"));
    const std::string path = keychain.itemPath("credentials");
    const std::string elsewhere = (dir_ / "elsewhere.item").string();
    ASSERT_EQ(::rename(path.c_str(), elsewhere.c_str()), 0);

    const std::vector<std::pair<std::string, std::function<void()>>> impostors = {
        {"FIFO", [&] { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }},  // no writer: a plain open would block
        {"link", [&] { ASSERT_EQ(::symlink(elsewhere.c_str(), path.c_str()), 0); }},
        {"folder", [&] { ASSERT_EQ(::mkdir(path.c_str(), 0700), 0); }},
    };
    for (const auto& [kind, make] : impostors) {
        make();
        logs_.clear();
        auto data = keychain.data("credentials");
        ASSERT_FALSE(data) << kind;
        EXPECT_EQ(codeOf(data.error()), SimpleKeychainError::Code::itemNotFound) << kind;
        ASSERT_EQ(logs().size(), 1u) << kind;
        EXPECT_NE(logs().front().find("not a regular file"), std::string::npos) << logs().front();
        fs::remove(path);
    }
}

TEST_F(KeychainTest, TheFolderIsKeptPrivate) {
    fs::create_directories(folder());
    ASSERT_EQ(::chmod(folder().c_str(), 0777), 0);
    SimpleKeychain keychain("svc", folder());
    ASSERT_TRUE(keychain.set("secret", "credentials"));
    struct stat info {};
    ASSERT_EQ(::stat(folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    // Reading tightens it too.
    ASSERT_EQ(::chmod(folder().c_str(), 0755), 0);
    EXPECT_EQ(keychain.string("credentials"), "secret");
    ASSERT_EQ(::stat(folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    // A folder of another user's that others may write cannot be made private, and is not used.
    if (::geteuid() != 0) GTEST_SKIP() << "giving a folder to another user needs root";
    ASSERT_EQ(::chown(folder().c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(folder().c_str(), 0777), 0);
    auto stored = keychain.set("planted", "credentials");
    auto read = keychain.data("credentials");
    ASSERT_FALSE(stored);
    ASSERT_FALSE(read);
    for (const foundation::Error& error : {stored.error(), read.error()}) {
        EXPECT_EQ(codeOf(error), SimpleKeychainError::Code::storageFailure);
        EXPECT_NE(error.localizedDescription().find("belongs to another user (uid 65534"), std::string::npos)
            << error.localizedDescription();
    }
}

// Whoever owns the folder or an item file chose what it holds: an item another user planted is never read as
// the user's credentials, however private the file and its folder look.
TEST_F(KeychainTest, FoldersAndItemsOfAnotherUserAreRefusedWhateverTheirMode) {
    if (::geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
    SimpleKeychain keychain("svc", folder());
    ASSERT_TRUE(keychain.set("secret", "credentials"));
    const std::string item = keychain.itemPath("credentials");
    auto refusedFor = [](const auto& result, const std::string& why) {
        ASSERT_FALSE(result);
        EXPECT_EQ(codeOf(result.error()), SimpleKeychainError::Code::storageFailure);
        EXPECT_NE(result.error().localizedDescription().find(why), std::string::npos)
            << result.error().localizedDescription();
    };

    // An item file of another user's (mode 0600) in the user's own folder.
    ASSERT_EQ(::chown(item.c_str(), 65534, 65534), 0);
    refusedFor(keychain.data("credentials"), "the item file " + item + " belongs to another user (uid 65534");
    refusedFor(keychain.has("credentials"), "belongs to another user");

    // A folder of another user's that only its owner may write (0755), holding that user's item.
    ASSERT_EQ(::chown(folder().c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(folder().c_str(), 0755), 0);
    refusedFor(keychain.data("credentials"), "the keychain folder " + folder() + " belongs to another user (uid 65534");
    refusedFor(keychain.set("replaced", "credentials"), "belongs to another user (uid 65534");
    struct stat info {};
    ASSERT_EQ(::stat(folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0755u);  // not the user's to change
    EXPECT_TRUE(logs().empty());            // refused, not read as damaged
}

TEST_F(KeychainTest, UnusableFolderIsAStorageFailure) {
    fs::create_directories(dir_);
    write((dir_ / "plain-file").string(), "not a folder");
    SimpleKeychain keychain("svc", (dir_ / "plain-file").string());
    auto stored = keychain.set("x", "credentials");
    ASSERT_FALSE(stored);
    EXPECT_EQ(codeOf(stored.error()), SimpleKeychainError::Code::storageFailure);
    EXPECT_NE(stored.error().localizedDescription().find("The keychain could not be used: "), std::string::npos);
}

TEST_F(KeychainTest, DefaultFolderComesFromTheEnvironment) {
    dispatch::testing::EnvironmentScope env;
    env.set("LUMORA_KEYCHAIN_DIR", "/somewhere/keys");
    env.set("XDG_DATA_HOME", "/xdg");
    EXPECT_EQ(SimpleKeychain("svc").directory(), "/somewhere/keys");
    env.set("LUMORA_KEYCHAIN_DIR", "");
    EXPECT_EQ(SimpleKeychain::defaultDirectory(), "/xdg/lumora/keychain");
    env.unset("XDG_DATA_HOME");
    env.set("HOME", "/home/viewer");
    EXPECT_EQ(SimpleKeychain::defaultDirectory(), "/home/viewer/.local/share/lumora/keychain");
}

TEST_F(KeychainTest, ConcurrentWritersLeaveOneIntactItem) {
    SimpleKeychain keychain("svc", folder());
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&keychain, t] {
            for (int i = 0; i < 25; ++i) {
                EXPECT_TRUE(keychain.set("writer-" + std::to_string(t) + "-" + std::to_string(i), "credentials"));
                auto read = keychain.string("credentials");
                EXPECT_TRUE(read);
                if (read) {
                    EXPECT_EQ(read->rfind("writer-", 0), 0u);
                }
            }
        });
    }
    for (auto& writer : writers) writer.join();
    auto last = keychain.string("credentials");
    ASSERT_TRUE(last);
    EXPECT_NE(last->find("-24"), std::string::npos);
    EXPECT_TRUE(logs().empty());
}

}  // namespace
