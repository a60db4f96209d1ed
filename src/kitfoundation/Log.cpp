#include "kitfoundation/Log.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

#include "dispatch/Clock.h"
#include "kitfoundation/KitBundle.h"
#include "kitfoundation/detail/CredentialMasking.h"

namespace lumora {

std::atomic<bool> debugLogEnabled{false};

std::string resolveSdkVersion(const foundation::PropertyList* bundleVersion) {
    if (bundleVersion) {
        if (const std::string* text = bundleVersion->asString(); text && !text->empty()) return *text;
    }
    return "0.0.0";
}

std::string resolveSdkVersion(const foundation::Bundle& bundle) {
    return resolveSdkVersion(bundle.object("CFBundleShortVersionString"));
}

const std::string& sdkVersion() {
    // Never destroyed: read from any thread until the process exits.
    static const std::string& version = *new std::string(resolveSdkVersion(KitBundle::shared()));
    return version;
}

std::string logPrefix() {
    return "[Lumora: " + sdkVersion() + "]";
}

namespace {

struct WallParts {
    std::tm tm{};
    int millis = 0;
};

WallParts wallNowUTC() {
    using namespace std::chrono;
    const auto now = dispatch::Clock::current()->wallNow();
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count();
    // Floor division keeps times before 1970 on the right second.
    long long secs = ms / 1000;
    long long rem = ms % 1000;
    if (rem < 0) {
        rem += 1000;
        secs -= 1;
    }
    WallParts parts;
    const std::time_t t = static_cast<std::time_t>(secs);
    gmtime_r(&t, &parts.tm);
    parts.millis = static_cast<int>(rem);
    return parts;
}

}  // namespace

std::string Debug::timeString() {
    const WallParts p = wallNowUTC();
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d.%03d", p.tm.tm_sec, p.millis);
    return buffer;
}

std::string Debug::clockTimeString() {
    const WallParts p = wallNowUTC();
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03d", p.tm.tm_hour, p.tm.tm_min, p.tm.tm_sec, p.millis);
    return buffer;
}

namespace detail {

void writeLogLine(const std::string& line) {
    // Whatever a line quotes (an error page, a server's message, a value of any field), a credential in
    // it never reaches the output.
    const std::string masked = maskCredentials(line);
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::fwrite(masked.data(), 1, masked.size(), stdout);
    std::fflush(stdout);
}

}  // namespace detail

}  // namespace lumora
