// Key moments and scrubbing thumbnails in the controls view: relayed between the delegate, which owns the
// key moments, and the slider row, which shows them. The view keeps no copy: the list is asked afresh.

#include <algorithm>

#include "controls/ZuPlayerControlsView.h"

namespace lumora {

std::vector<ZuKeyMomentEvent> ZuPlayerControlsView::keyMomentEvents() {
    auto d = delegate();
    if (!d) return {};
    return d->playerControlsViewKeyMomentEvents(*this).value_or(std::vector<ZuKeyMomentEvent>{});
}

void ZuPlayerControlsView::updateKeyMoments() {
    if (!delegate()) return;
    auto events = keyMomentEvents();
    if (showsSliders()) sliders_->updateKeyMoments(events);
}

void ZuPlayerControlsView::setThumbnails(std::optional<BIF> bif) {
    sliders()->setBif(std::move(bif));
}

void ZuPlayerControlsView::updateKeyMomentButtonState(KeyMomentsState state) {
    functionals()->keyMomentsStateButton()->setImageFor(state.image(), uikit::UIControl::State::normal());
}

std::optional<std::vector<ZuKeyMomentEvent>> ZuPlayerControlsView::sliderControlsViewKeyMomentEvents(
    ZuSliderControlsView& view) {
    (void)view;
    if (!delegate()) return std::nullopt;
    return keyMomentEvents();
}

void ZuPlayerControlsView::sliderControlsViewDidSelectKeyMomentItemAt(ZuSliderControlsView& view, int index) {
    auto d = delegate();
    if (!d) return;
    // The index is the marker's place on the strip, whose events are sorted by start time with each listed
    // once; looked up in the delegate's own order it would name another moment.
    const auto& shown = view.keyMomentsView()->events();
    if (index < 0 || static_cast<std::size_t>(index) >= shown.size()) return;
    const ZuKeyMomentEvent picked = shown[static_cast<std::size_t>(index)];
    // The delegate's own event, while it still lists that moment.
    const auto events = keyMomentEvents();
    const auto found = std::find(events.begin(), events.end(), picked);
    if (found == events.end()) return;
    endSliderSettling();
    // The moment's time is on the content timeline, like the slider's value: the seek goes where a release of
    // the slider at that value would, converted once to stream time.
    const double seconds = found->startTime.seconds();
    sliders()->slider()->setValue(static_cast<float>(seconds), true, false);
    seekToContentTime(seconds);
    d->playerControlsViewDidSelectKeyMoment(*this, *found);
}

void ZuPlayerControlsView::sliderControlsViewDidFocusedOnKeyMomentItemAt(ZuSliderControlsView& view, int index) {
    auto d = delegate();
    if (!d) return;
    // Like a selection: the place of the moment in the strip's list, then the delegate's own event.
    const auto& shown = view.keyMomentsView()->events();
    if (index < 0 || static_cast<std::size_t>(index) >= shown.size()) return;
    const auto events = keyMomentEvents();
    const auto found = std::find(events.begin(), events.end(), shown[static_cast<std::size_t>(index)]);
    if (found == events.end()) return;
    d->playerControlsViewDidFocusOnKeyMoment(*this, *found);
}

void ZuPlayerControlsView::sliderControlsViewDidDismissKeyMoments(ZuSliderControlsView& view) {
    (void)view;
    if (auto d = delegate()) d->playerControlsViewDidDismissKeyMoments(*this);
}

std::optional<ZuKeyMomentEvent> ZuPlayerControlsView::selectedKeyMomentEvent(ZuSliderControlsView& view) {
    (void)view;
    auto d = delegate();
    return d ? d->selectedKeyMomentEvent(*this) : std::nullopt;
}

bool ZuPlayerControlsView::functionalControlsViewShouldContainKeymomentButton(ZuFunctionalControlsView& view) {
    (void)view;
    auto d = delegate();
    return d && d->shouldShowKeyMomentButton(*this);
}

void ZuPlayerControlsView::functionalControlsViewDidTapKeyMomentButton(ZuFunctionalControlsView& view,
                                                                       ZuPlayerButton& button) {
    (void)view;
    auto d = delegate();
    if (!d) return;
    (void)button;  // always the row's key-moments button, which the delegate gets as a shared reference
    d->playerControlsViewDidTapKeyMomentButton(*this, functionals()->keyMomentsStateButton());
}

void ZuPlayerControlsView::functionalControlsViewWillToggleKeyMomentsHidden(ZuFunctionalControlsView& view,
                                                                            bool hidden) {
    (void)view;
    // The row fades the strip in or out over 0.26 s; a fade-out hides it only if no fade-in began since.
    if (hidden) {
        sliders()->dismissKeyMoments();
    } else {
        sliders()->presentKeyMoments();
    }
    setNeedsFocusUpdate();
}

}  // namespace lumora
