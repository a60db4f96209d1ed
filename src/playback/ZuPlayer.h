#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "avfoundation/AVMediaSelection.h"
#include "avfoundation/AVPlayer.h"
#include "casting/CastManager.h"
#include "combine/Combine.h"
#include "coremedia/CMTime.h"
#include "foundation/Bundle.h"
#include "foundation/Date.h"
#include "foundation/DateFormatter.h"
#include "foundation/Error.h"
#include "foundation/KeyValueObserving.h"
#include "foundation/NotificationCenter.h"
#include "foundation/URL.h"
#include "kitfoundation/KitBundle.h"
#include "playback/AdModels.h"
#include "playback/CMTimeRangeWrapper.h"
#include "playback/DRMAssetResourceLoader.h"
#include "playback/VideoPlayerProxyProtocols.h"
#include "playback/ZuPlayerDelegate.h"
#include "playback/ZuPlayerTypes.h"
#include "playback/ZuVideoView.h"
#include "playservice/StreamDRMSettings.h"
#include "rx/Disposables.h"
#include "ui/AssetGraph.h"
#include "ui/ZuIdleTimer.h"
#include "ui/ZuPageView.h"
#include "ui/ZuPlayerMetrics.h"
#include "ui/ZuPlayerStyle.h"
#include "uikit/UIGestureRecognizer.h"
#include "uikit/UIView.h"

namespace lumora {

class ZuPlayerReactive;

// The kit's player view: it owns a `ZuVideoView` (and through it the media player), loads clear and FairPlay
// streams, plays, pauses, seeks, jumps, changes rate, survives the background, reloads, selects captions, and
// publishes its state for the controls laid over it on its control page.
//
// Published state: ten properties observable by name ("timeControlStatus", "isPlaybackBufferEmpty", "rate",
// "currentTime", "currentTimeWithoutAds", "duration", "durationWithoutAds", "DVRStartTime",
// "loadedTimeRanges", "isFullScreen"; and "avplayer") and by key path (`observeValue(player,
// &ZuPlayer::currentTimeProperty, …)`), always written through their setters so observers are told. While
// the view is in a view hierarchy, a 0.1 s periodic observer and six observations of the media player keep
// them in step; times are stream times (ads counted) unless named "WithoutAds". No published time is ever
// NaN or negative where the player derives it (the "WithoutAds" times; zero instead).
//
// Seeks: each seek gets a generation. A seek interrupted by a newer one still completes (finished false,
// its delegate bracket closed), but only the newest seek clears `pendingSeekTime` and its fallback.
//
// Background: on resign-active the player remembers when, whether it was muted and playing, and pauses; on
// become-active it reloads a protected stream whose keys are due, drops the item after
// `metrics().backgroundThreshold` seconds away (the delegate reloads), or resumes. While a cast device is connected it
// leaves playback alone.
//
// Main thread only. Delegates are held weakly; the cast manager strongly.
class ZuPlayer : public uikit::UIView, public foundation::KVOObservable, public ZuPageViewDelegate {
  public:
    using LoadCompletion = std::function<void(ZuPlayer& player, std::optional<foundation::Error> error)>;
    using SeekCompletion = std::function<void(bool finished)>;
    using LoadedTimeRanges = std::vector<std::shared_ptr<CMTimeRangeWrapper>>;
    using TimeControlStatus = avfoundation::AVPlayer::TimeControlStatus;

    using Metrics = ZuPlayerMetrics;
    using Style = ZuPlayerStyle;

    // The live metrics of the player's views (`backgroundThreshold`: seconds away after which the item is
    // dropped) and the live style of its controls, shared by every player; modifiable in place.
    static Metrics& metrics() { return Metrics::shared(); }
    static void setMetrics(Metrics metrics) { Metrics::setShared(std::move(metrics)); }
    static Style& style() { return Style::shared(); }
    static void setStyle(Style style) { Style::setShared(std::move(style)); }
    // The live icon catalogue the controls read each time they set an image; modifiable in place.
    static AssetGraph& assets() { return AssetGraph::shared(); }
    static void setAssets(AssetGraph assets) { AssetGraph::setShared(std::move(assets)); }
    // The kit's resource bundle (icons, artwork, fonts, version), found once.
    static const foundation::Bundle& bundle() { return KitBundle::shared(); }

