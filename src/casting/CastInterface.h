#pragma once

// The contract of the host's casting plug-ins. The kit casts nothing by itself: the host supplies a Chromecast
// plug-in (`CastManagerInterface`) and an AirPlay plug-in (`AirPlayManagerInterface`) and hands them to a
// `CastManager`. The kit calls every requirement on its caller's thread (the main thread for the player and
// the controls) and holds no lock while it does, so a plug-in may call back into the manager from any of them.
//
// Streams are `rx::ControlEvent`s: they never fail and deliver on the main thread.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "casting/CastModel.h"
#include "coremedia/CMTime.h"
#include "foundation/Error.h"
#include "rx/Cocoa.h"
#include "rx/Event.h"
#include "rx/Observable.h"

namespace uikit {
class UIView;
class UIBarButtonItem;
}  // namespace uikit

namespace avfoundation {
class AVPlayer;
}  // namespace avfoundation

namespace lumora {

// What both plug-ins offer.
class CastInterface {
  public:
    virtual ~CastInterface() = default;

    // The connected device's name; none when there is none.
    virtual std::optional<std::string> deviceName() const = 0;
    // The current state; cheap to read several times in a row.
    virtual CastConnectionState connectionState() const = 0;
    // The plug-in's state changes, in order.
    virtual rx::ControlEvent<CastConnectionState> connectionStatus() const = 0;
    // A view (a cast button, a route picker) that the manager hands to its caller unchanged.
    virtual std::shared_ptr<uikit::UIView> makeView() = 0;
    // The remote player toggles between playing and paused.
    virtual void togglePlayback() = 0;
    // The remote player's rate changes.
    virtual rx::ControlEvent<float> playbackRate() const = 0;

    // The kit's connected test, which a plug-in cannot replace: connecting, connected or
    // canControlCastPlayer. The state is read afresh for each comparison, in that order, and the first
    // read that matches decides.
    bool isConnected() const;

  protected:
    CastInterface() = default;
    CastInterface(const CastInterface&) = default;
    CastInterface& operator=(const CastInterface&) = default;
};

// The Chromecast plug-in.
class CastManagerInterface : public CastInterface {
  public:
    // The stream now loaded on the receiver; none when there is none.
    virtual std::optional<CastStream> currentCastStream() const = 0;
    virtual void setCurrentCastStream(std::optional<CastStream> stream) = 0;
    // Not used by the kit. By default a stream that completes at once.
    virtual rx::ControlEvent<std::optional<double>> currentCastDuration() const;
    virtual rx::ControlEvent<bool> isPlaying() const = 0;
    virtual rx::ControlEvent<coremedia::CMTime> playerCurrentTime() const = 0;
    virtual rx::ControlEvent<coremedia::CMTime> playerDuration() const = 0;
    virtual rx::ControlEvent<foundation::Error> errorStatus() const = 0;
    // Whether the plug-in is casting.
    virtual rx::ControlEvent<bool> castStatus() const = 0;
    // The end of the remote stream. By default a stream that completes at once.
    virtual rx::ControlEvent<rx::Unit> playerDidPlayToEndTime() const;
    // The caption tracks on offer.
    virtual rx::ControlEvent<std::vector<MediaTrack>> availableClosedCaptions() const = 0;

    // The meaning of the text is the plug-in's.
    virtual void setup(const std::string& text) = 0;
    // Not used by the kit.
    virtual std::optional<CastStream> makeStream() = 0;
    // The kit always calls it right after `setPlaybackRate(1.0)`.
    virtual void seekToLiveEdge() = 0;
    virtual void setPlaybackRate(float rate) = 0;
    // Moves to `position` seconds (from the current position when `relative`), then plays, pauses or keeps
    // the player's state as `resumeState` says.
    virtual void seek(double position, bool relative, CastResumeState resumeState) = 0;
    // The receiver loads the stream and starts `position` seconds in.
    virtual void load(const CastStream& stream, double position) = 0;
    virtual void stopCasting(bool stopReceiver) = 0;
    // Presents the plug-in's cast instructions for the item, at most once.
    virtual void presentCastInstructionsViewControllerOnce(std::shared_ptr<uikit::UIBarButtonItem> item) = 0;
    // The receiver shows that caption track, or none.
    virtual void set(std::optional<MediaTrack> closedCaptions) = 0;
    // The custom actions on offer. By default a stream that completes at once.
    virtual rx::ControlEvent<std::vector<CastCustomMessage>> customMessageChannel() const;
    // Performs a custom action. By default nothing.
    virtual void customButtonTapped(const CastCustomMessage& message);
};

// The AirPlay plug-in.
class AirPlayManagerInterface : public CastInterface {
  public:
    // The plug-in listens to that player for AirPlay.
    virtual void addAirPlayListener(std::shared_ptr<avfoundation::AVPlayer> player) = 0;
};

// A stream that completes at once without an element, as a control event.
template <class T>
rx::ControlEvent<T> emptyControlEvent() {
    return rx::ControlEvent<T>(rx::Observable<T>::empty());
}

}  // namespace lumora
