#pragma once

// Well-behaved stand-ins for the host's casting plug-ins, for tests and for the example host: no device, no
// network; a script says which devices exist, what state the connection is in, what the remote player plays,
// where it is and how fast. Each remembers the commands it was given (`calls()`), and a hook (`setOnCall`)
// runs inside every command after the fake has acted, so a test can call back into the manager from there.
//
// Streams: connection status, playing flag, rate, casting flag, available captions and custom actions give
// their current value to a new subscriber, then every change; times, durations, errors and the end of
// playback are events, sent only as they happen. `finishStreams()` completes them all, as a plug-in being
// torn down would. Streams capture the fake's subjects, not the fake, so a stream outlives a replaced plug-in.
//
// Safe to script from any thread; no lock is held while a stream delivers or the hook runs.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "casting/CastInterface.h"
#include "casting/CastModel.h"
#include "rx/Subjects.h"

namespace lumora::testing {

namespace detail {

// What both fakes share: device names, the connection state and its stream, the view, the call log and hook.
class FakeCastCore {
  public:
    explicit FakeCastCore(CastConnectionState finalConnectedState);

    std::optional<std::string> deviceName() const;
    void setDeviceName(std::optional<std::string> name);
    CastConnectionState connectionState() const;
    void setConnectionState(CastConnectionState state);
    rx::ControlEvent<CastConnectionState> connectionStatus() const;

    std::vector<std::string> availableDevices() const;
    void setAvailableDevices(std::vector<std::string> devices);
    bool connect(const std::string& device);
    void disconnect();

    std::shared_ptr<uikit::UIView> view() const;
    void setView(std::shared_ptr<uikit::UIView> view);

    std::vector<std::string> calls() const;
    void clearCalls();
    void setOnCall(std::function<void(const std::string&)> hook);
    // Logs the command, then runs the hook (outside the lock).
    void record(const std::string& call);

    void finish();

  private:
    mutable std::mutex mutex_;  // guards deviceName_, state_, devices_, view_, calls_ and onCall_
    const CastConnectionState finalConnectedState_;
    std::optional<std::string> deviceName_;
    CastConnectionState state_ = CastConnectionState::disconnected;
    std::vector<std::string> devices_;
    std::shared_ptr<uikit::UIView> view_;
    std::vector<std::string> calls_;
    std::function<void(const std::string&)> onCall_;
    rx::BehaviorSubject<CastConnectionState> status_{CastConnectionState::disconnected};
};

}  // namespace detail

// A Chromecast receiver that does what it is told at once: `load` puts the stream on and plays it, `seek`
// moves the position, `setPlaybackRate` changes the rate, `togglePlayback` flips between playing and paused,
// `seekToLiveEdge` jumps to the stream's duration, `stopCasting` ends the session.
class FakeChromecastPlugin : public CastManagerInterface {
  public:
    static std::shared_ptr<FakeChromecastPlugin> create();

    // ---- The plug-in ----
    std::optional<std::string> deviceName() const override;
    CastConnectionState connectionState() const override;
    rx::ControlEvent<CastConnectionState> connectionStatus() const override;
    std::shared_ptr<uikit::UIView> makeView() override;
    void togglePlayback() override;
    rx::ControlEvent<float> playbackRate() const override;

    std::optional<CastStream> currentCastStream() const override;
    void setCurrentCastStream(std::optional<CastStream> stream) override;
    rx::ControlEvent<std::optional<double>> currentCastDuration() const override;
    rx::ControlEvent<bool> isPlaying() const override;
    rx::ControlEvent<coremedia::CMTime> playerCurrentTime() const override;
    rx::ControlEvent<coremedia::CMTime> playerDuration() const override;
    rx::ControlEvent<foundation::Error> errorStatus() const override;
    rx::ControlEvent<bool> castStatus() const override;
    rx::ControlEvent<rx::Unit> playerDidPlayToEndTime() const override;
    rx::ControlEvent<std::vector<MediaTrack>> availableClosedCaptions() const override;
    void setup(const std::string& text) override;
    std::optional<CastStream> makeStream() override;
    void seekToLiveEdge() override;
    void setPlaybackRate(float rate) override;
    void seek(double position, bool relative, CastResumeState resumeState) override;
    void load(const CastStream& stream, double position) override;
    void stopCasting(bool stopReceiver) override;
    void presentCastInstructionsViewControllerOnce(std::shared_ptr<uikit::UIBarButtonItem> item) override;
    void set(std::optional<MediaTrack> closedCaptions) override;
    rx::ControlEvent<std::vector<CastCustomMessage>> customMessageChannel() const override;
    void customButtonTapped(const CastCustomMessage& message) override;

    // ---- The script ----

    void setDeviceName(std::optional<std::string> name);
    // Sets the state and sends it on `connectionStatus`.
    void setConnectionState(CastConnectionState state);
    std::vector<std::string> availableDevices() const;
    void setAvailableDevices(std::vector<std::string> devices);
    // Connects to a listed device: connecting, connected, then canControlCastPlayer, and the device's name.
    // False (and nothing changes) for a device not listed.
    bool connect(const std::string& device);
    // disconnecting, then disconnected; the name goes.
    void disconnect();
    // The view `makeView()` hands out (none until set).
    void setView(std::shared_ptr<uikit::UIView> view);

