#include "casting/testing/FakeCastPlugins.h"

#include <algorithm>
#include <sstream>
#include <utility>

#include "coremedia/CMTime.h"

namespace lumora::testing {

namespace {

std::string number(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

const char* name(CastResumeState state) {
    switch (state) {
        case CastResumeState::unchanged:
            return "unchanged";
        case CastResumeState::play:
            return "play";
        case CastResumeState::paused:
            return "paused";
    }
    return "?";
}

coremedia::CMTime timeOf(double seconds) {
    return coremedia::CMTime::fromSeconds(seconds, coremedia::kPreferredTimescale);
}

}  // namespace

namespace detail {

FakeCastCore::FakeCastCore(CastConnectionState finalConnectedState) : finalConnectedState_(finalConnectedState) {}

std::optional<std::string> FakeCastCore::deviceName() const {
    std::lock_guard lock(mutex_);
    return deviceName_;
}

void FakeCastCore::setDeviceName(std::optional<std::string> name) {
    std::lock_guard lock(mutex_);
    deviceName_ = std::move(name);
}

CastConnectionState FakeCastCore::connectionState() const {
    std::lock_guard lock(mutex_);
    return state_;
}

void FakeCastCore::setConnectionState(CastConnectionState state) {
    {
        std::lock_guard lock(mutex_);
        state_ = state;
    }
    status_.onNext(state);
}

rx::ControlEvent<CastConnectionState> FakeCastCore::connectionStatus() const {
    return rx::ControlEvent<CastConnectionState>(status_.asObservable());
}

std::vector<std::string> FakeCastCore::availableDevices() const {
    std::lock_guard lock(mutex_);
    return devices_;
}

void FakeCastCore::setAvailableDevices(std::vector<std::string> devices) {
    std::lock_guard lock(mutex_);
    devices_ = std::move(devices);
}

bool FakeCastCore::connect(const std::string& device) {
    {
        std::lock_guard lock(mutex_);
        if (std::find(devices_.begin(), devices_.end(), device) == devices_.end()) return false;
    }
    setConnectionState(CastConnectionState::connecting);
    setDeviceName(device);
    setConnectionState(CastConnectionState::connected);
    if (finalConnectedState_ != CastConnectionState::connected) setConnectionState(finalConnectedState_);
    return true;
}

void FakeCastCore::disconnect() {
    setConnectionState(CastConnectionState::disconnecting);
    setDeviceName(std::nullopt);
    setConnectionState(CastConnectionState::disconnected);
}

std::shared_ptr<uikit::UIView> FakeCastCore::view() const {
    std::lock_guard lock(mutex_);
    return view_;
}

void FakeCastCore::setView(std::shared_ptr<uikit::UIView> view) {
    std::lock_guard lock(mutex_);
    view_ = std::move(view);
}

std::vector<std::string> FakeCastCore::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

void FakeCastCore::clearCalls() {
    std::lock_guard lock(mutex_);
    calls_.clear();
}

void FakeCastCore::setOnCall(std::function<void(const std::string&)> hook) {
    std::lock_guard lock(mutex_);
    onCall_ = std::move(hook);
}

void FakeCastCore::record(const std::string& call) {
    std::function<void(const std::string&)> hook;
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(call);
        hook = onCall_;
    }
    if (hook) hook(call);
}

void FakeCastCore::finish() {
    status_.onCompleted();
}

}  // namespace detail

// ---- FakeChromecastPlugin ----

std::shared_ptr<FakeChromecastPlugin> FakeChromecastPlugin::create() {
    return std::shared_ptr<FakeChromecastPlugin>(new FakeChromecastPlugin());
}

FakeChromecastPlugin::FakeChromecastPlugin() : core_(CastConnectionState::canControlCastPlayer) {}

std::optional<std::string> FakeChromecastPlugin::deviceName() const {
    return core_.deviceName();
}
CastConnectionState FakeChromecastPlugin::connectionState() const {
    return core_.connectionState();
}
rx::ControlEvent<CastConnectionState> FakeChromecastPlugin::connectionStatus() const {
    return core_.connectionStatus();
}

std::shared_ptr<uikit::UIView> FakeChromecastPlugin::makeView() {
    auto view = core_.view();
    core_.record("makeView()");
    return view;
}

void FakeChromecastPlugin::togglePlayback() {
    bool playing;
    {
        std::lock_guard lock(mutex_);
        playing = playing_ = !playing_;
        if (stream_) playerState_ = playing ? CastPlayerState::playing : CastPlayerState::paused;
    }
    playingSubject_.onNext(playing);
    core_.record("togglePlayback()");
}

rx::ControlEvent<float> FakeChromecastPlugin::playbackRate() const {
    return rx::ControlEvent<float>(rateSubject_.asObservable());
}

std::optional<CastStream> FakeChromecastPlugin::currentCastStream() const {
    std::lock_guard lock(mutex_);
    if (!stream_) return std::nullopt;
    CastStream stream = *stream_;
    stream.position = position_;
    stream.duration = duration_;
    stream.rate = rate_;
    stream.state = playerState_;
    return stream;
}

void FakeChromecastPlugin::setCurrentCastStream(std::optional<CastStream> stream) {
    const bool playing =
        stream && (stream->state == CastPlayerState::playing || stream->state == CastPlayerState::buffering);
    applyStream(std::move(stream), playing);
}

rx::ControlEvent<std::optional<double>> FakeChromecastPlugin::currentCastDuration() const {
    return rx::ControlEvent<std::optional<double>>(castDurationSubject_.asObservable());
}
rx::ControlEvent<bool> FakeChromecastPlugin::isPlaying() const {
    return rx::ControlEvent<bool>(playingSubject_.asObservable());
}
rx::ControlEvent<coremedia::CMTime> FakeChromecastPlugin::playerCurrentTime() const {
    return rx::ControlEvent<coremedia::CMTime>(currentTimeSubject_.asObservable());
}
rx::ControlEvent<coremedia::CMTime> FakeChromecastPlugin::playerDuration() const {
    return rx::ControlEvent<coremedia::CMTime>(durationSubject_.asObservable());
}
rx::ControlEvent<foundation::Error> FakeChromecastPlugin::errorStatus() const {
    return rx::ControlEvent<foundation::Error>(errorSubject_.asObservable());
}
rx::ControlEvent<bool> FakeChromecastPlugin::castStatus() const {
    return rx::ControlEvent<bool>(castingSubject_.asObservable());
}
rx::ControlEvent<rx::Unit> FakeChromecastPlugin::playerDidPlayToEndTime() const {
    return rx::ControlEvent<rx::Unit>(endSubject_.asObservable());
}
rx::ControlEvent<std::vector<MediaTrack>> FakeChromecastPlugin::availableClosedCaptions() const {
    return rx::ControlEvent<std::vector<MediaTrack>>(captionsSubject_.asObservable());
}
rx::ControlEvent<std::vector<CastCustomMessage>> FakeChromecastPlugin::customMessageChannel() const {
    return rx::ControlEvent<std::vector<CastCustomMessage>>(messagesSubject_.asObservable());
}

void FakeChromecastPlugin::setup(const std::string& text) {
    {
        std::lock_guard lock(mutex_);
        setupText_ = text;
    }
    core_.record("setup(" + text + ")");
}

std::optional<CastStream> FakeChromecastPlugin::makeStream() {
    auto stream = currentCastStream();
    core_.record("makeStream()");
    return stream;
}

void FakeChromecastPlugin::seekToLiveEdge() {
    std::optional<double> edge;
    {
        std::lock_guard lock(mutex_);
        edge = duration_;
        if (edge) position_ = *edge;
    }
    if (edge) currentTimeSubject_.onNext(timeOf(*edge));
    core_.record("seekToLiveEdge()");
}

void FakeChromecastPlugin::setPlaybackRate(float rate) {
    setRate(rate);
    core_.record("setPlaybackRate(" + number(rate) + ")");
}

void FakeChromecastPlugin::seek(double position, bool relative, CastResumeState resumeState) {
    double target;
    std::optional<bool> playing;
    {
        std::lock_guard lock(mutex_);
        target = relative ? position_ + position : position;
        // A receiver lands inside the stream.
        if (duration_) target = std::min(target, *duration_);
        target = std::max(target, 0.0);
        position_ = target;
        if (resumeState != CastResumeState::unchanged) {
            playing_ = resumeState == CastResumeState::play;
            playing = playing_;
            if (stream_) playerState_ = playing_ ? CastPlayerState::playing : CastPlayerState::paused;
        }
    }
    currentTimeSubject_.onNext(timeOf(target));
    if (playing) playingSubject_.onNext(*playing);
    core_.record("seek(" + number(position) + "," + (relative ? "true" : "false") + "," + name(resumeState) + ")");
}

void FakeChromecastPlugin::load(const CastStream& stream, double position) {
    CastStream loaded = stream;
    loaded.position = position;
    loaded.state = CastPlayerState::playing;
    if (!(loaded.rate > 0)) loaded.rate = 1.0f;
    applyStream(std::move(loaded), true);
    core_.record("load(" + stream.assetID + "," + number(position) + ")");
}

void FakeChromecastPlugin::stopCasting(bool stopReceiver) {
    applyStream(std::nullopt, false);
    if (stopReceiver) core_.disconnect();
    core_.record(std::string("stopCasting(") + (stopReceiver ? "true" : "false") + ")");
}

void FakeChromecastPlugin::presentCastInstructionsViewControllerOnce(std::shared_ptr<uikit::UIBarButtonItem>) {
    {
        std::lock_guard lock(mutex_);
        instructionsPresented_ = 1;
    }
    core_.record("presentCastInstructionsViewControllerOnce()");
}

void FakeChromecastPlugin::set(std::optional<MediaTrack> closedCaptions) {
    const std::string entry = closedCaptions ? "set(" + closedCaptions->languageCode + ")" : std::string("set(none)");
    {
        std::lock_guard lock(mutex_);
        selectedClosedCaptions_ = std::move(closedCaptions);
    }
    core_.record(entry);
}

void FakeChromecastPlugin::customButtonTapped(const CastCustomMessage& message) {
    {
        std::lock_guard lock(mutex_);
        tapped_.push_back(message);
    }
    core_.record("customButtonTapped(" + message.actionType + ")");
}

// ---- Script ----

void FakeChromecastPlugin::setDeviceName(std::optional<std::string> name) {
    core_.setDeviceName(std::move(name));
}
void FakeChromecastPlugin::setConnectionState(CastConnectionState state) {
    core_.setConnectionState(state);
}
std::vector<std::string> FakeChromecastPlugin::availableDevices() const {
    return core_.availableDevices();
}
void FakeChromecastPlugin::setAvailableDevices(std::vector<std::string> devices) {
    core_.setAvailableDevices(std::move(devices));
}
bool FakeChromecastPlugin::connect(const std::string& device) {
    return core_.connect(device);
}
void FakeChromecastPlugin::disconnect() {
    core_.disconnect();
}
void FakeChromecastPlugin::setView(std::shared_ptr<uikit::UIView> view) {
    core_.setView(std::move(view));
}

void FakeChromecastPlugin::setPlaying(bool playing) {
    {
        std::lock_guard lock(mutex_);
        playing_ = playing;
        if (stream_) playerState_ = playing ? CastPlayerState::playing : CastPlayerState::paused;
    }
    playingSubject_.onNext(playing);
}

void FakeChromecastPlugin::setRate(float rate) {
    {
        std::lock_guard lock(mutex_);
        rate_ = rate;
    }
    rateSubject_.onNext(rate);
}

void FakeChromecastPlugin::setCurrentTime(double seconds) {
    {
        std::lock_guard lock(mutex_);
        position_ = seconds;
    }
    currentTimeSubject_.onNext(timeOf(seconds));
}

void FakeChromecastPlugin::setDuration(std::optional<double> seconds) {
    {
        std::lock_guard lock(mutex_);
        duration_ = seconds;
    }
    castDurationSubject_.onNext(seconds);
    if (seconds) durationSubject_.onNext(timeOf(*seconds));
}

void FakeChromecastPlugin::setAvailableClosedCaptions(std::vector<MediaTrack> tracks) {
    captionsSubject_.onNext(std::move(tracks));
}

void FakeChromecastPlugin::setCustomMessages(std::vector<CastCustomMessage> messages) {
    messagesSubject_.onNext(std::move(messages));
}

void FakeChromecastPlugin::fail(foundation::Error error) {
    errorSubject_.onNext(std::move(error));
}

void FakeChromecastPlugin::playToEnd() {
    std::optional<double> end;
    {
        std::lock_guard lock(mutex_);
        end = duration_;
        if (end) position_ = *end;
        playing_ = false;
        if (stream_) playerState_ = CastPlayerState::idle;
    }
    if (end) currentTimeSubject_.onNext(timeOf(*end));
    playingSubject_.onNext(false);
    endSubject_.onNext(rx::Unit{});
}

void FakeChromecastPlugin::finishStreams() {
    core_.finish();
    playingSubject_.onCompleted();
    rateSubject_.onCompleted();
    castingSubject_.onCompleted();
    captionsSubject_.onCompleted();
    messagesSubject_.onCompleted();
    castDurationSubject_.onCompleted();
    currentTimeSubject_.onCompleted();
    durationSubject_.onCompleted();
    errorSubject_.onCompleted();
    endSubject_.onCompleted();
}

std::vector<std::string> FakeChromecastPlugin::calls() const {
    return core_.calls();
}
void FakeChromecastPlugin::clearCalls() {
    core_.clearCalls();
}
void FakeChromecastPlugin::setOnCall(std::function<void(const std::string&)> hook) {
    core_.setOnCall(std::move(hook));
}

std::optional<std::string> FakeChromecastPlugin::setupText() const {
    std::lock_guard lock(mutex_);
    return setupText_;
}

std::optional<MediaTrack> FakeChromecastPlugin::selectedClosedCaptions() const {
    std::lock_guard lock(mutex_);
    return selectedClosedCaptions_;
}

std::vector<CastCustomMessage> FakeChromecastPlugin::tappedCustomMessages() const {
    std::lock_guard lock(mutex_);
    return tapped_;
}

int FakeChromecastPlugin::instructionsPresentedCount() const {
    std::lock_guard lock(mutex_);
    return instructionsPresented_;
}

void FakeChromecastPlugin::applyStream(std::optional<CastStream> stream, bool playing) {
    const bool casting = stream.has_value();
    std::vector<MediaTrack> captions;
    double position = 0;
    std::optional<double> duration;
    float rate;
    {
        std::lock_guard lock(mutex_);
        if (stream) {
            position_ = stream->position.value_or(0.0);
            duration_ = stream->duration;
            rate_ = stream->rate;
            playerState_ = stream->state;
            captions = stream->closedCaptions;
        } else {
            position_ = 0;
            duration_.reset();
            playerState_ = CastPlayerState::idle;
        }
        playing_ = playing;
        stream_ = std::move(stream);
        position = position_;
        duration = duration_;
        rate = rate_;
    }
    castingSubject_.onNext(casting);
    playingSubject_.onNext(playing);
    rateSubject_.onNext(rate);
    captionsSubject_.onNext(std::move(captions));
    if (casting) sendTimes(position, duration);
}

void FakeChromecastPlugin::sendTimes(double position, std::optional<double> duration) {
    castDurationSubject_.onNext(duration);
    if (duration) durationSubject_.onNext(timeOf(*duration));
    currentTimeSubject_.onNext(timeOf(position));
}

// ---- FakeAirPlayPlugin ----

std::shared_ptr<FakeAirPlayPlugin> FakeAirPlayPlugin::create() {
    return std::shared_ptr<FakeAirPlayPlugin>(new FakeAirPlayPlugin());
}

FakeAirPlayPlugin::FakeAirPlayPlugin() : core_(CastConnectionState::connected) {}

std::optional<std::string> FakeAirPlayPlugin::deviceName() const {
    return core_.deviceName();
}
CastConnectionState FakeAirPlayPlugin::connectionState() const {
    return core_.connectionState();
}
rx::ControlEvent<CastConnectionState> FakeAirPlayPlugin::connectionStatus() const {
    return core_.connectionStatus();
}

std::shared_ptr<uikit::UIView> FakeAirPlayPlugin::makeView() {
    auto view = core_.view();
    core_.record("makeView()");
    return view;
}

void FakeAirPlayPlugin::togglePlayback() {
    core_.record("togglePlayback()");
}

rx::ControlEvent<float> FakeAirPlayPlugin::playbackRate() const {
    return rx::ControlEvent<float>(rateSubject_.asObservable());
}

void FakeAirPlayPlugin::addAirPlayListener(std::shared_ptr<avfoundation::AVPlayer> player) {
    {
        std::lock_guard lock(mutex_);
        players_.push_back(player);
    }
    core_.record("addAirPlayListener()");
}

void FakeAirPlayPlugin::setDeviceName(std::optional<std::string> name) {
    core_.setDeviceName(std::move(name));
}
void FakeAirPlayPlugin::setConnectionState(CastConnectionState state) {
    core_.setConnectionState(state);
}
std::vector<std::string> FakeAirPlayPlugin::availableDevices() const {
    return core_.availableDevices();
}
void FakeAirPlayPlugin::setAvailableDevices(std::vector<std::string> devices) {
    core_.setAvailableDevices(std::move(devices));
}
bool FakeAirPlayPlugin::connect(const std::string& device) {
    return core_.connect(device);
}
void FakeAirPlayPlugin::disconnect() {
    core_.disconnect();
}
void FakeAirPlayPlugin::setView(std::shared_ptr<uikit::UIView> view) {
    core_.setView(std::move(view));
}
void FakeAirPlayPlugin::setRate(float rate) {
    rateSubject_.onNext(rate);
}

void FakeAirPlayPlugin::finishStreams() {
    core_.finish();
    rateSubject_.onCompleted();
}

std::vector<std::string> FakeAirPlayPlugin::calls() const {
    return core_.calls();
}
void FakeAirPlayPlugin::clearCalls() {
    core_.clearCalls();
}
void FakeAirPlayPlugin::setOnCall(std::function<void(const std::string&)> hook) {
    core_.setOnCall(std::move(hook));
}

std::vector<std::weak_ptr<avfoundation::AVPlayer>> FakeAirPlayPlugin::listenedPlayers() const {
    std::lock_guard lock(mutex_);
    return players_;
}

}  // namespace lumora::testing
