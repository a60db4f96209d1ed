#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "foundation/URL.h"
#include "youboralib/YBPlugin.h"

namespace youboralib::detail {

// The beacons of one plug-in and their road to the collector: every beacon is recorded; with a
// collector, beacons are posted one at a time, in the order submitted. Deliveries under way hold the
// channel, so beacons outlive the plug-in that made them. Safe from any thread; never calls out while
// holding its lock.
class BeaconChannel : public std::enable_shared_from_this<BeaconChannel> {
  public:
    static std::shared_ptr<BeaconChannel> create(const YBPluginConfig& config);

    // Records `body` (numbered with its "sequence") and posts it after the beacons before it.
    void submit(const std::string& event, foundation::JSONValue body);
    std::vector<YBBeacon> beacons() const;

    BeaconChannel(const BeaconChannel&) = delete;
    BeaconChannel& operator=(const BeaconChannel&) = delete;

  private:
    BeaconChannel(std::optional<foundation::URL> collector, std::shared_ptr<foundation::URLSession> session,
                  double timeoutInterval)
        : collector_(std::move(collector)), session_(std::move(session)), timeoutInterval_(timeoutInterval) {}

    // Starts the next waiting beacon unless one is under way; call without the lock.
    void pump();
    void finished(std::size_t index, std::optional<foundation::HTTPURLResponse> response,
                  std::optional<foundation::Error> error);

    const std::optional<foundation::URL> collector_;
    const std::shared_ptr<foundation::URLSession> session_;
    const double timeoutInterval_;

    mutable std::mutex mutex_;  // guards the three below
    std::vector<YBBeacon> beacons_;
    std::size_t next_ = 0;   // the first beacon not yet posted
    bool inFlight_ = false;  // a post waits for its answer
};

}  // namespace youboralib::detail
