#include "youboralib/YBPlugin.h"

#include <cmath>

#include "foundation/Date.h"
#include "foundation/UUID.h"
#include "youboralib/detail/BeaconChannel.h"

namespace youboralib {

namespace {

foundation::JSONValue textOrNull(const std::optional<std::string>& value) {
    if (!value) return nullptr;
    return *value;
}

}  // namespace

std::shared_ptr<YBPlugin> YBPlugin::create(std::shared_ptr<YBOptions> options) {
    return std::shared_ptr<YBPlugin>(new YBPlugin(std::move(options)));
}

std::shared_ptr<YBPlugin> YBPlugin::create(std::shared_ptr<YBOptions> options,
                                           std::shared_ptr<YBPlayerAdapter> adapter) {
    return std::shared_ptr<YBPlugin>(new YBPlugin(std::move(options), std::move(adapter)));
}

std::shared_ptr<YBPlugin> YBPlugin::create(std::shared_ptr<YBOptions> options, std::shared_ptr<YBPlayerAdapter> adapter,
                                           YBPluginConfig config) {
    return std::shared_ptr<YBPlugin>(new YBPlugin(std::move(options), std::move(adapter), std::move(config)));
}

YBPlugin::YBPlugin(std::shared_ptr<YBOptions> options) : YBPlugin(std::move(options), nullptr, YBPluginConfig{}) {}

YBPlugin::YBPlugin(std::shared_ptr<YBOptions> options, std::shared_ptr<YBPlayerAdapter> adapter)
    : YBPlugin(std::move(options), std::move(adapter), YBPluginConfig{}) {}

YBPlugin::YBPlugin(std::shared_ptr<YBOptions> options, std::shared_ptr<YBPlayerAdapter> adapter, YBPluginConfig config)
    : options_(options ? std::move(options) : YBOptions::create()),
      config_(std::move(config)),
      channel_(detail::BeaconChannel::create(config_)),
      adapter_(std::move(adapter)) {}

YBPlugin::~YBPlugin() {
    // An adapter still held stops watching its player; beacons under way go on without the plug-in.
    if (adapter_) adapter_->endMonitoring();
}

std::shared_ptr<YBPlayerAdapter> YBPlugin::adapter() const {
    std::lock_guard lock(mutex_);
    return adapter_;
}

std::string YBPlugin::getPlayerName() const {
    return "";
}

std::string YBPlugin::getPlayerVersion() const {
    return "";
}

void YBPlugin::fireInit() {
    const Player player = describePlayer();
    std::shared_ptr<YBPlayerAdapter> adapter;
    {
        std::lock_guard lock(mutex_);
        if (initiated_) return;
        initiated_ = true;
        started_ = false;
        viewCode_ = foundation::UUID().uuidString();
        adapter = adapter_;
        send("init", player, std::nullopt);
    }
    // Outside the lock: a player that already plays reports its start from inside this call.
    if (adapter) {
        std::weak_ptr<YBPlugin> weak = weak_from_this();
        adapter->beginMonitoring([weak] {
            if (auto self = weak.lock()) self->adapterDidStart();
        });
    }
}

void YBPlugin::adapterDidStart() {
    const Player player = describePlayer();
    std::lock_guard lock(mutex_);
    if (!initiated_ || started_) return;
    started_ = true;
    send("start", player, std::nullopt);
}

void YBPlugin::fireErrorWithMessage(std::optional<std::string> message, std::optional<std::string> code,
                                    std::optional<std::string> errorMetadata) {
    foundation::JSONValue error = foundation::JSONValue::object();
    error["message"] = textOrNull(message);
    error["code"] = textOrNull(code);
    error["metadata"] = textOrNull(errorMetadata);
    const Player player = describePlayer();
    std::lock_guard lock(mutex_);
    send("error", player, std::move(error));
}

void YBPlugin::removeAdapter() {
    const Player player = describePlayer();
    std::shared_ptr<YBPlayerAdapter> adapter;
    {
        std::lock_guard lock(mutex_);
        if (!adapter_ && !initiated_) return;
        if (initiated_) send("stop", player, std::nullopt);
        initiated_ = false;
        started_ = false;
        adapter = std::move(adapter_);
        adapter_ = nullptr;
    }
    if (adapter) adapter->endMonitoring();
}

bool YBPlugin::isInitiated() const {
    std::lock_guard lock(mutex_);
    return initiated_;
}

bool YBPlugin::isStarted() const {
    std::lock_guard lock(mutex_);
    return started_;
}

std::optional<std::string> YBPlugin::viewCode() const {
    std::lock_guard lock(mutex_);
    return viewCode_;
}

std::vector<YBBeacon> YBPlugin::beacons() const {
    return channel_->beacons();
}

YBPlugin::Player YBPlugin::describePlayer() const {
    return Player{getPlayerName(), getPlayerVersion()};
}

void YBPlugin::send(const std::string& event, const Player& player, std::optional<foundation::JSONValue> error) {
    foundation::JSONValue body = foundation::JSONValue::object();
    // Each field once, in its place: appended (the vector's own emplace_back) without a search.
    auto& fields = body.get_ref<foundation::JSONValue::object_t&>();
    fields.reserve(8);
    fields.emplace_back("event", event);
    fields.emplace_back("view", textOrNull(viewCode_));
    fields.emplace_back("sequence", 0);  // numbered by the channel
    fields.emplace_back("timestamp", std::llround(foundation::Date::now().timeIntervalSince1970() * 1000.0));
    fields.emplace_back("playerName", player.name);
    fields.emplace_back("playerVersion", player.version);
    fields.emplace_back("options", options_->toJSON());
    if (error) fields.emplace_back("error", std::move(*error));
    channel_->submit(event, std::move(body));
}

}  // namespace youboralib
