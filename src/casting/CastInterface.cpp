#include "casting/CastInterface.h"

namespace lumora {

bool CastInterface::isConnected() const {
    // Each comparison reads the state anew: a plug-in is judged on its reads in order.
    if (connectionState() == CastConnectionState::connecting) return true;
    if (connectionState() == CastConnectionState::connected) return true;
    return connectionState() == CastConnectionState::canControlCastPlayer;
}

rx::ControlEvent<std::optional<double>> CastManagerInterface::currentCastDuration() const {
    return emptyControlEvent<std::optional<double>>();
}

rx::ControlEvent<rx::Unit> CastManagerInterface::playerDidPlayToEndTime() const {
    return emptyControlEvent<rx::Unit>();
}

rx::ControlEvent<std::vector<CastCustomMessage>> CastManagerInterface::customMessageChannel() const {
    return emptyControlEvent<std::vector<CastCustomMessage>>();
}

void CastManagerInterface::customButtonTapped(const CastCustomMessage&) {}

}  // namespace lumora
