#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "casting/CastInterface.h"
#include "casting/CastModel.h"
#include "coremedia/CMTime.h"
#include "foundation/Error.h"
#include "rx/Cocoa.h"
#include "rx/Event.h"
#include "rx/Observable.h"

namespace lumora {

// The kit's facade over the host's casting plug-ins: at most one Chromecast plug-in and one AirPlay plug-in.
// The host makes one, gives it its plug-ins and assigns it to the player's `castManager`.
//
// There is no state beyond the two plug-ins: every answer is worked out from the plug-in held at the moment of
// the call, and every member answers neutrally when the plug-in it needs is absent (false, none, "-",
// "Chromecast", "AirPlay", an empty list, a stream that completes at once, no action) and never fails.
// Commands and the remote player's streams go to the Chromecast plug-in only; the AirPlay plug-in takes part
// in the connection tests, the device names, the views, the connection status and its player listener.
//
// Streams are built when read, from the plug-in held then: a stream read before a plug-in was replaced keeps
// following the old one, so read the property again after a change.
//
// Meant for the main thread, like the player. The plug-in reference is copied out before a plug-in is called
// and no lock is held during the call, so a plug-in may call back into the manager from anything it is asked
// (replacing itself included).
class CastManager {
  public:
    static std::shared_ptr<CastManager> create();
    virtual ~CastManager();

    CastManager(const CastManager&) = delete;
    CastManager& operator=(const CastManager&) = delete;

    // The Chromecast plug-in; none until `set` gives one.
    virtual std::shared_ptr<CastManagerInterface> chromecastPlugin() const;

    // ---- Answers ----

    // The connected test of the AirPlay plug-in.
    virtual bool isAirPlay() const;
    // The connected test of the Chromecast plug-in.
    virtual bool isChromecast() const;
    // The Chromecast plug-in's connected test, or when that fails the AirPlay plug-in's.
    virtual bool isConnected() const;
    virtual std::optional<CastStream> currentCastStream() const;
    // The Chromecast plug-in's state is canControlCastPlayer or connected. AirPlay is not consulted.
    virtual bool canControlCastPlayer() const;
    virtual std::optional<rx::ControlEvent<bool>> isPlaying() const;
    virtual std::optional<rx::ControlEvent<coremedia::CMTime>> playerCurrentTime() const;
    virtual std::optional<rx::ControlEvent<coremedia::CMTime>> playerDuration() const;
    // The connected AirPlay device's name (none when it has none); otherwise the Chromecast plug-in's device
    // name, whatever its state.
    virtual std::optional<std::string> deviceName() const;
    // Both plug-ins' states as they arrive (AirPlay's stream subscribed first); completes once both have
    // completed, at once when neither plug-in is held.
    virtual rx::Observable<CastConnectionState> connectionStatus() const;
    virtual rx::Observable<CastConnectionState> airplayConnectionStatus() const;
    virtual rx::Observable<CastConnectionState> chromecastConnectionStatus() const;
    virtual rx::Observable<bool> castStatus() const;
    virtual rx::Observable<rx::Unit> playerDidPlayToEndTime() const;
    virtual rx::Observable<float> castPlaybackRate() const;
    virtual rx::Observable<foundation::Error> errorStatus() const;
    // "-" without a name.
    virtual std::string chromecastDeviceName() const;
    // "-" without a current stream.
    virtual std::string currentCastStreamTitle() const;
    virtual std::vector<MediaTrack> currentCastStreamClosedCaptions() const;
    virtual rx::Observable<std::vector<MediaTrack>> availableClosedCaptions() const;

    // ---- Plug-ins ----

    // Replaces the held plug-in of that kind. A plug-in is never made absent again.
    virtual void set(std::shared_ptr<CastManagerInterface> chromecastPlugin);
    virtual void set(std::shared_ptr<AirPlayManagerInterface> airplayPlugin);

    // ---- Operations ----

    // The named plug-in's view; none without that plug-in.
    virtual std::shared_ptr<uikit::UIView> makeCastView(CastType type);
    // The named plug-in's connected test.
    virtual bool isConnected(CastType type) const;
    // The named plug-in's device name whatever its state; "Chromecast" or "AirPlay" when it has none.
    virtual std::string deviceName(CastType type) const;
    virtual void addAirPlayListener(std::shared_ptr<avfoundation::AVPlayer> player);
    // Rate 1.0, then the jump to the live edge, both on the same Chromecast plug-in.
    virtual void seekToLiveEdge();
    virtual void setPlaybackRate(float rate);
    virtual void setupChromecast(const std::string& text);
    virtual void load(const CastStream& stream, double position);
    virtual void togglePlayback();
    virtual void seek(double position, bool relative, CastResumeState resumeState);
    virtual void presentCastInstructionsViewControllerOnce(std::shared_ptr<uikit::UIBarButtonItem> item);
    // Stops casting, the receiver included. The AirPlay plug-in is left alone.
    virtual void disconnectChromecast();
    virtual void setCast(std::optional<MediaTrack> closedCaptions);
    // The first caption track of the current stream whose language code equals `languageCode` exactly
    // (letter case counts).
    virtual std::optional<MediaTrack> findClosedCaptions(const std::string& languageCode) const;
    // Whether `position` (seconds) is within 10.0 s of the current stream's duration (0 without one),
    // the bound included. A position or duration that is not a number is never live.
    virtual bool isPlaybackLive(double position) const;

    // Not overridable.
    rx::ControlEvent<std::vector<CastCustomMessage>> customMessageChannel() const;
    void customButtonTapped(const CastCustomMessage& message);

  protected:
    CastManager() = default;

    // The AirPlay plug-in; none until `set` gives one.
    virtual std::shared_ptr<AirPlayManagerInterface> airplayPlugin() const;

  private:
    // Guards the two references for the moment of a copy only; never held while a plug-in runs (nor while a
    // replaced plug-in is released).
    mutable std::mutex mutex_;
    std::shared_ptr<CastManagerInterface> chromecastPlugin_;
    std::shared_ptr<AirPlayManagerInterface> airplayPlugin_;
};

}  // namespace lumora
