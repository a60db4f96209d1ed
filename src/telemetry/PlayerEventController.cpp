#include "telemetry/PlayerEventController.h"

#include <array>
#include <charconv>
#include <cmath>
#include <expected>

#include "dispatch/DispatchQueue.h"
#include "foundation/Date.h"
#include "foundation/URL.h"
#include "kitfoundation/Configuration.h"
#include "kitfoundation/DeviceInfo.h"
#include "playservice/ConcurrencyError.h"
#include "uikit/UIDevice.h"

namespace lumora {

namespace {

constexpr std::array<std::string_view, 3> kStateRawValues = {"playing", "pause", "stop"};
constexpr std::array<std::string_view, 4> kKindRawValues = {"period", "end", "error", "str_start"};

std::string flag(bool value) {
    return value ? "true" : "false";
}

// The shortest decimal text that reads back to the same 32-bit value, whole values with ".0"; large and
// tiny magnitudes in exponent form ("1.6777216e+07", "1e-05"). Nothing for a value that is not finite.
std::optional<std::string> positionText(float seconds) {
    if (!std::isfinite(seconds)) return std::nullopt;
    const float magnitude = std::fabs(seconds);
    const bool plain = magnitude == 0.0f || (magnitude >= 1e-4f && magnitude < 16777216.0f);
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, seconds,
                                      plain ? std::chars_format::fixed : std::chars_format::scientific);
    std::string text(buffer, result.ptr);
    if (plain && text.find('.') == std::string::npos) text += ".0";
    return text;
}

// Only absolute http(s) URLs with a host leave the process.
bool isSendableURL(const std::string& text) {
    auto url = foundation::URL::fromString(text);
    if (!url) return false;
    const std::string scheme = url->scheme();
    return (scheme == "http" || scheme == "https") && url->host().has_value() && !url->host()->empty();
}

// A header value may not carry line breaks or other control characters (they would let a value add
// header fields of its own or end the header early).
bool isSendableHeaderValue(std::string_view value) {
    for (unsigned char c : value) {
        if (c < 0x20 || c == 0x7f) return false;
    }
    return true;
}

// The outcome of an event that is not sent: delivered, as the answer of any status but 403 would be.
void deliverOnMain(rx::AnyObserver<rx::Void> observer) {
    dispatch::DispatchQueue::main().async([observer = std::move(observer)] {
        observer.onNext(rx::Void{});
        observer.onCompleted();
    });
}

std::string setting(ConfigurationKey::Case key) {
    return ConfigurationKey(key).value();
}

}  // namespace

// ---- PlayerEventState, PlayerEventKind ----

std::string PlayerEventState::rawValue() const {
    return std::string(kStateRawValues[static_cast<std::size_t>(value_)]);
}

std::optional<PlayerEventState> PlayerEventState::fromRawValue(std::string_view rawValue) {
    for (std::size_t i = 0; i < kStateRawValues.size(); ++i) {
        if (kStateRawValues[i] == rawValue) return PlayerEventState(static_cast<Case>(i));
    }
    return std::nullopt;
}

std::string PlayerEventKind::rawValue() const {
    return std::string(kKindRawValues[static_cast<std::size_t>(value_)]);
}

std::optional<PlayerEventKind> PlayerEventKind::fromRawValue(std::string_view rawValue) {
    for (std::size_t i = 0; i < kKindRawValues.size(); ++i) {
        if (kKindRawValues[i] == rawValue) return PlayerEventKind(static_cast<Case>(i));
    }
    return std::nullopt;
}

// ---- PlayerEventController ----

const PlayerEventController::Dependencies& PlayerEventController::Dependencies::current() {
    // Never destroyed: read from any thread until the process exits.
    static const Dependencies& dependencies = *new Dependencies([] {
        const DeviceInfo& device = DeviceInfo::current();
        Dependencies d;
        d.session = alamofire::AF();
        if (!device.identifier.empty()) d.deviceId = device.identifier;
        d.platformName = uikit::UIDevice::current().systemName();
        d.systemVersion = device.systemVersion;
        return d;
    }());
    return dependencies;
}

std::shared_ptr<PlayerEventController> PlayerEventController::create() {
    return create(Dependencies::current());
}

std::shared_ptr<PlayerEventController> PlayerEventController::create(Dependencies dependencies) {
    if (!dependencies.session) dependencies.session = alamofire::AF();
    return std::shared_ptr<PlayerEventController>(new PlayerEventController(std::move(dependencies)));
}

