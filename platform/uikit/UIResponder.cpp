#include "uikit/UIResponder.h"

namespace uikit {

void UIResponder::touchesBegan(const UITouchSet& touches, const UIEvent* event) {
    if (auto n = next()) n->touchesBegan(touches, event);
}

void UIResponder::touchesMoved(const UITouchSet& touches, const UIEvent* event) {
    if (auto n = next()) n->touchesMoved(touches, event);
}

void UIResponder::touchesEnded(const UITouchSet& touches, const UIEvent* event) {
    if (auto n = next()) n->touchesEnded(touches, event);
}

void UIResponder::touchesCancelled(const UITouchSet& touches, const UIEvent* event) {
    if (auto n = next()) n->touchesCancelled(touches, event);
}

void UIResponder::pressesBegan(const UIPressSet& presses, const UIPressesEvent* event) {
    if (auto n = next()) n->pressesBegan(presses, event);
}

void UIResponder::pressesEnded(const UIPressSet& presses, const UIPressesEvent* event) {
    if (auto n = next()) n->pressesEnded(presses, event);
}

}  // namespace uikit
