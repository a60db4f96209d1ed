#include "casting/CastManager.h"

#include <cmath>
#include <utility>

#include "rx/Schedulers.h"

namespace lumora {

namespace {

constexpr double kLiveEdgeTolerance = 10.0;

// A plug-in's stream as a plain observable; a stream that completes at once without the plug-in.
template <class T, class Plugin, class Member>
rx::Observable<T> streamOf(const std::shared_ptr<Plugin>& plugin, Member member) {
    if (!plugin) return rx::Observable<T>::empty();
    return ((*plugin).*member)().asObservable();
}

// The Chromecast plug-in's current stream; none without the plug-in.
std::optional<CastStream> currentStreamOf(const std::shared_ptr<CastManagerInterface>& chromecast) {
    if (!chromecast) return std::nullopt;
    return chromecast->currentCastStream();
}

bool passesConnectedTest(const std::shared_ptr<CastInterface>& plugin) {
    return plugin && plugin->isConnected();
}

template <class T, class Plugin, class Member>
std::optional<rx::ControlEvent<T>> controlEventOf(const std::shared_ptr<Plugin>& plugin, Member member) {
    if (!plugin) return std::nullopt;
    return ((*plugin).*member)();
}

}  // namespace

std::shared_ptr<CastManager> CastManager::create() {
    return std::shared_ptr<CastManager>(new CastManager());
}

CastManager::~CastManager() = default;

std::shared_ptr<CastManagerInterface> CastManager::chromecastPlugin() const {
    std::lock_guard lock(mutex_);
    return chromecastPlugin_;
}

std::shared_ptr<AirPlayManagerInterface> CastManager::airplayPlugin() const {
    std::lock_guard lock(mutex_);
    return airplayPlugin_;
}

void CastManager::set(std::shared_ptr<CastManagerInterface> chromecastPlugin) {
    {
        std::lock_guard lock(mutex_);
        chromecastPlugin_.swap(chromecastPlugin);
    }
    // The replaced plug-in (now in the argument) goes here, outside the lock: its release may call back in.
}

void CastManager::set(std::shared_ptr<AirPlayManagerInterface> airplayPlugin) {
    {
        std::lock_guard lock(mutex_);
        airplayPlugin_.swap(airplayPlugin);
    }
}

// ---- Answers ----

bool CastManager::isAirPlay() const {
    return passesConnectedTest(airplayPlugin());
}

bool CastManager::isChromecast() const {
    return passesConnectedTest(chromecastPlugin());
}

bool CastManager::isConnected() const {
    return passesConnectedTest(chromecastPlugin()) || passesConnectedTest(airplayPlugin());
}

std::optional<CastStream> CastManager::currentCastStream() const {
    return currentStreamOf(chromecastPlugin());
}

bool CastManager::canControlCastPlayer() const {
    if (auto chromecast = chromecastPlugin();
        chromecast && chromecast->connectionState() == CastConnectionState::canControlCastPlayer) {
        return true;
    }
    // Read anew: the plug-in (or its state) may have changed since the first look.
    auto chromecast = chromecastPlugin();
    return chromecast && chromecast->connectionState() == CastConnectionState::connected;
}

std::optional<rx::ControlEvent<bool>> CastManager::isPlaying() const {
    return controlEventOf<bool>(chromecastPlugin(), &CastManagerInterface::isPlaying);
}

std::optional<rx::ControlEvent<coremedia::CMTime>> CastManager::playerCurrentTime() const {
    return controlEventOf<coremedia::CMTime>(chromecastPlugin(), &CastManagerInterface::playerCurrentTime);
}

std::optional<rx::ControlEvent<coremedia::CMTime>> CastManager::playerDuration() const {
    return controlEventOf<coremedia::CMTime>(chromecastPlugin(), &CastManagerInterface::playerDuration);
}

std::optional<std::string> CastManager::deviceName() const {
    if (passesConnectedTest(airplayPlugin())) {
        // A connected AirPlay route decides, even when it has no name to give.
        if (auto named = airplayPlugin()) return named->deviceName();
        return std::nullopt;
    }
    auto chromecast = chromecastPlugin();
    if (!chromecast) return std::nullopt;
    return chromecast->deviceName();
}

rx::Observable<CastConnectionState> CastManager::connectionStatus() const {
    using State = CastConnectionState;
    // AirPlay's states first, then Chromecast's; each source subscribed on the current thread's trampoline,
    // so the merge neither recurses nor waits for a later turn.
    auto airplay = airplayPlugin();
    rx::ControlEvent<State> airplayStatus(airplay ? airplay->connectionStatus().asObservable()
                                                  : rx::Observable<State>::empty());
    auto chromecast = chromecastPlugin();
    rx::ControlEvent<State> chromecastStatus(chromecast ? chromecast->connectionStatus().asObservable()
                                                        : rx::Observable<State>::empty());
    return rx::Observable<rx::ControlEvent<State>>::of({airplayStatus, chromecastStatus},
                                                       rx::CurrentThreadScheduler::instance())
        .merge();
}

rx::Observable<CastConnectionState> CastManager::airplayConnectionStatus() const {
    return streamOf<CastConnectionState>(airplayPlugin(), &CastInterface::connectionStatus);
}

rx::Observable<CastConnectionState> CastManager::chromecastConnectionStatus() const {
    return streamOf<CastConnectionState>(chromecastPlugin(), &CastInterface::connectionStatus);
}

rx::Observable<bool> CastManager::castStatus() const {
    return streamOf<bool>(chromecastPlugin(), &CastManagerInterface::castStatus);
}

rx::Observable<rx::Unit> CastManager::playerDidPlayToEndTime() const {
    return streamOf<rx::Unit>(chromecastPlugin(), &CastManagerInterface::playerDidPlayToEndTime);
}

rx::Observable<float> CastManager::castPlaybackRate() const {
    return streamOf<float>(chromecastPlugin(), &CastInterface::playbackRate);
}

rx::Observable<foundation::Error> CastManager::errorStatus() const {
    return streamOf<foundation::Error>(chromecastPlugin(), &CastManagerInterface::errorStatus);
}

std::string CastManager::chromecastDeviceName() const {
    auto chromecast = chromecastPlugin();
    if (!chromecast) return "-";
    return chromecast->deviceName().value_or("-");
}

std::string CastManager::currentCastStreamTitle() const {
    auto stream = currentStreamOf(chromecastPlugin());
    return stream ? stream->title : "-";
}

std::vector<MediaTrack> CastManager::currentCastStreamClosedCaptions() const {
    auto stream = currentStreamOf(chromecastPlugin());
    return stream ? std::move(stream->closedCaptions) : std::vector<MediaTrack>{};
}

rx::Observable<std::vector<MediaTrack>> CastManager::availableClosedCaptions() const {
    return streamOf<std::vector<MediaTrack>>(chromecastPlugin(), &CastManagerInterface::availableClosedCaptions);
}

// ---- Operations ----

std::shared_ptr<uikit::UIView> CastManager::makeCastView(CastType type) {
    switch (type) {
        case CastType::chromecast:
            if (auto chromecast = chromecastPlugin()) return chromecast->makeView();
            return nullptr;
        case CastType::airplay:
            if (auto airplay = airplayPlugin()) return airplay->makeView();
            return nullptr;
    }
    return nullptr;
}

bool CastManager::isConnected(CastType type) const {
    switch (type) {
        case CastType::chromecast:
            return passesConnectedTest(chromecastPlugin());
        case CastType::airplay:
            return passesConnectedTest(airplayPlugin());
    }
    return false;
}

std::string CastManager::deviceName(CastType type) const {
    switch (type) {
        case CastType::chromecast: {
            auto chromecast = chromecastPlugin();
            auto name = chromecast ? chromecast->deviceName() : std::nullopt;
            return name.value_or("Chromecast");
        }
        case CastType::airplay: {
            auto airplay = airplayPlugin();
            auto name = airplay ? airplay->deviceName() : std::nullopt;
            return name.value_or("AirPlay");
        }
    }
    return {};
}

void CastManager::addAirPlayListener(std::shared_ptr<avfoundation::AVPlayer> player) {
    if (auto airplay = airplayPlugin()) airplay->addAirPlayListener(std::move(player));
}

void CastManager::seekToLiveEdge() {
    // One read for both calls: the plug-in that jumps to the live edge is the one that was just set to 1.0,
    // even when the first call replaces the plug-in.
    auto chromecast = chromecastPlugin();
    if (!chromecast) return;
    chromecast->setPlaybackRate(1.0f);
    chromecast->seekToLiveEdge();
}

void CastManager::setPlaybackRate(float rate) {
    if (auto chromecast = chromecastPlugin()) chromecast->setPlaybackRate(rate);
}

void CastManager::setupChromecast(const std::string& text) {
    if (auto chromecast = chromecastPlugin()) chromecast->setup(text);
}

void CastManager::load(const CastStream& stream, double position) {
    if (auto chromecast = chromecastPlugin()) chromecast->load(stream, position);
}

void CastManager::togglePlayback() {
    if (auto chromecast = chromecastPlugin()) chromecast->togglePlayback();
}

void CastManager::seek(double position, bool relative, CastResumeState resumeState) {
    if (auto chromecast = chromecastPlugin()) chromecast->seek(position, relative, resumeState);
}

void CastManager::presentCastInstructionsViewControllerOnce(std::shared_ptr<uikit::UIBarButtonItem> item) {
    if (auto chromecast = chromecastPlugin()) chromecast->presentCastInstructionsViewControllerOnce(std::move(item));
}

void CastManager::disconnectChromecast() {
    if (auto chromecast = chromecastPlugin()) chromecast->stopCasting(true);
}

void CastManager::setCast(std::optional<MediaTrack> closedCaptions) {
    if (auto chromecast = chromecastPlugin()) chromecast->set(std::move(closedCaptions));
}

std::optional<MediaTrack> CastManager::findClosedCaptions(const std::string& languageCode) const {
    auto stream = currentStreamOf(chromecastPlugin());
    if (!stream) return std::nullopt;
    for (auto& track : stream->closedCaptions) {
        if (track.languageCode == languageCode) return std::move(track);
    }
    return std::nullopt;
}

bool CastManager::isPlaybackLive(double position) const {
    auto stream = currentStreamOf(chromecastPlugin());
    const double duration = stream ? stream->duration.value_or(0.0) : 0.0;
    // A time that is not a number cannot be near the live edge (and NaN would otherwise slip through any
    // comparison written the other way round).
    if (std::isnan(position) || std::isnan(duration)) return false;
    return std::fabs(position - duration) <= kLiveEdgeTolerance;
}

rx::ControlEvent<std::vector<CastCustomMessage>> CastManager::customMessageChannel() const {
    if (auto chromecast = chromecastPlugin()) return chromecast->customMessageChannel();
    return emptyControlEvent<std::vector<CastCustomMessage>>();
}

void CastManager::customButtonTapped(const CastCustomMessage& message) {
    if (auto chromecast = chromecastPlugin()) chromecast->customButtonTapped(message);
}

}  // namespace lumora