const foundation::DateFormatter& PlayerEventController::dateFormatter() {
    // One for the process, never changed once made: every controller writes the same form, and a screen's new
    // controller need not make it again. Never destroyed (read from any thread until the process exits).
    static const foundation::DateFormatter& formatter = *new foundation::DateFormatter([] {
        foundation::DateFormatter made("yyyy-MM-dd'T'HH:mm:ss.SSS");
        // The host's locale and calendar never reach the text: the service parses one fixed form.
        made.setLocale(foundation::Locale::posix());
        made.setTimeZone(foundation::TimeZone::fromAbbreviation("UTC").value_or(foundation::TimeZone::utc()));
        return made;
    }());
    return formatter;
}

rx::Observable<rx::Void> PlayerEventController::makeEventBody(PlayerEventKind kind, const PlayerEventData& data) {
    const std::string timestamp = dateFormatter().string(foundation::Date::now());
    const std::string deviceId = dependencies_.deviceId.value_or("unknown");
    const PlayerEventRequest::Body& tmpl = data.playerEventBody;

    PlayerEventRequest::Body body = tmpl;
    PlayerEventRequest::Client client;
    client.buildName = setting(ConfigurationKey::playerEventBuildName);
    client.buildVersion = setting(ConfigurationKey::playerEventBuildVersion);
    client.deviceId = deviceId;
    client.drm = tmpl.client.drm.value_or("");
    client.envPlatform = dependencies_.platformName;
    client.envVersion = dependencies_.systemVersion;
    client.pageUrl = setting(ConfigurationKey::playerEventPageName);
    client.platform = tmpl.client.platform;
    client.playerEvent = kind.rawValue();
    client.playerState = data.state.rawValue();
    client.streamUrl = data.streamUrl;
    client.userAgent = tmpl.client.userAgent;
    client.videoFormat = setting(ConfigurationKey::playerEventVideoFormat);
    client.videoProtocol = setting(ConfigurationKey::playerEventVideoProtocol);
    client.viewingSession = deviceId;
    body.client = std::move(client);
    body.originator = setting(ConfigurationKey::playerEventOriginator);
    body.timestamp = timestamp;
    body.progress.eventNumber = data.eventNumber;

    if (body.progress.live) {
        // The live block is refreshed whole; an on-demand block next to it goes out as it came.
        body.progress.live = PlayerEventRequest::Progress::Live{
            .onLiveEdge = flag(data.isOnLiveEdge.value_or(false)),
            .liveResumePossible = flag(data.liveResumePossible),
            .position = timestamp,
        };
    } else if (body.progress.vod) {
        // A playhead that is not a number is no playhead: it goes out as an absent one does.
        const float position = data.vodPosition.value_or(0.0f);
        body.progress.vod->position = *positionText(std::isfinite(position) ? position : 0.0f);
    }
    // Written once, here, and those bytes go out. A body that cannot be written faithfully (a template duration
    // that is not finite is never written as null or "nan") is not sent; that counts as delivered.
    auto encoded = foundation::JSONEncoder().encode(body);
    std::optional<foundation::Data> bytes;
    if (encoded) bytes = std::move(*encoded);

    auto session = dependencies_.session;
    auto url = data.playerEventUrl;
    auto token = data.auth0Token;
    return rx::Observable<rx::Void>::create(
        [bytes = std::move(bytes), session, url, token](const rx::AnyObserver<rx::Void>& observer) {
            if (!bytes || !isSendableURL(url) || !isSendableHeaderValue(token)) {
                deliverOnMain(observer);
                return rx::Disposables::create();
            }
            const alamofire::HTTPHeaders headers{{"Authorization", "Bearer " + token}};
            session
                ->request(url, alamofire::HTTPMethod::post, std::nullopt, alamofire::JSONEncoding::default_(), headers,
                          nullptr,
                          [&bytes](foundation::URLRequest& request) {
                              // The body as a JSON parameter encoder sets it.
                              if (!request.value("Content-Type")) request.setValue("application/json", "Content-Type");
                              request.httpBody = *bytes;
                              request.maximumResponseSize = maximumResponseSize;
                          })
                ->responseData(dispatch::DispatchQueue::main(),
                               [observer](const alamofire::DataResponse<foundation::Data>& response) {
                                   // Only the status counts: the answer's plays (`AssetPlays`) are of no use here,
                                   // so they are not decoded.
                                   if (response.response && response.response->statusCode == 403) {
                                       observer.onError(ConcurrencyError(ConcurrencyError::defaultError));
                                       return;
                                   }
                                   observer.onNext(rx::Void{});
                                   observer.onCompleted();
                               });
            // The request runs to its end even when the subscription is disposed.
            return rx::Disposables::create();
        });
}

}  // namespace lumora
