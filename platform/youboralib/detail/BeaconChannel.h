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

// The beacons of one plug-in and their road to its collector. Every beacon is recorded; with a collector,
// it joins the process's one delivery line: beacons are posted one at a time, in the order they were made
// across all plug-ins, so a collector sees each view's story in order and the views in the order they
// began. Deliveries under way hold the channel, so beacons outlive the plug-in that made them. Safe from
// any thread; never calls out while holding its lock.
class BeaconChannel : public std::enable_shared_from_this<BeaconChannel> {
  public:
    static std::shared_ptr<BeaconChannel> create(const YBPluginConfig& config);

    // Records `body` (numbered with its "sequence") and puts it in line for the collector.
    void submit(const std::string& event, foundation::JSONValue body);
    std::vector<YBBeacon> beacons() const;

    BeaconChannel(const BeaconChannel&) = delete;
    BeaconChannel& operator=(const BeaconChannel&) = delete;

  private:
    friend class DeliveryLine;

    BeaconChannel(std::optional<foundation::URL> collector, std::shared_ptr<foundation::URLSession> session,
                  double timeoutInterval)
        : collector_(std::move(collector)), session_(std::move(session)), timeoutInterval_(timeoutInterval) {}

    // The request that posts beacon `index`.
    foundation::URLRequest request(std::size_t index) const;
    void finished(std::size_t index, std::optional<foundation::HTTPURLResponse> response,
                  std::optional<foundation::Error> error);

    const std::optional<foundation::URL> collector_;
    const std::shared_ptr<foundation::URLSession> session_;
    const double timeoutInterval_;

    mutable std::mutex mutex_;  // guards beacons_
    std::vector<YBBeacon> beacons_;
};

}  // namespace youboralib::detail
