#include "CastReceiver.h"

#include <algorithm>

#include "coremedia/CMTime.h"

namespace demohost {

using lumora::CastConnectionState;
using lumora::CastPlayerState;

namespace {

coremedia::CMTime timeOf(double seconds) {
    return coremedia::CMTime::fromSeconds(seconds, coremedia::kPreferredTimescale);
}

}  // namespace

std::shared_ptr<CastReceiver> CastReceiver::create(std::vector<std::string> devices) {
    return std::shared_ptr<CastReceiver>(new CastReceiver(std::move(devices)));
}

void CastReceiver::setState(CastConnectionState state) {
    state_ = state;
    status_.onNext(state);
}

void CastReceiver::setPlaying(bool playing) {
    if (stream_) stream_->state = playing ? CastPlayerState::playing : CastPlayerState::paused;
    playing_.onNext(playing);
}

void CastReceiver::moved() {
    if (stream_ && stream_->position) time_.onNext(timeOf(*stream_->position));
}

bool CastReceiver::connect(const std::string& device) {
    if (std::find(devices_.begin(), devices_.end(), device) == devices_.end()) return false;
    if (device_ == device) return true;
    if (device_) disconnect();
    setState(CastConnectionState::connecting);
    device_ = device;
    setState(CastConnectionState::connected);
    setState(CastConnectionState::canControlCastPlayer);
    return true;
}

void CastReceiver::disconnect() {
    if (!device_) return;
    setCurrentCastStream(std::nullopt);
    setState(CastConnectionState::disconnecting);
    device_.reset();
    setState(CastConnectionState::disconnected);
}

rx::ControlEvent<CastConnectionState> CastReceiver::connectionStatus() const {
    return rx::ControlEvent<CastConnectionState>(status_.asObservable());
}

void CastReceiver::togglePlayback() {
    if (!stream_) return;
    setPlaying(stream_->state != CastPlayerState::playing);
}

rx::ControlEvent<float> CastReceiver::playbackRate() const {
    return rx::ControlEvent<float>(rate_.asObservable());
}

void CastReceiver::setCurrentCastStream(std::optional<lumora::CastStream> stream) {
    stream_ = std::move(stream);
    casting_.onNext(stream_.has_value());
    if (!stream_) {
        playing_.onNext(false);
        return;
    }
    captions_.onNext(stream_->closedCaptions);
    if (stream_->duration) duration_.onNext(timeOf(*stream_->duration));
    rate_.onNext(stream_->rate);
    playing_.onNext(stream_->state == CastPlayerState::playing);
    moved();
}

rx::ControlEvent<bool> CastReceiver::isPlaying() const {
    return rx::ControlEvent<bool>(playing_.asObservable());
}

rx::ControlEvent<coremedia::CMTime> CastReceiver::playerCurrentTime() const {
    return rx::ControlEvent<coremedia::CMTime>(time_.asObservable());
}

rx::ControlEvent<coremedia::CMTime> CastReceiver::playerDuration() const {
    return rx::ControlEvent<coremedia::CMTime>(duration_.asObservable());
}

rx::ControlEvent<foundation::Error> CastReceiver::errorStatus() const {
    return rx::ControlEvent<foundation::Error>(errors_.asObservable());
}

rx::ControlEvent<bool> CastReceiver::castStatus() const {
    return rx::ControlEvent<bool>(casting_.asObservable());
}

rx::ControlEvent<std::vector<lumora::MediaTrack>> CastReceiver::availableClosedCaptions() const {
    return rx::ControlEvent<std::vector<lumora::MediaTrack>>(captions_.asObservable());
}

void CastReceiver::seekToLiveEdge() {
    if (!stream_ || !stream_->duration) return;
    stream_->position = stream_->duration;
    moved();
}

void CastReceiver::setPlaybackRate(float rate) {
    if (stream_) stream_->rate = rate;
    rate_.onNext(rate);
}

void CastReceiver::seek(double position, bool relative, lumora::CastResumeState resumeState) {
    if (!stream_) return;
    double target = relative ? stream_->position.value_or(0) + position : position;
    if (stream_->duration) target = std::min(target, *stream_->duration);
    stream_->position = std::max(target, 0.0);
    moved();
    if (resumeState != lumora::CastResumeState::unchanged) setPlaying(resumeState == lumora::CastResumeState::play);
}

void CastReceiver::load(const lumora::CastStream& stream, double position) {
    if (!device_) return;
    lumora::CastStream loaded = stream;
    loaded.position = position;
    loaded.state = CastPlayerState::playing;
    if (!(loaded.rate > 0)) loaded.rate = 1.0f;
    setCurrentCastStream(std::move(loaded));
}

void CastReceiver::stopCasting(bool stopReceiver) {
    if (stopReceiver) {
        disconnect();
    } else {
        setCurrentCastStream(std::nullopt);
    }
}

}  // namespace demohost
