#include "youboralib/YBLog.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace youboralib {

namespace {

struct Loggers {
    std::mutex mutex;  // guards list
    std::vector<std::weak_ptr<YBLogger>> list;
};

Loggers& loggers() {
    static Loggers* instance = new Loggers();  // used until the very end of the process
    return *instance;
}

bool same(const std::weak_ptr<YBLogger>& a, const std::shared_ptr<YBLogger>& b) {
    return !a.owner_before(b) && !b.owner_before(a);
}

}  // namespace

void YBLog::addLoggerDelegate(const std::shared_ptr<YBLogger>& logger) {
    if (!logger) return;
    Loggers& l = loggers();
    std::lock_guard lock(l.mutex);
    std::erase_if(l.list, [](const auto& weak) { return weak.expired(); });
    if (std::none_of(l.list.begin(), l.list.end(), [&](const auto& weak) { return same(weak, logger); })) {
        l.list.push_back(logger);
    }
}

void YBLog::removeLoggerDelegate(const std::shared_ptr<YBLogger>& logger) {
    Loggers& l = loggers();
    std::lock_guard lock(l.mutex);
    std::erase_if(l.list, [&](const auto& weak) { return weak.expired() || same(weak, logger); });
}

void YBLog::log(YBLogLevel level, const std::string& message) {
    std::vector<std::shared_ptr<YBLogger>> receivers;
    {
        Loggers& l = loggers();
        std::lock_guard lock(l.mutex);
        for (const auto& weak : l.list) {
            if (auto logger = weak.lock()) receivers.push_back(std::move(logger));
        }
    }
    // Outside the lock: a logger may add or remove loggers.
    for (const auto& logger : receivers) logger->logYouboraMessage(message, level);
}

}  // namespace youboralib
