#pragma once

#include <any>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "avfoundation/AVAsset.h"
#include "avfoundation/AVPlayerItem.h"
#include "avfoundation/detail/ContentKeySession.h"
#include "avfoundation/detail/ItemLogs.h"
#include "avfoundation/detail/PlayerItemHost.h"
#include "avfoundation/detail/Playhead.h"
#include "avfoundation/detail/SegmentLoader.h"
#include "coregraphics/CGGeometry.h"
#include "coremedia/CMTime.h"
#include "foundation/KeyValueObserving.h"

namespace avfoundation::detail {

// The observable properties of an item, as its engine sets them.
struct ItemProperties {
    foundation::KVOProperty<AVPlayerItem::Status> status{AVPlayerItem::Status::unknown};
    foundation::KVOProperty<coremedia::CMTime> duration{coremedia::kCMTimeIndefinite};
    foundation::KVOProperty<std::vector<coremedia::CMTimeRange>> seekableTimeRanges;
    foundation::KVOProperty<std::vector<coremedia::CMTimeRange>> loadedTimeRanges;
    foundation::KVOProperty<bool> isPlaybackBufferEmpty{true};
    foundation::KVOProperty<coregraphics::CGSize> presentationSize;
};

// The machinery of one AVPlayerItem: the road from the asset to a ready item (asset, media playlist, keys,
// first segment), its failure, and the four parts it coordinates: the playhead, the segment loader, the
// content-key session and the logs. The item's public face reads it; the player that plays the item drives
// it (attach, look, seek); the test hooks of testing/ reach its parts. Main thread only.
class PlayerItemEngine final : public std::enable_shared_from_this<PlayerItemEngine>,
                               private SegmentLoader::Delegate,
                               private ContentKeySession::Delegate {
  public:
    static std::shared_ptr<PlayerItemEngine> create(std::shared_ptr<AVAsset> asset);
    ~PlayerItemEngine();
    // The item whose notifications this engine posts (as their sender).
    void setItem(std::weak_ptr<AVPlayerItem> item) { item_ = std::move(item); }

    // ---- The item's public face ----
    ItemProperties& properties() { return properties_; }
    const ItemProperties& properties() const { return properties_; }
    const std::optional<foundation::Error>& error() const { return error_; }
    coremedia::CMTime currentTime() const;
    double preferredForwardBufferDuration() const { return loader_.preferredForwardBufferDuration(); }
    void setPreferredForwardBufferDuration(double seconds);
    const ItemLogs& logs() const { return logs_; }

    // ---- The player ----
    // Becomes `host`'s current item (loading starts the first time) / stops being it.
    void attach(std::weak_ptr<PlayerItemHost> host);
    void detach();
    // The player it is the current item of, if any.
    std::shared_ptr<PlayerItemHost> host() const { return host_.lock(); }
    bool isReady() const { return phase_ == Phase::ready; }
    bool isFailed() const { return phase_ == Phase::failed; }
    // Brings the playhead up to `now` (the player changes its rate next).
    void reanchor(dispatch::Nanoseconds now);
    // Brings the playhead up to `now` and fails the item when it played onto a media fault; true then.
    bool failIfFaultDue(dispatch::Nanoseconds now);
    // One look of the player: the playhead's state machine, then the buffer-empty flag.
    PlayheadStep step(float rate, bool pauseAtItemEnd, dispatch::Nanoseconds now);
    // Ready, with the media at the playhead loaded: a seek there is complete.
    bool isSettled() const;
    // A seek: the playhead jumps there (clamped into the seekable range) once the item is ready; before
    // that it is where the item starts.
    void seek(double seconds, dispatch::Nanoseconds now);
    // Asks for the segment the playhead wants next.
    void pump();

    // ---- Parts and changes, for the test hooks ----
    SegmentLoader& loader() { return loader_; }
    const ContentKeySession& keys() const { return keys_; }
    ItemLogs& logs() { return logs_; }
    double position() const;
    // The media changed where the player cannot see it: the player looks again.
    void mediaDidChange();

  private:
    enum class Phase { idle, loadingAsset, loadingPlaylist, requestingKeys, buffering, ready, failed };
    enum class Merge { merged, rejected, failed };

    explicit PlayerItemEngine(std::shared_ptr<AVAsset> asset);

    void startLoading();
    void assetDidLoad();
    void readFirstPlaylist(hls::MediaPlaylist playlist);
    Merge mergePlaylist(hls::MediaPlaylist playlist);
    // Retires the keys of a live item that neither the timeline nor the playlist (its keys `named`) uses.
    void retireKeysOutsideWindow(std::vector<KeyId> named);
    void beginBuffering();
    void becomeReady();
    void scheduleReload();
    void updateRanges();
    void updateBufferEmpty();
    double clampToSeekable(double seconds) const;
    std::string playlistAddress() const;
    void countWatched();
    void fail(foundation::Error error);
    void post(const foundation::Notification::Name& name, std::map<std::string, std::any> userInfo = {});

    // SegmentLoader::Delegate
    void loaderDidReadPlaylist(std::expected<hls::MediaPlaylist, foundation::Error> playlist, bool initial) override;
    void loaderDidLoadSegment() override;
    void loaderIsIdle() override;
    void loaderDidFail(foundation::Error error) override;
    bool loaderIsKeyAnswered(KeyId key) const override;
    // ContentKeySession::Delegate
    bool keySessionMayAsk() const override;
    void keySessionDidAnswer() override;
    void keySessionDidFail(foundation::Error error) override;

    std::shared_ptr<AVAsset> asset_;
    std::weak_ptr<AVPlayerItem> item_;
    std::weak_ptr<PlayerItemHost> host_;
    ItemProperties properties_;
    std::optional<foundation::Error> error_;
    Phase phase_ = Phase::idle;
    std::optional<hls::Variant> variant_;

    ItemLogs logs_;
    Playhead playhead_;
    SegmentLoader loader_;
    ContentKeySession keys_;
};

}  // namespace avfoundation::detail
