#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "foundation/JSON.h"
#include "foundation/URLSession.h"
#include "youboralib/YBOptions.h"
#include "youboralib/YBPlayerAdapter.h"

// The analytics plug-in: one per player, it keeps the view (one played content) and reports it to the
// vendor's collector as beacons.
//
//   auto options = youboralib::YBOptions::create();
//   options->setContentTitle("Harbour Derby");
//   auto plugin = youboralib::YBPlugin::create(options, youboralib::YBPlayerAdapter::create(player),
//                                              {.collectorURL = "https://collector.example/beacons"});
//   plugin->fireInit();                                       // "init": the view begins
//   ... the player plays ...                                  // "start", from the adapter
//   plugin->fireErrorWithMessage("Segment missing", "404", std::nullopt);   // "error"
//   plugin->removeAdapter();                                  // "stop": the view ends
//
// Beacons are JSON objects:
//   {"event": "init" | "start" | "error" | "stop", "view": <the view's code, a UUID text; null before the
//    first view>, "sequence": 1, 2... (per plug-in), "timestamp": <milliseconds since 1970 on the one clock>,
//    "playerName": getPlayerName(), "playerVersion": getPlayerVersion(), "options": YBOptions::toJSON(),
//    "error": {"message", "code", "metadata"} (error beacons only; none as null)}
// Every beacon is recorded (`beacons()`). With a collector address (an absolute http or https URL) each
// is also posted there as "application/json" through the configured URLSession, one at a time in the
// order beacons were made by all the process's plug-ins; without one, or with an address that is not
// such a URL, beacons are only recorded (the library logs why through YBLog). A beacon the collector
// does not take (no answer, time-out, a status outside 200...299) is marked failed and logged; it is not
// sent again, and the next one goes on. Beacons already made are delivered even when the plug-in is
// released meanwhile.
//
// Safe from any thread. Subclasses name their player by overriding getPlayerName / getPlayerVersion.
namespace youboralib {

namespace detail {
class BeaconChannel;
}

// Where and how a plug-in delivers its beacons.
struct YBPluginConfig {
    // The collector's address; nothing: beacons are only recorded.
    std::optional<std::string> collectorURL;
    // The HTTP session beacons go through; nothing: foundation::URLSession::shared().
    std::shared_ptr<foundation::URLSession> session;
    // Seconds (on the one clock) a beacon may wait for its answer before it counts as failed.
    double timeoutInterval = 30;
};

// One beacon as the plug-in made it, and what became of it.
struct YBBeacon {
    enum class Delivery {
        // Kept here only: no collector.
        recorded,
        // Waiting for an earlier beacon's answer, or for its own.
        sending,
        // The collector answered 2xx.
        delivered,
        // Not taken; `failure` says why.
        failed,
    };

    std::string event;
    foundation::JSONValue body;
    Delivery delivery = Delivery::recorded;
    std::optional<int> statusCode;
    std::optional<std::string> failure;
};

class YBPlugin : public std::enable_shared_from_this<YBPlugin> {
  public:
    // A plug-in with no adapter (the integration reports everything itself), with an adapter, and with an
    // adapter and a delivery configuration. No options: a fresh YBOptions. The first two only record.
    static std::shared_ptr<YBPlugin> create(std::shared_ptr<YBOptions> options);
    static std::shared_ptr<YBPlugin> create(std::shared_ptr<YBOptions> options,
                                            std::shared_ptr<YBPlayerAdapter> adapter);
    static std::shared_ptr<YBPlugin> create(std::shared_ptr<YBOptions> options,
                                            std::shared_ptr<YBPlayerAdapter> adapter, YBPluginConfig config);
    virtual ~YBPlugin();

    // The options every beacon carries (the same object for the plug-in's life).
    std::shared_ptr<YBOptions> options() const { return options_; }
    // The adapter until `removeAdapter`.
    std::shared_ptr<YBPlayerAdapter> adapter() const;

    // The player's name and version in every beacon; the empty text unless a subclass says.
    virtual std::string getPlayerName() const;
    virtual std::string getPlayerVersion() const;

    // Opens a view with a new code and sends "init"; the adapter starts watching its player. Nothing
    // happens while a view is open.
    void fireInit();
    // Sends "error" with the message, code and metadata as given (none as null), in the open view or the
    // last one.
    void fireErrorWithMessage(std::optional<std::string> message, std::optional<std::string> code,
                              std::optional<std::string> errorMetadata);
    // Sends "stop" when a view is open (closing it), and lets go of the adapter, which stops watching its
    // player. Nothing happens without an adapter and an open view.
    void removeAdapter();

    // The view's state: open (between fireInit and stop), started (its player was seen playing), its code
    // (also after it closed; nothing before the first).
    bool isInitiated() const;
    bool isStarted() const;
    std::optional<std::string> viewCode() const;

    // Every beacon made so far, in order, with its delivery state.
    std::vector<YBBeacon> beacons() const;
    const YBPluginConfig& config() const { return config_; }

    YBPlugin(const YBPlugin&) = delete;
    YBPlugin& operator=(const YBPlugin&) = delete;

  protected:
    explicit YBPlugin(std::shared_ptr<YBOptions> options);
    YBPlugin(std::shared_ptr<YBOptions> options, std::shared_ptr<YBPlayerAdapter> adapter);
    YBPlugin(std::shared_ptr<YBOptions> options, std::shared_ptr<YBPlayerAdapter> adapter, YBPluginConfig config);

  private:
    struct Player {
        std::string name;
        std::string version;
    };

    // The adapter saw the player play.
    void adapterDidStart();
    // Asked before the lock is taken: an override may call back into the plug-in.
    Player describePlayer() const;
    // Builds one beacon of the current view and hands it to the channel (with the lock held, so beacons
    // are numbered in the order the view's state changed). `error` for error beacons.
    void send(const std::string& event, const Player& player, std::optional<foundation::JSONValue> error);

    const std::shared_ptr<YBOptions> options_;
    const YBPluginConfig config_;
    std::shared_ptr<detail::BeaconChannel> channel_;  // made on first use; shared with deliveries under way

    mutable std::mutex mutex_;  // guards the view state and the adapter
    std::shared_ptr<YBPlayerAdapter> adapter_;
    bool initiated_ = false;
    bool started_ = false;
    std::optional<std::string> viewCode_;
};

}  // namespace youboralib
