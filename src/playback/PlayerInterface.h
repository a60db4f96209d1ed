#pragma once

#include <any>
#include <functional>
#include <optional>

#include "coremedia/CMTime.h"
#include "dispatch/DispatchQueue.h"

namespace lumora {

// What the ad-aware player proxy needs of the media player: nothing but a periodic report of the
// playhead, on the stream timeline (ads counted). The media player of the player view implements it
// with its own periodic time observers.
//
// Contract for implementers:
// - `addPeriodicTimeObserver(interval, queue, block)` starts calling `block` with the current time every
//   `interval` of media time while playback runs (and on the discontinuities the player chooses to
//   report), always on `queue` (the main queue when `queue` is null). It returns an opaque token that
//   identifies this observer. The player keeps `block` until the observer is removed; `block` may hold
//   weak references only, so it must simply return when what it serves is gone.
// - `removeTimeObserver(observer)` takes a token returned by this player's `addPeriodicTimeObserver` and
//   stops that observer: after it returns, `block` is never called again, even if a firing was due in the
//   same turn. Removing an unknown or already removed token does nothing. It may be called from inside a
//   block of any observer of the same player.
// - `streamDuration()` is the length in seconds of the stream the player plays (ads counted) when it is known:
//   a stream on demand whose length has been read. Nothing for a live stream, before the length is read, or
//   without a stream (the default). The proxy reads it to refuse ads that lie outside the stream.
// - All are called on the main queue only.
class PlayerInterface {
  public:
    using TimeObserverBlock = std::function<void(coremedia::CMTime)>;

    virtual ~PlayerInterface() = default;

    virtual std::any addPeriodicTimeObserver(coremedia::CMTime interval, dispatch::DispatchQueue* queue,
                                             TimeObserverBlock block) = 0;
    virtual void removeTimeObserver(const std::any& observer) = 0;
    virtual std::optional<double> streamDuration() const { return std::nullopt; }
};

}  // namespace lumora