    // The only way to make a player: its controls hide after `idleTimerInterval` seconds without use, and
    // `playerProxy` converts ad times and signals ads (it is handed the media player to watch).
    static std::shared_ptr<ZuPlayer> create(double idleTimerInterval,
                                            std::shared_ptr<VideoPlayerProxyInterface> playerProxy);
    ~ZuPlayer() override;

    // ---- Collaborators ----------------------------------------------------------------------------
    std::shared_ptr<ZuPlayerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<ZuPlayerDelegate> delegate) { delegate_ = std::move(delegate); }
    std::shared_ptr<ZuPlayerAdDelegate> adDelegate() const { return adDelegate_.lock(); }
    void setAdDelegate(std::weak_ptr<ZuPlayerAdDelegate> delegate) { adDelegate_ = std::move(delegate); }
    // Consulted when seeking, on application state changes and by the controls' auto-hide.
    const std::shared_ptr<CastManager>& castManager() const { return castManager_; }
    void setCastManager(std::shared_ptr<CastManager> manager) { castManager_ = std::move(manager); }
    // Receives the control page events the player passes on.
    std::shared_ptr<ZuPageViewDelegate> controlPageDelegate() const { return controlPageDelegate_.lock(); }
    void setControlPageDelegate(std::weak_ptr<ZuPageViewDelegate> delegate) {
        controlPageDelegate_ = std::move(delegate);
    }
    // Also the control page view's data source.
    std::shared_ptr<ZuPageViewDataSource> controlPageDataSource() const { return controlPageDataSource_.lock(); }
    void setControlPageDataSource(std::weak_ptr<ZuPageViewDataSource> dataSource);

    // ---- Published state ----------------------------------------------------------------------------
    // The media player's status.
    TimeControlStatus timeControlStatus() const { return timeControlStatus_.value(); }
    void setTimeControlStatus(TimeControlStatus status) { timeControlStatus_.set(status); }
    const foundation::KVOProperty<TimeControlStatus>& timeControlStatusProperty() const { return timeControlStatus_; }
    // The current item's flag (true with no item).
    bool isPlaybackBufferEmpty() const { return isPlaybackBufferEmpty_.value(); }
    void setIsPlaybackBufferEmpty(bool empty) { isPlaybackBufferEmpty_.set(empty); }
    const foundation::KVOProperty<bool>& isPlaybackBufferEmptyProperty() const { return isPlaybackBufferEmpty_; }
    // The media player's rate.
    float rate() const { return rate_.value(); }
    void setRate(float rate) { rate_.set(rate); }
    const foundation::KVOProperty<float>& rateProperty() const { return rate_; }
    // The playhead (stream time). Setting it also sets `currentTimeWithoutAds` from the proxy.
    coremedia::CMTime currentTime() const { return currentTime_.value(); }
    void setCurrentTime(coremedia::CMTime time);
    const foundation::KVOProperty<coremedia::CMTime>& currentTimeProperty() const { return currentTime_; }
    // The playhead in content time; a time that is not valid or not a number (or negative) is published as zero.
    coremedia::CMTime currentTimeWithoutAds() const { return currentTimeWithoutAds_.value(); }
    void setCurrentTimeWithoutAds(coremedia::CMTime time);
    const foundation::KVOProperty<coremedia::CMTime>& currentTimeWithoutAdsProperty() const {
        return currentTimeWithoutAds_;
    }
    // The end of the current item's last seekable range. Setting it also updates `durationWithoutAds`.
    coremedia::CMTime duration() const { return duration_.value(); }
    void setDuration(coremedia::CMTime time);
    const foundation::KVOProperty<coremedia::CMTime>& durationProperty() const { return duration_; }
    // `duration` less every ad, never below zero.
    coremedia::CMTime durationWithoutAds() const { return durationWithoutAds_.value(); }
    void setDurationWithoutAds(coremedia::CMTime time);
    const foundation::KVOProperty<coremedia::CMTime>& durationWithoutAdsProperty() const { return durationWithoutAds_; }
    // The start of the last seekable range: where a live window begins.
    coremedia::CMTime DVRStartTime() const { return DVRStartTime_.value(); }
    void setDVRStartTime(coremedia::CMTime time) { DVRStartTime_.set(time); }
    const foundation::KVOProperty<coremedia::CMTime>& DVRStartTimeProperty() const { return DVRStartTime_; }
    // The current item's buffered ranges (stream time).
    LoadedTimeRanges loadedTimeRanges() const { return loadedTimeRanges_.value(); }
    void setLoadedTimeRanges(LoadedTimeRanges ranges) { loadedTimeRanges_.set(std::move(ranges)); }
    const foundation::KVOProperty<LoadedTimeRanges>& loadedTimeRangesProperty() const { return loadedTimeRanges_; }
    // Chosen by the host; the player only stores it, the controls show it.
    bool isFullScreen() const { return isFullScreen_.value(); }
    void setIsFullScreen(bool fullScreen) { isFullScreen_.set(fullScreen); }
    const foundation::KVOProperty<bool>& isFullScreenProperty() const { return isFullScreen_; }

