#include "ui/ZuApplication.h"

namespace lumora {

std::shared_ptr<ZuApplication> ZuApplication::create() {
    return std::shared_ptr<ZuApplication>(new ZuApplication());
}

void ZuApplication::sendEvent(const std::shared_ptr<uikit::UIEvent>& event) {
    uikit::UIApplication::sendEvent(event);
    foundation::NotificationCenter::defaultCenter().post(UIApplicationDidSendEvent, event);
}

}  // namespace lumora
