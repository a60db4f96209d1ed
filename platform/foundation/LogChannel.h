#pragma once

#include <functional>
#include <mutex>
#include <string>

namespace foundation {

// Where a stand-in's diagnostic lines go: standard error as "[<name>] <line>", or, once a handler is set,
// that handler instead (tests collect the lines). Safe from any thread; the handler runs on the thread
// that logs, outside the channel's lock.
//
//   // never destroyed, since worker threads may log until the process exits
//   foundation::LogChannel& channel() { static auto* c = new foundation::LogChannel("SimpleKeychain"); return *c; }
//   channel().log("the item is damaged");
class LogChannel {
  public:
    using Handler = std::function<void(const std::string& line)>;

    explicit LogChannel(std::string name) : name_(std::move(name)) {}

    void log(const std::string& line) const;
    // Returns the previous handler; an empty handler restores standard error.
    Handler setHandler(Handler handler);

    LogChannel(const LogChannel&) = delete;
    LogChannel& operator=(const LogChannel&) = delete;

  private:
    const std::string name_;
    mutable std::mutex mutex_;
    Handler handler_;  // guarded by mutex_
};

}  // namespace foundation
