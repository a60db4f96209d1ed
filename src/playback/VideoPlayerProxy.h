#pragma once

#include <any>
#include <cstdint>
#include <memory>
#include <optional>
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
// Ads it cannot trust are ignored, each with a log line: those whose span cannot be formed or does not lie on the
// stream (a start that is negative or not finite, a duration that is negative or not finite) when the groups are
// stored, and, while the player knows the stream's length (`PlayerInterface::streamDuration`), those that end
// more than a second past it. An ad list from a hostile source then cannot make the whole programme an ad. The
// conversions and the signalling see the same list: the ads stored, checked again whenever the stream's length
// known differs from the one they were last checked against. Every calculation is a linear walk over the
// flattened ads. Main queue only; no locking.
class VideoPlayerProxy final : public VideoPlayerProxyInterface, public std::enable_shared_from_this<VideoPlayerProxy> {
  public:
    static std::shared_ptr<VideoPlayerProxy> create(std::shared_ptr<AdSignallingServiceInterface> adSignallingService);
    // Removes the periodic observer from the player, if one is installed.
    ~VideoPlayerProxy() override;

    VideoPlayerProxy(const VideoPlayerProxy&) = delete;
    VideoPlayerProxy& operator=(const VideoPlayerProxy&) = delete;

    // VideoPlayerProxyInput
    // Replaces the ad groups (ignoring the ads it cannot trust) and resets the signalling service: whatever ad
    // was being shown is dropped without a finish event. So does a change of the ads in use when the stream's
    // length becomes known (or changes).
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
    // The ad groups in use (without the ads ignored), and the same ads flattened group after group.
    const AdGroups& adGroups() const;
    const std::vector<AdInfo>& ads() const;

    // Ads that end more than this many seconds past the stream's known length lie outside it.
    static constexpr double streamEndTolerance = 1.0;

  private:
    explicit VideoPlayerProxy(std::shared_ptr<AdSignallingServiceInterface> adSignallingService);

    void removeTimeObserver();
    void tick(coremedia::CMTime time);
    // The first ad, in order, whose span contains `time`.
    const AdInfo* adContaining(double time) const;
    // The ads in use checked again when the stream's length known differs from the one they were checked
    // against; a change counts in `adsVersion_`.
    void refresh() const;

    std::shared_ptr<PlayerInterface> player_;
    std::shared_ptr<AdSignallingServiceInterface> adSignallingService_;
    combine::PassthroughSubject<AdEvent> adEventSubject_;
    std::any timeObserverToken_;
    AdGroups stored_;  // the host's groups without the ads that can never be trusted
    // The groups in use: `stored_` without the ads outside the stream. Shared and never changed in place, so a
    // tick keeps reading the groups it started with even if an event subscriber replaces them meanwhile.
    // Worked out again (in const calculations too) when the stream's length known changes.
    mutable std::shared_ptr<const AdGroups> adGroups_;
    mutable std::vector<AdInfo> ads_;
    mutable std::optional<double> checkedAgainst_;  // the stream's length `adGroups_` was checked against
    // Counts the changes of `adGroups_`; the service has been reset for `signalledVersion_`. Whichever
    // calculation notices a change first, the next tick still resets the service for it.
    mutable std::uint64_t adsVersion_ = 0;
    std::uint64_t signalledVersion_ = 0;
};

}  // namespace lumora
