#pragma once

#include <any>
#include <memory>
#include <vector>

#include "combine/Combine.h"
#include "coremedia/CMTime.h"
#include "playback/AdModels.h"
#include "playback/PlayerInterface.h"
#include "playback/VideoPlayerProxyProtocols.h"

namespace lumora {

// Holds the host's ad groups, converts times between the stream timeline (ads counted) and the content
// timeline (ads cut out), and watches the media player's playhead ten times a second to turn ad
// boundaries into `AdEvent`s through its signalling service.
//
// Ads whose span cannot be formed (a NaN or infinite start, or a NaN, infinite or negative duration) are
// dropped when the groups are stored, so the conversions and the signalling see the same valid list.
// Every calculation is a linear walk over the flattened ads. Main queue only; no locking.
class VideoPlayerProxy final : public VideoPlayerProxyInterface, public std::enable_shared_from_this<VideoPlayerProxy> {
  public:
    static std::shared_ptr<VideoPlayerProxy> create(std::shared_ptr<AdSignallingServiceInterface> adSignallingService);
    // Removes the periodic observer from the player, if one is installed.
    ~VideoPlayerProxy() override;

    VideoPlayerProxy(const VideoPlayerProxy&) = delete;
    VideoPlayerProxy& operator=(const VideoPlayerProxy&) = delete;

    // VideoPlayerProxyInput
    // Replaces the ad groups (dropping ads without a valid span) and resets the signalling service:
    // whatever ad was being shown is dropped without a finish event.
    void update(AdGroups adGroups) override;
    // Replaces the observed player: removes the current periodic observer, then installs one every 0.1 s
    // on the main queue. At most one observer is installed at a time; setting the same player again
    // replaces its observer.
    void set(std::shared_ptr<PlayerInterface> player) override;

    // VideoPlayerProxyEventSendable: every publisher delivers the events of the one subject.
    combine::AnyPublisher<AdEvent> adEventsPublisher() const override;

    // VideoPlayerProxyCalculations
    double currentTimeWithoutAds(double playheadTime) const override;
    double durationWithoutAds(double duration) const override;
    double currentTimeWithAds(double time) const override;
    std::vector<coremedia::CMTimeRange> loadedTimeRangesWithoutAds(
        const std::vector<coremedia::CMTimeRange>& timeRanges) const override;
    coremedia::CMTimeRange timeRangeForAdAt(double time) const override;

    const std::shared_ptr<PlayerInterface>& player() const { return player_; }
    const std::shared_ptr<AdSignallingServiceInterface>& adSignallingService() const { return adSignallingService_; }
    // The stored (valid) ad groups, and the same ads flattened group after group.
    const AdGroups& adGroups() const { return *adGroups_; }
    const std::vector<AdInfo>& ads() const { return ads_; }

  private:
    explicit VideoPlayerProxy(std::shared_ptr<AdSignallingServiceInterface> adSignallingService);

    void removeTimeObserver();
    void tick(coremedia::CMTime time);
    // The first ad, in order, whose span contains `time`.
    const AdInfo* adContaining(double time) const;

    std::shared_ptr<PlayerInterface> player_;
    std::shared_ptr<AdSignallingServiceInterface> adSignallingService_;
    combine::PassthroughSubject<AdEvent> adEventSubject_;
    std::any timeObserverToken_;
    // Shared and never changed in place, so a tick keeps reading the groups it started with even if an
    // event subscriber replaces them meanwhile.
    std::shared_ptr<const AdGroups> adGroups_;
    std::vector<AdInfo> ads_;
};

}  // namespace lumora