    // ---- Other state --------------------------------------------------------------------------------
    // The last playhead above zero that the periodic observer reported.
    std::optional<coremedia::CMTime> previousNonZeroPlayheadTime() const { return previousNonZeroPlayheadTime_; }
    const std::shared_ptr<VideoPlayerProxyInterface>& playerProxy() const { return playerProxy_; }
    // The target of the newest seek in flight.
    std::optional<coremedia::CMTime> pendingSeekTime() const { return pendingSeekTime_; }
    bool hasPendingSeek() const { return pendingSeekTime_.has_value(); }
    // True while the newest seek waits for the item to become ready as well as for the media player.
    bool hasSeekFallbackObservation() const { return seekFallbackObservation_.has_value(); }
    const std::shared_ptr<ZuVideoView>& videoView() const { return videoView_; }
    // The speed last chosen with `changeVideoRate`; applied when playback starts.
    float playbackSpeed() const { return playbackSpeed_; }
    const std::shared_ptr<ZuPageView>& controlPageView() const { return controlPageView_; }
    const std::shared_ptr<ZuIdleTimer>& idleTimer() const { return idleTimer_; }
    // Whether the periodic observer and the six observations are installed (in a view hierarchy).
    bool isObservingPlayer() const { return observers_.has_value(); }
    bool autoplayWhenActive() const { return autoplayWhenActive_; }
    bool wasMutedWhenDidResignActive() const { return wasMutedWhenDidResignActive_; }
    // The FairPlay loader of the current protected stream; nothing for a clear one.
    const std::shared_ptr<DRMAssetResourceLoader>& assetResourceLoader() const { return assetResourceLoader_; }
    std::optional<foundation::Date> didResignActiveDate() const { return didResignActiveDate_; }
    const std::shared_ptr<uikit::UITapGestureRecognizer>& playbackPressRecognizer() const {
        return playbackPressRecognizer_;
    }

    // ---- Computed -----------------------------------------------------------------------------------
    const std::shared_ptr<avfoundation::AVPlayer>& avplayer() const { return videoView_->player(); }
    bool isPlaying() const { return avplayer()->rate() != 0; }
    bool isMuted() const { return avplayer()->isMuted(); }
    void setIsMuted(bool muted) { avplayer()->setIsMuted(muted); }
    // A current item that is ready to play and has no end.
    bool isLive() const { return videoView_->isLive(); }
    // The control page's shown page.
    std::shared_ptr<uikit::UIView> controlView() const { return controlPageView_->page(); }
    std::shared_ptr<ZuVideoView> videoRenderView() const { return videoView_; }
    std::vector<std::shared_ptr<uikit::UIFocusEnvironment>> preferredFocusEnvironments() const override;

    // ---- Ads ----------------------------------------------------------------------------------------
    // Hands the groups to the proxy and updates `durationWithoutAds`.
    void update(AdGroups adGroups);
    // Seconds left in the ad that contains `time` (stream seconds); 0 outside every ad.
    double timeRemainingForAdAt(double time) const;
    void updateDurationWithoutAds();

