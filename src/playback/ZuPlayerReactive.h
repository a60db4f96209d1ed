#pragma once

// The reactive faces of the player view, its media player and the media player's item (`player->rx()`,
// `reactive(avplayer)`, `reactive(item)`). Every face holds its object weakly: a stream subscribed after the
// object has gone completes at once without an element, and a running one completes when the object goes.

#include <memory>
#include <optional>
#include <vector>

#include "avfoundation/AVPlayer.h"
#include "avfoundation/AVPlayerItem.h"
#include "coremedia/CMTime.h"
#include "dispatch/DispatchQueue.h"
#include "foundation/URL.h"
#include "playback/ZuPlayer.h"
#include "playservice/StreamDRMSettings.h"
#include "rx/Cocoa.h"
#include "rx/Event.h"
#include "rx/Observable.h"

namespace lumora {

class AVPlayerItemReactive {
  public:
    explicit AVPlayerItemReactive(std::weak_ptr<avfoundation::AVPlayerItem> base) : base_(std::move(base)) {}

    // At once and at every status change: whether the item is ready with no end (a live broadcast); false
    // before it is ready. The duration is read at status changes only.
    rx::Observable<bool> isLiveBroadcast() const;
    // The buffered ranges at once and at every change, in order.
    rx::Observable<std::vector<coremedia::CMTimeRange>> loadedTimeRanges() const;
    // The end of the last seekable range, at once and at every change; nothing while there is no range (for
    // a live stream it moves on with the window).
    rx::Observable<coremedia::CMTime> duration() const;

  private:
    std::weak_ptr<avfoundation::AVPlayerItem> base_;
};

class AVPlayerReactive {
  public:
    explicit AVPlayerReactive(std::weak_ptr<avfoundation::AVPlayer> base) : base_(std::move(base)) {}

    // The current item at once and at every replacement (nullptr for none).
    rx::Observable<std::shared_ptr<avfoundation::AVPlayerItem>> currentItem() const;
    // The playhead as the player's periodic time observer reports it, on `queue` (the main queue when null).
    // Each subscription installs one observer; disposing removes exactly that one.
    rx::Observable<coremedia::CMTime> addPeriodicTimeObserver(coremedia::CMTime forInterval,
                                                              dispatch::DispatchQueue* queue = nullptr) const;

  private:
    std::weak_ptr<avfoundation::AVPlayer> base_;
};

inline AVPlayerItemReactive reactive(const std::shared_ptr<avfoundation::AVPlayerItem>& item) {
    return AVPlayerItemReactive(item);
}
inline AVPlayerReactive reactive(const std::shared_ptr<avfoundation::AVPlayer>& player) {
    return AVPlayerReactive(player);
}

class ZuPlayerReactive {
  public:
    explicit ZuPlayerReactive(std::weak_ptr<ZuPlayer> base) : base_(std::move(base)) {}

    // The published rate (delivered on a later turn of the main loop); binding a value sets the rate of the
    // media player the player had when the property was made, on the main thread.
    rx::ControlProperty<float> rate() const;
    // Loads the stream: one element and completion on success, only the error on failure. Disposing does not
    // cancel the load.
    rx::Observable<rx::Unit> load(foundation::URL url, std::optional<StreamDRMSettings> drm) const;
    // The published values at once and at every change, each delivered on a later turn of the main loop.
    rx::Observable<coremedia::CMTime> currentTime() const;
    rx::Observable<coremedia::CMTime> duration() const;
    rx::Observable<coremedia::CMTime> durationWithouAds() const;
    rx::Observable<ZuPlayer::LoadedTimeRanges> loadedTimeRanges() const;
    // These two arrive synchronously, on the thread that changed them.
    rx::Observable<ZuPlayer::TimeControlStatus> timeControlStatus() const;
    rx::Observable<bool> isPlaybackBufferEmpty() const;

  private:
    std::weak_ptr<ZuPlayer> base_;
};

}  // namespace lumora
