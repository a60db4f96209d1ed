#pragma once

#include <memory>
#include <optional>
#include <string>

// The analytics library's log: it tells every registered logger what it does (beacons recorded, sent,
// refused). No logger is registered at start, so the library is silent until a host adds one.
//
//   class MyLogger : public youboralib::YBLogger {
//       void logYouboraMessage(const std::optional<std::string>& message, youboralib::YBLogLevel level) override;
//   };
//   auto logger = std::make_shared<MyLogger>();
//   youboralib::YBLog::addLoggerDelegate(logger);     // held weakly: keep `logger` alive
namespace youboralib {

// How much a message matters, most important first.
enum class YBLogLevel { error = 1, warning = 2, notice = 3, debug = 4, verbose = 5 };

// A receiver of the library's messages. Called on whatever thread the library works on (the caller's,
// or the HTTP session's worker queue for delivery outcomes).
class YBLogger {
  public:
    virtual ~YBLogger() = default;
    virtual void logYouboraMessage(const std::optional<std::string>& message, YBLogLevel level) = 0;
};

class YBLog {
  public:
    // Registers `logger` (held weakly; registering it twice changes nothing).
    static void addLoggerDelegate(const std::shared_ptr<YBLogger>& logger);
    static void removeLoggerDelegate(const std::shared_ptr<YBLogger>& logger);

    // Tells every registered logger, in the order they were added. Safe from any thread.
    static void log(YBLogLevel level, const std::string& message);
};

}  // namespace youboralib
