#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "avfoundation/AVPlayerItem.h"
#include "avfoundation/detail/PlayerItemHost.h"
#include "coremedia/CMTime.h"
#include "dispatch/DispatchQueue.h"
#include "dispatch/RunLoop.h"
#include "foundation/KeyValueObserving.h"

namespace avfoundation {

// The media player: plays its current item on the one clock (dispatch::Clock). Main thread only, except
// that reading the observable properties is safe from any thread.
//
// The playhead: while the rate is above 0, the current item is ready and the media at the playhead is
// loaded, the current time advances by rate × elapsed clock time (`timeControlStatus` playing). It stops
// where the loaded media ends (a stall: `isPlaybackBufferEmpty` true, `timeControlStatus`
// waitingToPlayAtSpecifiedRate, AVPlayerItemPlaybackStalledNotification) and goes on once the next
// segment has arrived. At the end of a video on demand it stops, the rate becomes 0 (with
// `actionAtItemEnd` pause, the default) and AVPlayerItemDidPlayToEndTimeNotification is posted. A live
// item played faster than real time (rate above 1) that catches up with the end of its window posts the
// same notification once and waits there at its rate; at rate 1 or below it simply waits for the next
// segment. A rate that is NaN or negative (reverse play is not simulated) holds the playhead: waiting.
//
// Seeks move the playhead at once; the completion runs on a later turn of the main queue once the
// media at the target is loaded (true), or with false when a newer seek, a new item or a failure
// interrupts it, or when there is no item or the target is not a numeric time. The target is clamped
// into the seekable range; tolerances are accepted and not needed (every seek is exact). A seek made
// before the item is ready becomes its start position.
class AVPlayer : public foundation::KVOObservable,
                 public std::enable_shared_from_this<AVPlayer>,
                 private detail::PlayerItemHost {
  public:
    enum class TimeControlStatus { paused = 0, waitingToPlayAtSpecifiedRate = 1, playing = 2 };
    enum class ActionAtItemEnd { advance = 0, pause = 1, none = 2 };
    using TimeObserverBlock = std::function<void(coremedia::CMTime)>;

    static std::shared_ptr<AVPlayer> create(std::shared_ptr<AVPlayerItem> playerItem = nullptr);
    static std::shared_ptr<AVPlayer> create(foundation::URL url);
    ~AVPlayer() override;

    // Observable properties; also observable by name ("rate", "isMuted", "volume", "timeControlStatus",
    // "currentItem"). The observers of `rate` are told inside `setRate`, before the player acts on it.
    float rate() const { return rate_.value(); }
    void setRate(float rate);
    const foundation::KVOProperty<float>& rateProperty() const { return rate_; }
    bool isMuted() const { return isMuted_.value(); }
    void setIsMuted(bool muted) { isMuted_.set(muted); }
    const foundation::KVOProperty<bool>& isMutedProperty() const { return isMuted_; }
    float volume() const { return volume_.value(); }
    void setVolume(float volume);
    const foundation::KVOProperty<float>& volumeProperty() const { return volume_; }
    TimeControlStatus timeControlStatus() const { return timeControlStatus_.value(); }
    const foundation::KVOProperty<TimeControlStatus>& timeControlStatusProperty() const { return timeControlStatus_; }
    std::shared_ptr<AVPlayerItem> currentItem() const { return currentItem_.value(); }
    const foundation::KVOProperty<std::shared_ptr<AVPlayerItem>>& currentItemProperty() const { return currentItem_; }

    // Puts `item` in place of the current one (nothing: no item). An item that is another player's
    // current item is refused (returns false, nothing changes).
    bool replaceCurrentItem(std::shared_ptr<AVPlayerItem> item);

    // Rate 1 / rate 0.
    void play();
    void pause();

    ActionAtItemEnd actionAtItemEnd() const { return actionAtItemEnd_; }
    void setActionAtItemEnd(ActionAtItemEnd action) { actionAtItemEnd_ = action; }

    // The current item's playhead; the zero time without an item.
    coremedia::CMTime currentTime() const;

    void seek(coremedia::CMTime to, coremedia::CMTime toleranceBefore, coremedia::CMTime toleranceAfter,
              std::function<void(bool)> completion);
    void seek(coremedia::CMTime to, std::function<void(bool)> completion = nullptr);

    // Calls `block` with the current time every `interval` of media time while the playhead moves, on
    // `queue` (the main queue when null), and once whenever the playhead starts or stops moving or a
    // seek completes. Returns the observer's token for `removeTimeObserver`; an interval that is not a
    // positive numeric time gives an empty token and no observer. `queue` must outlive the observer.
    std::any addPeriodicTimeObserver(coremedia::CMTime interval, dispatch::DispatchQueue* queue,
                                     TimeObserverBlock block);
    // Stops the observer of `observer` (a token of this player): its block is not called again, also not
    // for a call already on its way to another queue. Unknown or removed tokens do nothing.
    void removeTimeObserver(const std::any& observer);
    // Observers in force (for tests and diagnostics).
    std::size_t timeObserverCount() const { return timeObservers_.size(); }

  private:
    struct TimeObserver;
    struct PendingSeek {
        std::uint64_t id = 0;
        std::function<void(bool)> completion;
    };

    AVPlayer();
    dispatch::Nanoseconds now() const;
    void update();
    void updateOnce();
    // detail::PlayerItemHost: what the current item tells its player.
    void itemDidChange() override;
    void itemDidFail() override;
    void finishPendingSeek(bool finished);
    void rearmTimeObservers(bool report);
    void armTimeObserver(const std::shared_ptr<TimeObserver>& observer, dispatch::Nanoseconds from);
    void deliver(const std::shared_ptr<TimeObserver>& observer);

    foundation::KVOProperty<float> rate_{0.0f};
    foundation::KVOProperty<bool> isMuted_{false};
    foundation::KVOProperty<float> volume_{1.0f};
    foundation::KVOProperty<TimeControlStatus> timeControlStatus_{TimeControlStatus::paused};
    foundation::KVOProperty<std::shared_ptr<AVPlayerItem>> currentItem_;
    ActionAtItemEnd actionAtItemEnd_ = ActionAtItemEnd::pause;

    std::optional<PendingSeek> pendingSeek_;
    std::uint64_t nextSeekId_ = 1;
    dispatch::RunLoop::TimerId engineTimer_ = 0;
    bool updating_ = false;
    bool updateAgain_ = false;
    double lastMovingRate_ = 0;

    std::vector<std::shared_ptr<TimeObserver>> timeObservers_;
    std::uint64_t nextObserverId_ = 1;
};

}  // namespace avfoundation