    // ---- Control page -------------------------------------------------------------------------------
    // Starts the idle countdown when it is not running.
    void presentControlsIfPossible();
    void scheduleTimer();
    void dismissControls();
    void showControlsIfNeeded();
    // ZuPageViewDelegate, answered for the control page view.
    void pageViewWillPresentView(ZuPageView& pageView, const std::shared_ptr<uikit::UIView>& view) override;
    void pageViewDidPresentView(ZuPageView& pageView, const std::shared_ptr<uikit::UIView>& view) override;
    void pageViewWillDismissView(ZuPageView& pageView, const std::shared_ptr<uikit::UIView>& view) override;
    void dismissPageView(ZuPageView& pageView) override;
    // A relative jump of `to` seconds, as `jump(seconds:)`.
    void didSkip(double to) override;

    // ---- Loading and playback control ---------------------------------------------------------------
    // Loads `url` into the media player, with a new FairPlay loader when `drm` is given. The load changes
    // the player only when it succeeds: then its item, its loader (a clear load drops the previous stream's)
    // and the end and failure notifications of its item replace the previous stream's. A failed load leaves
    // the stream in the player as it was, loader included; its error reaches only the completion. Only the
    // latest load may change the player: an earlier one still in flight installs nothing and completes with
    // a cancelled error (NSURLErrorDomain -999). `completion` runs on the main queue, unless the player is
    // gone by then.
    void load(const foundation::URL& url, std::optional<StreamDRMSettings> drm, LoadCompletion completion = nullptr);
    // Only from a paused player (rate exactly 0): reports `.play`, plays at `playbackSpeed` (1 when that is not
    // a positive number) and mutes when asked (never unmutes).
    void play(bool muted);
    // Pauses and reports `.pause`; a paused player only when forced.
    void pause(bool force);
    // Pause when playing (a rate that is not a number counts as playing), else play unmuted; then tells the
    // delegate.
    void togglePlayback();
    // Remembers `speed` for the next start; while playing, also applies it (1 for a speed that is not one of
    // `VideoPlaybackSpeed`).
    void changeVideoRate(float speed);
    // Whether a faster-than-normal rate should drop back to normal: near a live edge, or when the caller knows
    // the stream is live.
    bool shouldResetPlaybackRateToNormal(bool isDefinitelyLive) const;
    // Drops the current item.
    void resetPlayerItem();

    // ---- Seeking ------------------------------------------------------------------------------------
    // Moves the playhead exactly to `to` seconds (content time unless `isWithAds`). A target that is not a valid
    // time is ignored: no seek, no delegate call, no completion. While a cast device is connected its Chromecast
    // plug-in is sent the absolute target too. With `reportToDelegate` the seek is bracketed by
    // `playerDidBeginMediaSeek` and `playerDidCompleteMediaSeek`. `completion` gets whether the seek finished.
    void seek(double to, bool isWithAds, bool reportToDelegate, SeekCompletion completion = nullptr);
    // Moves by `seconds` of content time (negative: back), stepping over the ads passed.
    void jump(double seconds);
    // The stream-time target of a jump of `jumpSeconds` from `currentPlayerTime`.
    double calculateSeekPositionWithAds(double currentPlayerTime, double jumpSeconds) const;
    // True for a position within 10 s of (or beyond) the live edge of a live item that is ready.
    bool isPlaybackLive(double on) const;

    // ---- Observers, background and reload -----------------------------------------------------------
    void didMoveToSuperview() override;
    // Loads the current stream again (new keys for a protected one) and seeks to `from`; then plays when
    // asked. Ignored without a current item from a URL.
    void reloadCurrentStream(coremedia::CMTime from, bool muted, bool playWhenReady);

    // ---- Captions and subtitles ---------------------------------------------------------------------
    // The current item's text tracks, in order; nothing without an item or text tracks.
    std::optional<avfoundation::AVMediaSelectionGroup::Options> captionsAndSubtitles() const;
    // The track shown now; nothing when captions are off (or there are none).
    std::shared_ptr<avfoundation::AVMediaSelectionOption> selectedCaptionAndSubtitle() const;
    // Shows the first track matching `locale`; nothing changes for no locale or no match.
    void setCaptionAndSubtitle(const std::optional<foundation::Locale>& to);
    void turnOffCaptionAndSubtitles();
    // Hands the choice back to the media player's own rule.
    void setCaptionAndSubtitleToAutomatic();

    // ---- Reactive -----------------------------------------------------------------------------------
    // The player's streams (declared in playback/ZuPlayerReactive.h); they hold the player weakly.
    ZuPlayerReactive rx();

