#include "telemetry/YouboraManager.h"

#include <cmath>
#include <limits>

#include "authentication/ZuAuthManager.h"
#include "dispatch/DispatchQueue.h"
#include "kitfoundation/Configuration.h"
#include "telemetry/detail/YouboraPlugin.h"
#include "youboralib/YBPlayerAdapter.h"
#include "youboralib/YBYouboraUtils.h"

namespace lumora {

namespace {

using avfoundation::AVPlayer;
using avfoundation::AVPlayerItem;

// An error-log entry as an error object: its domain, its status code, and its comment as the description
// (the empty text when it has none).
struct ErrorLogEntryError {
    std::string errorDomain;
    int statusCode = 0;
    std::string comment;

    std::string localizedDescription() const { return comment; }
    std::string domain() const { return errorDomain; }
    int code() const { return statusCode; }
};

// One side of a presentation size as the rendition helper takes it: truncated toward zero; nothing when it
// is not a number or does not fit.
std::optional<std::int32_t> renditionSide(double points) {
    if (!std::isfinite(points)) return std::nullopt;
    const double whole = std::trunc(points);
    if (whole < std::numeric_limits<std::int32_t>::min() || whole > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(whole);
}

bool samePlayer(const std::weak_ptr<AVPlayer>& a, const std::shared_ptr<AVPlayer>& b) {
    return !a.owner_before(b) && !b.owner_before(a);
}

}  // namespace

YouboraManager::Dependencies YouboraManager::Dependencies::current() {
    Dependencies d;
    d.pluginConfig = [] {
        youboralib::YBPluginConfig config;
        std::string collector = ConfigurationKey(ConfigurationKey::youboraCollectorURL).value();
        if (!collector.empty()) config.collectorURL = std::move(collector);
        return config;
    };
    d.currentProfile = [] { return ZuAuthManager::shared().currentProfile(); };
    return d;
}

std::shared_ptr<YouboraManager> YouboraManager::shared() {
    // Never released: it hears the notifications of every player item for the whole process.
    static auto* instance = new std::shared_ptr<YouboraManager>(create(Dependencies::current()));
    return *instance;
}

std::shared_ptr<YouboraManager> YouboraManager::create(Dependencies dependencies) {
    Dependencies defaults = Dependencies::current();
    if (!dependencies.pluginConfig) dependencies.pluginConfig = std::move(defaults.pluginConfig);
    if (!dependencies.currentProfile) dependencies.currentProfile = std::move(defaults.currentProfile);
    std::shared_ptr<YouboraManager> manager(new YouboraManager(std::move(dependencies)));
    manager->registerForNotifications();
    return manager;
}

YouboraManager::YouboraManager(Dependencies dependencies) : dependencies_(std::move(dependencies)) {}

YouboraManager::~YouboraManager() {
    for (const auto& token : notificationTokens_) foundation::NotificationCenter::defaultCenter().removeObserver(token);
}

void YouboraManager::registerForNotifications() {
    // Every item of the process, the host's own players' included. The handlers move to the main queue
    // holding neither the manager nor the item.
    std::weak_ptr<YouboraManager> weak = weak_from_this();
    auto onAccessEntry = [weak](const foundation::Notification& notification) {
        auto item = notification.object.as<AVPlayerItem>();
        if (!item) return;
        dispatch::DispatchQueue::main().async([weak, weakItem = std::weak_ptr<AVPlayerItem>(item)] {
            auto self = weak.lock();
            auto item = weakItem.lock();
            if (self && item) self->handleAVPlayerAccess(item);
        });
    };
    auto onErrorEntry = [weak](const foundation::Notification& notification) {
        auto item = notification.object.as<AVPlayerItem>();
        if (!item) return;
        // The entry this notification announces is the newest now; by the main queue's turn it may not be.
        const auto log = item->errorLog();
        if (!log || log->events.empty()) return;
        auto weakItem = std::weak_ptr<AVPlayerItem>(item);
        dispatch::DispatchQueue::main().async([weak, weakItem, event = log->events.back()] {
            auto self = weak.lock();
            auto item = weakItem.lock();
            if (self && item) self->handleAVPlayerError(item, event);
        });
    };
    auto& center = foundation::NotificationCenter::defaultCenter();
    notificationTokens_.push_back(
        center.addObserver(avfoundation::AVPlayerItemNewAccessLogEntryNotification, nullptr, nullptr, onAccessEntry));
    notificationTokens_.push_back(
        center.addObserver(avfoundation::AVPlayerItemNewErrorLogEntryNotification, nullptr, nullptr, onErrorEntry));
}

// ---- Sessions ----

void YouboraManager::startMonitoring(const std::optional<AssetStreamContent>& content,
                                     const std::shared_ptr<AVPlayer>& player) {
    if (!content || !player) return;

    // Sessions of players that are gone end here: their views stop and their entries go.
    std::vector<PlayerKey> gone;
    for (const auto& [key, data] : playersData_) {
        if (data.player.expired()) gone.push_back(key);
    }
    for (PlayerKey key : gone) endSession(key);

    if (auto key = keyOf(player)) {
        const PlayerData& running = playersData_.at(*key);
        // The same content again (a replay after signing in) keeps the running view.
        if (running.contentId == content->id && running.contentResource == content->resource) return;
        endSession(*key);
    }

    const detail::YouboraSettings settings{
        .partnerSportName = ConfigurationKey(ConfigurationKey::youboraPartnerSportName).value(),
        .partnerCode = ConfigurationKey(ConfigurationKey::youboraPartnerCode).value(),
        .profile = dependencies_.currentProfile(),
    };
    auto options = detail::makeYouboraOptions(*content, settings);
    auto adapter = youboralib::YBPlayerAdapter::create(player);
    auto plugin = detail::YouboraPlugin::create(std::move(options), std::move(adapter), dependencies_.pluginConfig());
    plugin->fireInit();
    setPlayerData(PlayerData{.plugin = std::move(plugin),
                             .player = player,
                             .contentId = content->id,
                             .contentResource = content->resource},
                  nextKey_++);
}

void YouboraManager::stopMonitoring(const std::shared_ptr<AVPlayer>& player) {
    if (!player) return;
    if (auto key = keyOf(player)) endSession(*key);
}

void YouboraManager::endSession(PlayerKey key) {
    auto it = playersData_.find(key);
    if (it == playersData_.end()) return;
    stopObserving(it->second.playerItem);
    it->second.plugin->removeAdapter();
    setPlayerData(std::nullopt, key);
}

std::optional<YouboraManager::PlayerKey> YouboraManager::keyOf(const std::shared_ptr<AVPlayer>& player) const {
    for (const auto& [key, data] : playersData_) {
        if (samePlayer(data.player, player)) return key;
    }
    return std::nullopt;
}

void YouboraManager::setPlayerData(std::optional<PlayerData> data, PlayerKey key) {
    if (data) {
        playersData_.insert_or_assign(key, std::move(*data));
    } else {
        playersData_.erase(key);
    }
}

std::vector<YouboraManager::PlayerKey> YouboraManager::matchingPlayerData(
    const std::shared_ptr<AVPlayerItem>& item) const {
    std::vector<PlayerKey> keys;
    for (const auto& [key, data] : playersData_) {
        auto adapter = data.plugin->adapter();
        if (!adapter) continue;
        auto player = adapter->player().as<AVPlayer>();
        if (player && player->currentItem() == item) keys.push_back(key);
    }
    return keys;
}

// ---- Item observation ----

void YouboraManager::observe(const std::shared_ptr<AVPlayerItem>& item) {
    auto self = shared_from_this();
    (void)item->addObserver(self, "presentationSize", foundation::NSKeyValueObservingOptions::new_);
    (void)item->addObserver(self, "status", foundation::NSKeyValueObservingOptions::new_);
}

void YouboraManager::stopObserving(const std::weak_ptr<AVPlayerItem>& weakItem) {
    auto item = weakItem.lock();
    if (!item) return;
    auto self = shared_from_this();
    item->removeObserver(self, "presentationSize");
    item->removeObserver(self, "status");
}

void YouboraManager::observeValue(const std::string& keyPath, foundation::KVOObservable& object,
                                  const foundation::KeyValueChange&, void*) {
    auto* observed = dynamic_cast<AVPlayerItem*>(&object);
    if (!observed) return;
    std::weak_ptr<AVPlayerItem> weakItem = observed->weak_from_this();
    std::weak_ptr<YouboraManager> weak = weak_from_this();
    const bool status = keyPath == "status";
    dispatch::DispatchQueue::main().async([weak, weakItem, status] {
        auto self = weak.lock();
        auto item = weakItem.lock();
        if (!self || !item) return;
        if (status) {
            self->handleStatusChange(item);
        } else {
            self->updateContentMetrics(item);
        }
    });
}

void YouboraManager::handleStatusChange(const std::shared_ptr<AVPlayerItem>& item) {
    if (item->status() != AVPlayerItem::Status::failed) return;
    const auto keys = matchingPlayerData(item);
    reportError(item->error(), keys.empty() ? nullptr : &playersData_.at(keys.front()));
}

// ---- Metrics and errors ----

void YouboraManager::handleAVPlayerAccess(const std::shared_ptr<AVPlayerItem>& item) {
    updateContentMetrics(item);
}

void YouboraManager::updateContentMetrics(const std::shared_ptr<AVPlayerItem>& item) {
    const auto log = item->accessLog();
    if (!log || log->events.empty()) return;
    const avfoundation::AVPlayerItemAccessLogEvent& event = log->events.back();
    const auto keys = matchingPlayerData(item);
    if (keys.empty()) return;
    const PlayerKey key = keys.front();
    const PlayerData& data = playersData_.at(key);
    auto options = data.plugin->options();

    // The item to observe is the player's current one: the first, or the next once the player moved on.
    auto adapter = data.plugin->adapter();
    if (adapter && adapter->player().as<AVPlayer>() && data.playerItem.lock() != item) {
        stopObserving(data.playerItem);
        PlayerData attached = data;
        attached.playerItem = item;
        setPlayerData(std::move(attached), key);
        observe(item);
    }

    options->setContentBitrate(event.indicatedBitrate);
    // A size no picture has (not a number, beyond 32 bits) leaves the last rendition as it was.
    const coregraphics::CGSize size = item->presentationSize();
    const auto width = renditionSide(size.width);
    const auto height = renditionSide(size.height);
    if (width && height) {
        options->setContentRendition(
            youboralib::YBYouboraUtils::buildRenditionString(*width, *height, event.indicatedBitrate));
    }
    // Live streams have no duration; neither has a duration that is not a number of seconds.
    const double seconds = coremedia::CMTimeGetSeconds(item->duration());
    if (std::isfinite(seconds)) {
        options->setContentDuration(seconds);
    } else {
        options->setContentDuration(std::nullopt);
    }
}

void YouboraManager::handleAVPlayerError(const std::shared_ptr<AVPlayerItem>& item,
                                         const avfoundation::AVPlayerItemErrorLogEvent& event) {
    const auto keys = matchingPlayerData(item);
    if (keys.empty()) return;
    auto adapter = playersData_.at(keys.front()).plugin->adapter();
    auto player = adapter ? adapter->player().as<AVPlayer>() : nullptr;
    if (!player) return;
    const foundation::Error error =
        ErrorLogEntryError{event.errorDomain, event.errorStatusCode, event.errorComment.value_or("")};
    const auto key = keyOf(player);
    reportError(error, key ? &playersData_.at(*key) : nullptr);
}

void YouboraManager::reportError(const std::optional<foundation::Error>& error, const PlayerData* data) {
    if (!error || !data) return;
    data->plugin->fireErrorWithMessage(error->localizedDescription(), std::to_string(error->code()), std::nullopt);
}

}  // namespace lumora
