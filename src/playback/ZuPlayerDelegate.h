#pragma once

#include "avfoundation/AVPlayerItem.h"
#include "playback/AdModels.h"
#include "playback/ZuPlayerTypes.h"

namespace lumora {

class ZuPlayer;

// Told what happens to a player, on the main thread; held weakly. Every requirement but the two seek
// brackets does nothing by default.
class ZuPlayerDelegate {
  public:
    virtual ~ZuPlayerDelegate() = default;

    // A control asked for related content.
    virtual void presentRelatedContent(ZuPlayer& player) { (void)player; }
    // The item played to its end (and the player did not step back from a live edge instead).
    virtual void playerDidPlayToEndTime(ZuPlayer& player) { (void)player; }
    // The media player's rate changed.
    virtual void playerRateDidChange(ZuPlayer& player) { (void)player; }
    // A reload of the current stream begins.
    virtual void playerWillReloadStream(ZuPlayer& player) { (void)player; }
    // The player dropped its item after a long time in the background; loading the stream again is the
    // delegate's decision.
    virtual void playerWillForceReloadStream(ZuPlayer& player) { (void)player; }
    // A reload finished its seek.
    virtual void playerDidReloadStream(ZuPlayer& player) { (void)player; }
    // The play/pause press or `togglePlayback()` toggled playback.
    virtual void playerDidTogglePlayback(ZuPlayer& player) { (void)player; }
    // The current item's status changed, or it failed to play to its end (status failed).
    virtual void playerDidChangeStatus(ZuPlayer& player, avfoundation::AVPlayerItem::Status status,
                                       const std::shared_ptr<avfoundation::AVPlayerItem>& of) {
        (void)player;
        (void)status;
        (void)of;
    }
    virtual void playerDidProduceEvent(ZuPlayer& player, const ZuPlayerEvent& event) {
        (void)player;
        (void)event;
    }
    virtual void playerDidProduceError(ZuPlayer& player, const ZuPlayerError& error) {
        (void)player;
        (void)error;
    }
    // A seek that reports to the delegate starts; every one is closed by exactly one completion.
    virtual void playerDidBeginMediaSeek(ZuPlayer& player) = 0;
    virtual void playerDidCompleteMediaSeek(ZuPlayer& player) = 0;
    // A control's full-screen button was pressed; the player's `isFullScreen` is left to the delegate.
    virtual void playerDidChangeFullScreenStatus(ZuPlayer& player) { (void)player; }
};

// Told when the ads of a stream with inserted ads start and finish being shown, on the main thread; held
// weakly. An ad event that arrives while no ad delegate is set is lost.
class ZuPlayerAdDelegate {
  public:
    virtual ~ZuPlayerAdDelegate() = default;
    virtual void didStartAdDisplay(const AdDisplayInfo& info, int indexInGroup) = 0;
    virtual void didFinishAdDisplay(const AdDisplayInfo& info, int indexInGroup, bool hasAdCompleted) = 0;
};

}  // namespace lumora