  protected:
    explicit ZuPlayer(double idleTimerInterval, std::shared_ptr<VideoPlayerProxyInterface> playerProxy);

  private:
    struct SeekState;

    void setUp();
    void setUpAutoHide();
    void setUpApplicationNotifications();
    void setUpPlaybackPress();
    void reportLoaderFailures();
    void registerItemObservers();
    void removeItemObservers();
    void finishSeek(const std::shared_ptr<SeekState>& seek, bool finished);
    void installObservers();
    void removeObservers();
    void playerItemDidPlayToEnd();
    void playerItemDidFailToPlayToEnd(const foundation::Notification& notification);
    void applicationWillResignActive();
    void applicationDidBecomeActive();
    double backgroundThreshold() const;
    std::shared_ptr<avfoundation::AVMediaSelectionGroup> legibleGroup() const;

    template <class F>
    void tellDelegate(F&& call) {
        if (auto d = delegate()) call(*d);
    }

    std::weak_ptr<ZuPlayerDelegate> delegate_;
    std::weak_ptr<ZuPlayerAdDelegate> adDelegate_;
    std::shared_ptr<CastManager> castManager_;
    foundation::KVOProperty<TimeControlStatus> timeControlStatus_{TimeControlStatus::paused};
    foundation::KVOProperty<bool> isPlaybackBufferEmpty_{true};
    foundation::KVOProperty<float> rate_{0.0f};
    foundation::KVOProperty<coremedia::CMTime> currentTime_{coremedia::kCMTimeZero};
    foundation::KVOProperty<coremedia::CMTime> currentTimeWithoutAds_{coremedia::kCMTimeZero};
    foundation::KVOProperty<coremedia::CMTime> duration_{coremedia::kCMTimeZero};
    foundation::KVOProperty<coremedia::CMTime> durationWithoutAds_{coremedia::kCMTimeZero};
    foundation::KVOProperty<coremedia::CMTime> DVRStartTime_{coremedia::kCMTimeZero};
    std::optional<coremedia::CMTime> previousNonZeroPlayheadTime_;
    foundation::KVOProperty<LoadedTimeRanges> loadedTimeRanges_{LoadedTimeRanges{CMTimeRangeWrapper::zero()}};
    std::shared_ptr<VideoPlayerProxyInterface> playerProxy_;
    foundation::KVOProperty<bool> isFullScreen_{false};
    std::optional<coremedia::CMTime> pendingSeekTime_;
    std::optional<foundation::NSKeyValueObservation> seekFallbackObservation_;
    std::weak_ptr<ZuPageViewDelegate> controlPageDelegate_;
    std::weak_ptr<ZuPageViewDataSource> controlPageDataSource_;
    std::shared_ptr<ZuVideoView> videoView_;
    float playbackSpeed_ = 1.0f;
    std::shared_ptr<ZuPageView> controlPageView_;
    std::shared_ptr<ZuIdleTimer> idleTimer_;
    std::any timeObserverToken_;
    std::shared_ptr<foundation::NotificationObserverToken> finishPlaybackToken_;
    std::shared_ptr<foundation::NotificationObserverToken> playerStatusObserver_;
    std::optional<std::vector<foundation::NSKeyValueObservation>> observers_;
    bool autoplayWhenActive_ = false;
    bool wasMutedWhenDidResignActive_ = false;
    std::shared_ptr<DRMAssetResourceLoader> assetResourceLoader_;
    std::optional<foundation::Date> didResignActiveDate_;
    std::set<combine::AnyCancellable> cancellables_;
    std::shared_ptr<uikit::UITapGestureRecognizer> playbackPressRecognizer_;
    foundation::KVOProperty<std::shared_ptr<avfoundation::AVPlayer>> avplayerKey_;  // "avplayer", never changes
    // The generation of the newest seek; a seek finishing with another generation leaves the newest alone.
    std::uint64_t seekGeneration_ = 0;
    // The subscription to the current loader's failures (replaced by every successful load).
    rx::SerialDisposable loaderStateSubscription_;
    // The number of the latest load; a load completing with another number was overtaken.
    std::uint64_t loadGeneration_ = 0;
    rx::DisposeBag disposeBag_;
};

}  // namespace lumora
