#pragma once

#include <optional>
#include <utility>

#include "dispatch/Clock.h"
#include "foundation/Error.h"

namespace avfoundation::detail {

class SegmentLoader;

// What one look of the player at its item decided (see Playhead::step).
struct PlayheadStep {
    enum class Status { paused, waiting, playing };
    Status status = Status::paused;
    double movingRate = 0;    // media seconds per clock second; 0 when the playhead stands
    bool postEnd = false;     // the item played to its end (or a fast live item caught up with its edge)
    bool postStall = false;   // playback stopped where the loaded media ends
    bool pauseAtEnd = false;  // the player's rate must become 0
    // When the player must look again (the playhead reaches the end of what it may play, or the point
    // where loading must go on); nothing while it stands.
    std::optional<dispatch::Nanoseconds> wakeAt;
};

// The playhead of an item on the one clock, and the rules by which it moves. Main thread only.
//
// Between two looks of the player the playhead moves linearly: from an anchor (a position at a clock
// time) at a moving rate, up to a limit it may not pass (the end of the loaded stretch, a media fault).
// `step` is the state machine the player runs whenever something changed: given the player's rate and
// what is loaded, it decides whether the playhead plays, waits or stands, what to announce, and when to
// look again.
class Playhead {
  public:
    double positionAt(dispatch::Nanoseconds now) const;
    // The position at the last anchor.
    double anchor() const { return anchorSeconds_; }

    // Moves the anchor to `now`. The media seconds played since the last anchor are counted
    // (`takeWatched`); a media fault of `media` passed on the way becomes due (`takeDueFault`).
    void reanchor(dispatch::Nanoseconds now, SegmentLoader& media);
    // The playhead stands where it is (a failure, a detach).
    void hold(dispatch::Nanoseconds now, SegmentLoader& media);
    // Jumps to `seconds` and stands there.
    void jumpTo(double seconds, dispatch::Nanoseconds now);
    std::optional<foundation::Error> takeDueFault();
    // The media seconds played since the last call.
    double takeWatched() { return std::exchange(watched_, 0.0); }

    // A position asked for before the item was ready: where it starts.
    std::optional<double> pendingStart;

    // The state machine. `ready`: the item is ready to play; `pauseAtItemEnd`: the player pauses at the end
    // of a video on demand (else it waits there). Sets the moving rate from `now` on.
    PlayheadStep step(float rate, bool pauseAtItemEnd, bool ready, SegmentLoader& media, dispatch::Nanoseconds now);

  private:
    void setMovingRate(double rate, dispatch::Nanoseconds now, SegmentLoader& media);

    double anchorSeconds_ = 0;
    dispatch::Nanoseconds anchorClock_{0};
    double movingRate_ = 0;
    double moveLimit_ = 0;
    bool endNotified_ = false;
    bool stalled_ = false;
    std::optional<foundation::Error> dueFault_;
    double watched_ = 0;
};

}  // namespace avfoundation::detail
