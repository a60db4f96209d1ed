#include "controls/KeyMomentsState.h"

#include "ui/AssetGraph.h"

namespace lumora {

std::shared_ptr<uikit::UIImage> KeyMomentsState::image() const {
    switch (value_) {
        case off:
            return lumora::image(&AssetGraph::BottomControls::keyMomentsOff);
        case slowReveal:
            return lumora::image(&AssetGraph::BottomControls::keyMomentsSlowReveal);
        case revealAll:
            return lumora::image(&AssetGraph::BottomControls::keyMomentsRevealAll);
    }
    return nullptr;
}

void KeyMomentsState::next(uikit::UIButton& forButton) {
    switch (value_) {
        case off:
            value_ = slowReveal;
            break;
        case slowReveal:
            value_ = revealAll;
            break;
        case revealAll:
            value_ = off;
            break;
    }
    forButton.setImageFor(image(), uikit::UIControl::State::normal());
}

}  // namespace lumora
