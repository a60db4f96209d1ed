#pragma once

#include <any>
#include <memory>

#include "avfoundation/AVPlayer.h"
#include "playback/PlayerInterface.h"

namespace lumora {

// The media player as the ad proxy's `PlayerInterface`: its periodic time observers are the player's own.
// The player is held weakly, so a proxy that outlives the player view does not keep its media player (and
// the stream it loads) alive; once the player is gone, adding gives an empty token and removing does
// nothing.
class AVPlayerInterfaceAdapter final : public PlayerInterface {
  public:
    static std::shared_ptr<AVPlayerInterfaceAdapter> create(const std::shared_ptr<avfoundation::AVPlayer>& player);

    std::any addPeriodicTimeObserver(coremedia::CMTime interval, dispatch::DispatchQueue* queue,
                                     TimeObserverBlock block) override;
    void removeTimeObserver(const std::any& observer) override;
    // The current item's duration when it is a positive number of seconds (an item on demand that has read its
    // playlist); nothing for a live item, one still loading, or without an item or a player.
    std::optional<double> streamDuration() const override;

    std::shared_ptr<avfoundation::AVPlayer> player() const { return player_.lock(); }

  private:
    explicit AVPlayerInterfaceAdapter(const std::shared_ptr<avfoundation::AVPlayer>& player) : player_(player) {}

    std::weak_ptr<avfoundation::AVPlayer> player_;
};

}  // namespace lumora
