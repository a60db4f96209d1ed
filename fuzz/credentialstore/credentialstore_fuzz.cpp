// Fuzz target for the credential store's files: any bytes found as a keychain item's file read as the
// item or as no item (a damaged file is absent), never a crash or a hang; an item read back is written
// and read again unchanged. Any bytes read as stored credentials (the item's contents, and the input
// itself) give credentials that store and read back unchanged, or a clear error.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "auth0/Credentials.h"
#include "keychain/SimpleKeychain.h"

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "credential store invariant broken: %s\n", what);
        std::abort();
    }
}

// The keychain's folder: this process's own in the temporary folder, removed when the process exits.
const std::filesystem::path& folder() {
    static const auto* made = new std::filesystem::path(std::filesystem::temp_directory_path() /
                                                        ("lumora-credentialstore-fuzz-" + std::to_string(::getpid())));
    return *made;
}

// A keychain in that folder, the log of damaged items silenced (every run damages one).
const simplekeychain::SimpleKeychain& keychain() {
    static const auto* made = [] {
        simplekeychain::setLogHandler([](const std::string&) {});
        std::filesystem::create_directories(folder());
        ::chmod(folder().c_str(), 0700);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(folder(), ignored);
        });
        return new simplekeychain::SimpleKeychain("dev.lumora.fuzz", folder().string());
    }();
    return *made;
}

void readAsCredentials(const foundation::Data& data) {
    const auto credentials = auth0::decodeStoredCredentials(data);
    if (!credentials) {
        check(!credentials.error().localizedDescription().empty(), "a failure says why");
        return;
    }
    check(!credentials->accessToken.empty(), "stored credentials hold an access token");
    const auto stored = auth0::encodeStoredCredentials(*credentials);
    check(stored.has_value(), "credentials read can be stored");
    const auto again = auth0::decodeStoredCredentials(*stored);
    check(again && *again == *credentials, "stored credentials read back unchanged");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto& store = keychain();
    const std::string path = store.itemPath("credentials");
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    ::chmod(path.c_str(), 0600);
    const auto item = store.data("credentials");
    if (!item) {
        const auto* error = item.error().as<simplekeychain::SimpleKeychainError>();
        check(error && error->errorCode() == simplekeychain::SimpleKeychainError::Code::itemNotFound,
              "a file that is not an intact item reads as absent");
    } else {
        check(store.has("credentials").value_or(false), "an item read is there");
        check(store.set(*item, "credentials").has_value(), "an item read can be written");
        const auto again = store.data("credentials");
        check(again && *again == *item, "an item written reads back unchanged");
        readAsCredentials(*item);
    }
    readAsCredentials(foundation::Data(data, data + size));
    return 0;
}
