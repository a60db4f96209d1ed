#include "foundation/LogChannel.h"

#include <cstdio>
#include <utility>

namespace foundation {

void LogChannel::log(const std::string& line) const {
    Handler handler;
    {
        std::lock_guard lock(mutex_);
        handler = handler_;
    }
    if (handler) {
        handler(line);
    } else {
        std::fprintf(stderr, "[%s] %s\n", name_.c_str(), line.c_str());
    }
}

LogChannel::Handler LogChannel::setHandler(Handler handler) {
    std::lock_guard lock(mutex_);
    return std::exchange(handler_, std::move(handler));
}

}  // namespace foundation
