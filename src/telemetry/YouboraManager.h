#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "avfoundation/AVPlayer.h"
#include "foundation/Error.h"
#include "foundation/KeyValueObserving.h"
#include "foundation/NotificationCenter.h"
#include "playservice/AssetStreamContent.h"
#include "youboralib/YBPlugin.h"

// The analytics session: every stream the player screen plays is reported to the analytics vendor through
// one vendor plug-in per media player.
//
//   // in the load completion, on the main queue:
//   lumora::YouboraManager::shared()->startMonitoring(content, videoView->player());
//   // when the screen goes away:
//   lumora::YouboraManager::shared()->stopMonitoring(videoView->player());
//
// At the start the plug-in's options are filled from the stream content's analytics block, the host's
// settings "SDK_YouboraPartnerSportName" and "SDK_YouboraPartnerCode" and the viewer's profile, and the
// plug-in opens its view ("init"). While the stream plays, each new access-log entry of the player's current
// item (and each change of its presentation size) updates the bitrate, rendition and duration options, and
// the errors of the item's error log and of a failed item are handed to the plug-in. The plug-in sends its
// beacons to the collector of "SDK_YouboraCollectorURL" (none: it only records them).
//
// Main queue only. The platform's notifications and observations may come on any thread: every handler
// moves to the main queue and acts only if its item, its player and the player's session still exist.
namespace lumora {

class YouboraManager : public foundation::KVOObserver, public std::enable_shared_from_this<YouboraManager> {
  public:
    // What the manager takes from its surroundings.
    struct Dependencies {
        // How each plug-in delivers its beacons; by default the collector of "SDK_YouboraCollectorURL"
        // through the process's shared URL session.
        std::function<youboralib::YBPluginConfig()> pluginConfig;
        // The viewer's profile for custom dimension 11; by default ZuAuthManager::shared().currentProfile().
        std::function<std::optional<std::string>()> currentProfile;

        static Dependencies current();
    };

    // The one manager of the process, made on first use and never released.
    static std::shared_ptr<YouboraManager> shared();
    // A manager of its own (tests); empty dependencies take the defaults.
    static std::shared_ptr<YouboraManager> create(Dependencies dependencies);
    ~YouboraManager() override;

    // Starts the session of `player` with `content`: a plug-in with its options and an adapter of the
    // player, which opens its view. Nothing happens without content or player, or when the player's session
    // already reports the same content (the same `id` and `resource`); a session of other content is stopped
    // first. Sessions of players that are gone are ended first too.
    void startMonitoring(const std::optional<AssetStreamContent>& content,
                         const std::shared_ptr<avfoundation::AVPlayer>& player);
    // Ends the session of `player`: the item is no longer observed and the plug-in lets go of its adapter
    // (its view stops). Nothing happens without a player or a session.
    void stopMonitoring(const std::shared_ptr<avfoundation::AVPlayer>& player);

    // Sessions in force (for tests and diagnostics).
    std::size_t monitoredPlayerCount() const { return playersData_.size(); }

    // The item observation of the platform (the observed item's "status" and "presentationSize").
    void observeValue(const std::string& keyPath, foundation::KVOObservable& object,
                      const foundation::KeyValueChange& change, void* context) override;

    YouboraManager(const YouboraManager&) = delete;
    YouboraManager& operator=(const YouboraManager&) = delete;

  private:
    // One monitored player.
    struct PlayerData {
        std::shared_ptr<youboralib::YBPlugin> plugin;
        // The item whose "status" and "presentationSize" are observed; empty until the first access-log
        // entry of the player's current item, and again once that item is released.
        std::weak_ptr<avfoundation::AVPlayerItem> playerItem;
        // Which player this is (never kept alive here) and what it plays.
        std::weak_ptr<avfoundation::AVPlayer> player;
        std::string contentId;
        std::string contentResource;
    };
    // Players are told apart by a number given at their start and never given again.
    using PlayerKey = std::uint64_t;

    explicit YouboraManager(Dependencies dependencies);
    void registerForNotifications();

    // The notification handlers, on the main queue. An error-log notification announces the entry that was
    // newest when it was posted; that entry is taken then, since later ones may be logged before the main
    // queue's turn.
    void handleAVPlayerAccess(const std::shared_ptr<avfoundation::AVPlayerItem>& item);
    void handleAVPlayerError(const std::shared_ptr<avfoundation::AVPlayerItem>& item,
                             const avfoundation::AVPlayerItemErrorLogEvent& event);
    void handleStatusChange(const std::shared_ptr<avfoundation::AVPlayerItem>& item);

    std::optional<PlayerKey> keyOf(const std::shared_ptr<avfoundation::AVPlayer>& player) const;
    // With a record, stores it under `key`; with none, removes the key.
    void setPlayerData(std::optional<PlayerData> data, PlayerKey key);
    // Ends a session: observers off, adapter removed, entry gone.
    void endSession(PlayerKey key);
    void updateContentMetrics(const std::shared_ptr<avfoundation::AVPlayerItem>& item);
    // The keys of the sessions whose player's current item is `item`, in start order.
    std::vector<PlayerKey> matchingPlayerData(const std::shared_ptr<avfoundation::AVPlayerItem>& item) const;
    void reportError(const std::optional<foundation::Error>& error, const PlayerData* data);
    void observe(const std::shared_ptr<avfoundation::AVPlayerItem>& item);
    void stopObserving(const std::weak_ptr<avfoundation::AVPlayerItem>& item);

    Dependencies dependencies_;
    // Main queue only.
    std::map<PlayerKey, PlayerData> playersData_;
    PlayerKey nextKey_ = 1;
    std::vector<std::shared_ptr<foundation::NotificationObserverToken>> notificationTokens_;
};

}  // namespace lumora
