#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "devserver/Server.h"

// The analytics vendor's collector in the local back end (service "analytics"): the analytics plug-ins
// of the kit post their beacons here as JSON objects. It keeps every beacon it receives, answers
// whether it took it, and can print one line per beacon. The JSON shapes are in tools/devserver/README.md.
//
//   auto collector = devserver::AnalyticsCollector::create();
//   auto server = devserver::Server::start({.services = {collector}});
//   // the kit's "SDK_YouboraCollectorURL": server->baseURL() + collector->path()
//   ... the kit plays ...
//   auto starts = collector->beacons("start");
namespace devserver {

struct AnalyticsCollectorOptions {
    // Where beacons are posted (POST), listed (GET) and forgotten (DELETE).
    std::string path = "/analytics/beacons";
    // Prints one line per beacon taken on standard error.
    bool logToStderr = false;
};

// One beacon as received, with the verdict.
struct AnalyticsBeacon {
    // 200 taken, 400 refused (not a JSON object with a non-empty text "event").
    int status = 200;
    // The beacon's "event", "view" (its view's code; "" when null or missing) and "sequence".
    std::string event;
    std::string view;
    std::optional<std::int64_t> sequence;
    // The body parsed (null when it is not JSON) and as received.
    nlohmann::ordered_json body;
    std::string rawBody;
};

class AnalyticsCollector final : public Service, public std::enable_shared_from_this<AnalyticsCollector> {
  public:
    static std::shared_ptr<AnalyticsCollector> create(AnalyticsCollectorOptions options = {});

    std::string name() const override { return "analytics"; }
    void registerRoutes(Router& router) override;
    const std::string& path() const { return options_.path; }

    // The answer to one beacon post (also what the route runs).
    Reply handle(const RecordedRequest& request);

    // Every beacon received, refused ones included, in arrival order.
    std::vector<AnalyticsBeacon> beacons() const;
    // The beacons taken whose event is `event`, in arrival order.
    std::vector<AnalyticsBeacon> beacons(std::string_view event) const;
    // The beacons taken of one view, in arrival order.
    std::vector<AnalyticsBeacon> beaconsOfView(std::string_view view) const;
    void clear();

  private:
    explicit AnalyticsCollector(AnalyticsCollectorOptions options) : options_(std::move(options)) {}

    const AnalyticsCollectorOptions options_;
    mutable std::mutex mutex_;  // guards beacons_
    std::vector<AnalyticsBeacon> beacons_;
};

}  // namespace devserver
