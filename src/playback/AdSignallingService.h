#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "playback/AdModels.h"
#include "playback/VideoPlayerProxyProtocols.h"

namespace lumora {

// Turns the playhead into the start and finish of titled ads. When the playhead enters an ad of a break,
// the whole break is queued with titles ("Ad 1 of 3", "Ad 2 of 3", ...; a lone ad is "Ad 1") and its first
// ad starts; each later check at or past the end of the ad being shown finishes it and starts the next.
// One check moves the queue by at most one ad. Main queue only.
class AdSignallingService final : public AdSignallingServiceInterface {
  public:
    // One queued ad: its position in its group and what to show.
    struct DisplayAd {
        int index = 0;
        AdDisplayInfo info;
        bool operator==(const DisplayAd&) const = default;
    };

    static std::shared_ptr<AdSignallingService> create();

    void check(double time, const AdGroups& adGroups, const StartCallback& startCallback,
               const FinishCallback& finishCallback) override;
    void reset() override;

    // The queue of the break being shown; the head is the ad on screen. Empty when no break is shown.
    const std::deque<DisplayAd>& currentDisplayAds() const { return currentDisplayAds_; }

  private:
    AdSignallingService() = default;

    static std::deque<DisplayAd> makeDisplayQueue(const std::vector<AdInfo>& group, const std::string& suffix);
    void startBreak(double time, const AdGroups& adGroups, const StartCallback& startCallback);
    void advanceBreak(double time, const AdGroups& adGroups, const StartCallback& startCallback,
                      const FinishCallback& finishCallback);

    std::deque<DisplayAd> currentDisplayAds_;
};

}  // namespace lumora
