#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "casting/CastInterface.h"
#include "casting/CastModel.h"
#include "rx/Subjects.h"

namespace demohost {

// The host's Chromecast plug-in. A real host wraps its receiver library here; this one stands for receivers
// on the same network with nothing behind them: connecting to one of its devices makes it controllable at
// once, `load` puts the stream on it at the given position, and the controls' commands (play and pause,
// seeks, rate) act on that stream, which stays where it was put: there is no picture on a receiver to move.
// Main thread only, as the kit calls its plug-ins.
class CastReceiver final : public lumora::CastManagerInterface {
  public:
    static std::shared_ptr<CastReceiver> create(std::vector<std::string> devices);

    // The receivers offered.
    const std::vector<std::string>& devices() const { return devices_; }
    // Connects to an offered device (connecting, connected, then controllable); false for any other.
    bool connect(const std::string& device);
    // Stops casting and lets the device go (disconnecting, then disconnected).
    void disconnect();

    // ---- The plug-in ----
    std::optional<std::string> deviceName() const override { return device_; }
    lumora::CastConnectionState connectionState() const override { return state_; }
    rx::ControlEvent<lumora::CastConnectionState> connectionStatus() const override;
    // The host puts no cast button into the kit's views.
    std::shared_ptr<uikit::UIView> makeView() override { return nullptr; }
    void togglePlayback() override;
    rx::ControlEvent<float> playbackRate() const override;

    std::optional<lumora::CastStream> currentCastStream() const override { return stream_; }
    void setCurrentCastStream(std::optional<lumora::CastStream> stream) override;
    rx::ControlEvent<bool> isPlaying() const override;
    rx::ControlEvent<coremedia::CMTime> playerCurrentTime() const override;
    rx::ControlEvent<coremedia::CMTime> playerDuration() const override;
    rx::ControlEvent<foundation::Error> errorStatus() const override;
    rx::ControlEvent<bool> castStatus() const override;
    rx::ControlEvent<std::vector<lumora::MediaTrack>> availableClosedCaptions() const override;
    void setup(const std::string&) override {}
    std::optional<lumora::CastStream> makeStream() override { return stream_; }
    void seekToLiveEdge() override;
    void setPlaybackRate(float rate) override;
    void seek(double position, bool relative, lumora::CastResumeState resumeState) override;
    void load(const lumora::CastStream& stream, double position) override;
    void stopCasting(bool stopReceiver) override;
    void presentCastInstructionsViewControllerOnce(std::shared_ptr<uikit::UIBarButtonItem>) override {}
    void set(std::optional<lumora::MediaTrack>) override {}

  private:
    explicit CastReceiver(std::vector<std::string> devices) : devices_(std::move(devices)) {}
    void setState(lumora::CastConnectionState state);
    void setPlaying(bool playing);
    // Sends the stream's position after it moved.
    void moved();

    std::vector<std::string> devices_;
    std::optional<std::string> device_;
    lumora::CastConnectionState state_ = lumora::CastConnectionState::disconnected;
    std::optional<lumora::CastStream> stream_;
    // What the kit subscribes to; the current value first where there is one.
    rx::BehaviorSubject<lumora::CastConnectionState> status_{lumora::CastConnectionState::disconnected};
    rx::BehaviorSubject<bool> playing_{false};
    rx::BehaviorSubject<float> rate_{1.0f};
    rx::BehaviorSubject<bool> casting_{false};
    rx::BehaviorSubject<std::vector<lumora::MediaTrack>> captions_{std::vector<lumora::MediaTrack>{}};
    rx::PublishSubject<coremedia::CMTime> time_;
    rx::PublishSubject<coremedia::CMTime> duration_;
    rx::PublishSubject<foundation::Error> errors_;
};

}  // namespace demohost
