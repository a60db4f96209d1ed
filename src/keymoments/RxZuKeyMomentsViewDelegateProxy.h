#pragma once

#include <memory>
#include <optional>

#include "keymoments/ZuKeyMomentsView.h"
#include "rx/DelegateProxy.h"

namespace lumora {

// The reactive delegate proxy of the key-moments strip: it stands in as the strip's delegate and forwards
// every requirement to its forward delegate (held weakly unless installed as retained). The slider controls
// install themselves with `installForwardDelegate(self, false, strip)`; the disposable removes them again.
class RxZuKeyMomentsViewDelegateProxy final
    : public rx::DelegateProxy<ZuKeyMomentsView, ZuKeyMomentsViewDelegate, RxZuKeyMomentsViewDelegateProxy> {
  public:
    static std::shared_ptr<RxZuKeyMomentsViewDelegateProxy> create(const std::shared_ptr<ZuKeyMomentsView>& view) {
        return std::shared_ptr<RxZuKeyMomentsViewDelegateProxy>(new RxZuKeyMomentsViewDelegateProxy(view));
    }
    static std::shared_ptr<ZuKeyMomentsViewDelegate> currentDelegate(ZuKeyMomentsView& view) { return view.delegate(); }
    static void setCurrentDelegate(ZuKeyMomentsView& view, const std::shared_ptr<ZuKeyMomentsViewDelegate>& delegate) {
        view.setDelegate(delegate);
    }

    std::optional<int> indexForPreferredFocusedItem(ZuKeyMomentsView& view) override {
        auto forward = forwardToDelegate();
        return forward ? forward->indexForPreferredFocusedItem(view) : std::nullopt;
    }
    void keyMomentsViewDidSelectItemAt(ZuKeyMomentsView& view, int index) override {
        if (auto forward = forwardToDelegate()) forward->keyMomentsViewDidSelectItemAt(view, index);
    }
    void keyMomentsViewDidFocusedOnItemAt(ZuKeyMomentsView& view, int index) override {
        if (auto forward = forwardToDelegate()) forward->keyMomentsViewDidFocusedOnItemAt(view, index);
    }
    void didDismissKeyMomentsView(ZuKeyMomentsView& view) override {
        if (auto forward = forwardToDelegate()) forward->didDismissKeyMomentsView(view);
    }
    std::optional<ZuKeyMomentEvent> selectedKeyMoment(ZuKeyMomentsView& view) override {
        auto forward = forwardToDelegate();
        return forward ? forward->selectedKeyMoment(view) : std::nullopt;
    }

  private:
    using DelegateProxy::DelegateProxy;
};

}  // namespace lumora