    // The remote player, as the receiver reports it. Each updates the current stream (when there is one)
    // and sends the change on its stream.
    void setPlaying(bool playing);
    void setRate(float rate);
    void setCurrentTime(double seconds);
    void setDuration(std::optional<double> seconds);
    void setAvailableClosedCaptions(std::vector<MediaTrack> tracks);
    void setCustomMessages(std::vector<CastCustomMessage> messages);
    // Sends an error on `errorStatus`.
    void fail(foundation::Error error);
    // The remote stream reaches its end: position at the duration, idle, not playing.
    void playToEnd();
    // Completes every stream.
    void finishStreams();

    // ---- What it was told ----

    // Commands in order, e.g. "setPlaybackRate(1)", "seekToLiveEdge()", "seek(30,false,unchanged)".
    std::vector<std::string> calls() const;
    void clearCalls();
    // Runs inside every command, after the fake has acted, with the command's log entry.
    void setOnCall(std::function<void(const std::string&)> hook);
    std::optional<std::string> setupText() const;
    std::optional<MediaTrack> selectedClosedCaptions() const;
    std::vector<CastCustomMessage> tappedCustomMessages() const;
    // How many times instructions were actually presented (at most once over the fake's life).
    int instructionsPresentedCount() const;

  protected:
    FakeChromecastPlugin();

  private:
    // Takes the stream on (position, duration, rate and state included) and sends what changed.
    void applyStream(std::optional<CastStream> stream, bool playing);
    void sendTimes(double position, std::optional<double> duration);

    detail::FakeCastCore core_;
    mutable std::mutex mutex_;  // guards the receiver's fields below, stream_ to instructionsPresented_
    // The stream on the receiver; its position, duration, rate and state are kept in the fields below.
    std::optional<CastStream> stream_;
    double position_ = 0;
    std::optional<double> duration_;
    float rate_ = 1.0f;
    bool playing_ = false;
    CastPlayerState playerState_ = CastPlayerState::idle;
    std::optional<std::string> setupText_;
    std::optional<MediaTrack> selectedClosedCaptions_;
    std::vector<CastCustomMessage> tapped_;
    int instructionsPresented_ = 0;

    rx::BehaviorSubject<bool> playingSubject_{false};
    rx::BehaviorSubject<float> rateSubject_{1.0f};
    rx::BehaviorSubject<bool> castingSubject_{false};
    rx::BehaviorSubject<std::vector<MediaTrack>> captionsSubject_{std::vector<MediaTrack>{}};
    rx::BehaviorSubject<std::vector<CastCustomMessage>> messagesSubject_{std::vector<CastCustomMessage>{}};
    rx::PublishSubject<std::optional<double>> castDurationSubject_;
    rx::PublishSubject<coremedia::CMTime> currentTimeSubject_;
    rx::PublishSubject<coremedia::CMTime> durationSubject_;
    rx::PublishSubject<foundation::Error> errorSubject_;
    rx::PublishSubject<rx::Unit> endSubject_;
};

// An AirPlay route that connects and disconnects as scripted and remembers the players it listens to.
class FakeAirPlayPlugin : public AirPlayManagerInterface {
  public:
    static std::shared_ptr<FakeAirPlayPlugin> create();

    std::optional<std::string> deviceName() const override;
    CastConnectionState connectionState() const override;
    rx::ControlEvent<CastConnectionState> connectionStatus() const override;
    std::shared_ptr<uikit::UIView> makeView() override;
    void togglePlayback() override;
    rx::ControlEvent<float> playbackRate() const override;
    void addAirPlayListener(std::shared_ptr<avfoundation::AVPlayer> player) override;

    void setDeviceName(std::optional<std::string> name);
    void setConnectionState(CastConnectionState state);
    std::vector<std::string> availableDevices() const;
    void setAvailableDevices(std::vector<std::string> devices);
    // connecting, then connected, and the device's name; false for a device not listed.
    bool connect(const std::string& device);
    void disconnect();
    void setView(std::shared_ptr<uikit::UIView> view);
    void setRate(float rate);
    void finishStreams();

    std::vector<std::string> calls() const;
    void clearCalls();
    void setOnCall(std::function<void(const std::string&)> hook);
    // The players handed to `addAirPlayListener`, held weakly.
    std::vector<std::weak_ptr<avfoundation::AVPlayer>> listenedPlayers() const;

  protected:
    FakeAirPlayPlugin();

  private:
    detail::FakeCastCore core_;
    mutable std::mutex mutex_;  // guards players_
    std::vector<std::weak_ptr<avfoundation::AVPlayer>> players_;
    rx::BehaviorSubject<float> rateSubject_{1.0f};
};

}  // namespace lumora::testing
