// A small host of the installed kit: it touches a piece of every layer (thumbnails and their image
// decoders, property lists, settings, sign-in errors, the play service's errors, the video view, player
// events and analytics, the screen's styles, casting), so that a library the package forgets to name fails the link.
// It has a warning of its own, as hosts do: the kit's warning flags are how the kit is built, and must not
// reach a host through the package and turn its warnings into errors.
#include <cstdio>
#include <vector>

#include "authentication/AuthenticationError.h"
#include "casting/CastManager.h"
#include "foundation/PropertyList.h"
#include "keymoments/BIF.h"
#include "kitfoundation/Configuration.h"
#include "playback/ZuVideoView.h"
#include "playservice/VideoError.h"
#include "telemetry/PlayerEventController.h"
#include "telemetry/YouboraManager.h"
#include "ui/ZuStyleManager.h"

#warning "the host's own warning"

int main() {
    const std::vector<std::uint8_t> notABIF(80, 0x42);
    const auto bif = lumora::BIF::from(notABIF, lumora::BIFResolution::standard);
    const auto plist = foundation::PropertyListSerialization::data(foundation::PropertyList("host"));
    const auto key = lumora::ConfigurationKey::fromRawValue("SDK_PlayServiceURL");
    const auto state = lumora::PlayerEventState::fromRawValue("playing");
    const foundation::Error error(lumora::AuthenticationError::inactiveAccount());
    const foundation::Error video(lumora::VideoError(lumora::VideoError::noAvailableStreamError));
    const auto view = lumora::ZuVideoView::create();
    const auto cast = lumora::CastManager::create();
    const auto analytics = lumora::YouboraManager::shared();
    [[maybe_unused]] const auto& style = lumora::ZuStyleManager::default_();
    const bool ok = !bif && plist && key && state && !error.localizedDescription().empty() &&
                    !video.localizedDescription().empty() && view && cast && analytics;
    std::printf("lumora consumer: %s\n", ok ? "ok" : "unexpected answers");
    return ok ? 0 : 1;
}
