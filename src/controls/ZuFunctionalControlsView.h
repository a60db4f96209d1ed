#pragma once

#include <array>
#include <memory>
#include <vector>

#include "controls/ZuPlayerButton.h"
#include "controls/detail/CatalogueImages.h"
#include "playback/ZuPlayerTypes.h"
#include "ui/ZuPlayerControlsDisplayDensity.h"
#include "ui/ZuStyleManager.h"
#include "uikit/UILabel.h"
#include "uikit/UIStackView.h"
#include "uikit/UIView.h"

namespace lumora {

class ZuFunctionalControlsView;

// What the functional row proposes to its owner, and asks it. Every requirement is optional: the defaults do
// what "not implemented" does.
class ZuFunctionalControlsViewDelegate {
  public:
    virtual ~ZuFunctionalControlsViewDelegate() = default;
    // The related-content button was tapped.
    virtual void presentRelatedContent(ZuFunctionalControlsView& sender) { (void)sender; }
    // The live button was tapped.
    virtual void functionalControlsViewWillJumpToLiveEdge(ZuFunctionalControlsView& view) { (void)view; }
    // The up-next button was tapped.
    virtual void presentNextContent(ZuFunctionalControlsView& sender) { (void)sender; }
    // Whether the row offers the key-moments button; not answering is no.
    virtual bool functionalControlsViewShouldContainKeymomentButton(ZuFunctionalControlsView& view) {
        (void)view;
        return false;
    }
    // Declared for owners; this row never sends it.
    virtual void functionalControlsViewWillToggleKeyMomentsHidden(ZuFunctionalControlsView& view, bool hidden) {
        (void)view;
        (void)hidden;
    }
    // The key-moments button was tapped.
    virtual void functionalControlsViewDidTapKeyMomentButton(ZuFunctionalControlsView& view, ZuPlayerButton& button) {
        (void)view;
        (void)button;
    }
    // The speed button proposes the next speed's rate; the owner applies it with `updateSpeed`.
    virtual void functionalControlsViewWillChangePlaybackSpeed(ZuFunctionalControlsView& view, float rate) {
        (void)view;
        (void)rate;
    }
    // The full-screen button proposes the opposite of `isFullScreen`; the owner applies it.
    virtual void functionalControlsViewWillChangeFullScreen(ZuFunctionalControlsView& view, bool fullScreen) {
        (void)view;
        (void)fullScreen;
    }
};

// The row of secondary controls: playback speed, live, related content, up next with its divider, key moments,
// the time label and full screen, in three horizontal sections (left, middle, right) whose contents follow the
// display density. Every tap becomes a delegate call; the row never changes playback itself — the owner does
// and writes the resulting state back (`updateSpeed`, `setIsFullScreen`). Main thread only.
//
// Sections by density (K: the key-moments button, when the delegate asks for it):
//
//   density   left                      middle            right
//   0         speed, live, time label   related content   K, full screen
//   1         speed, live, time label   related content   K
//   2         time label                related content   K, full screen
//   3         time label                related content   K
//   4         time label                                  full screen
//   5, 6      time label
//   7, 8      (nothing: the controls show only the playback row at these densities)
//   9 to 11   time label                                  up next, divider, full screen
class ZuFunctionalControlsView : public uikit::UIView {
  public:
    // The views of the three sections, in order.
    struct SectionContents {
        std::vector<std::shared_ptr<uikit::UIView>> left, middle, right;
    };

    static std::shared_ptr<ZuFunctionalControlsView> create(const uikit::CGRect& frame = uikit::CGRect());

    std::shared_ptr<ZuFunctionalControlsViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<ZuFunctionalControlsViewDelegate> delegate) { delegate_ = std::move(delegate); }

    // 2 at first; `reloadSections()` applies a new one.
    ZuPlayerControlsDisplayDensity displayDensity() const { return displayDensity_; }
    void setDisplayDensity(ZuPlayerControlsDisplayDensity density) { displayDensity_ = density; }

    // `normal` at first; changed only by `updateSpeed`.
    VideoPlaybackSpeed videoPlaybackSpeed() const { return videoPlaybackSpeed_; }
    // False at first; every assignment picks the full-screen button's image (exit while full screen).
    bool isFullScreen() const { return isFullScreen_; }
    void setIsFullScreen(bool fullScreen);
    // False at first; every assignment hides or shows the up-next button and its divider together.
    bool isNextButtonHidden() const { return isNextButtonHidden_; }
    void setIsNextButtonHidden(bool hidden);

    const ZuStyleManager& styles() const { return styles_; }
    const std::shared_ptr<ZuPlayerButton>& speedButton() const { return speedButton_; }
    const std::shared_ptr<ZuPlayerButton>& liveButton() const { return liveButton_; }
    const std::shared_ptr<ZuPlayerButton>& relatedContentButton() const { return relatedContentButton_; }
    const std::shared_ptr<ZuPlayerButton>& nextButton() const { return nextButton_; }
    // Its image is the owner's to set.
    const std::shared_ptr<ZuPlayerButton>& keyMomentsStateButton() const { return keyMomentsStateButton_; }
    const std::shared_ptr<uikit::UILabel>& timeLabel() const { return timeLabel_; }
    const std::shared_ptr<ZuPlayerButton>& fullScreenButton() const { return fullScreenButton_; }
    const std::shared_ptr<uikit::UIStackView>& lSectionView() const { return lSectionView_; }
    const std::shared_ptr<uikit::UIStackView>& mSectionView() const { return mSectionView_; }
    const std::shared_ptr<uikit::UIStackView>& rSectionView() const { return rSectionView_; }
    const std::shared_ptr<uikit::UIView>& divider() const { return divider_; }
    // The speeds the speed button cycles through: normal, slow motion, 1.5 and double.
    const std::vector<VideoPlaybackSpeed>& allVideoPlaybackSpeeds() const { return allVideoPlaybackSpeeds_; }

    // Applies a speed chosen by the owner: the speed button's image and `videoPlaybackSpeed`. A speed that the
    // button does not offer changes nothing.
    void updateSpeed(VideoPlaybackSpeed speed);
    // Fills the three sections for the density (see the table). The owner calls it after setting the density.
    void reloadSections();
    // What the sections hold at the current density.
    SectionContents sectionContents();

    // Actions.
    void changePlaybackSpeed();
    void jumpToLiveEdge();
    void sendRelatedContentControlEvent();
    void sendNextContentControlEvent();
    void didTapKeyMomentButton();
    void changeFullScreen();

    // With a superview: puts the sections in and fills them. With none: empties and removes them.
    void willMoveToSuperview(const std::shared_ptr<uikit::UIView>& newSuperview) override;
    // The time label's text and the divider follow the tint.
    void tintColorDidChange() override;

  protected:
    explicit ZuFunctionalControlsView(const uikit::CGRect& frame);

  private:
    void setUp();
    void selectFullScreenImage();

    std::weak_ptr<ZuFunctionalControlsViewDelegate> delegate_;
    ZuPlayerControlsDisplayDensity displayDensity_ = 2;
    VideoPlaybackSpeed videoPlaybackSpeed_ = VideoPlaybackSpeed::normal;
    bool isFullScreen_ = false;
    ZuStyleManager styles_;
    std::shared_ptr<ZuPlayerButton> speedButton_;
    std::shared_ptr<ZuPlayerButton> liveButton_;
    std::shared_ptr<ZuPlayerButton> relatedContentButton_;
    bool isNextButtonHidden_ = false;
    std::shared_ptr<ZuPlayerButton> nextButton_;
    std::shared_ptr<ZuPlayerButton> keyMomentsStateButton_;
    std::shared_ptr<uikit::UILabel> timeLabel_;
    std::shared_ptr<ZuPlayerButton> fullScreenButton_;
    std::shared_ptr<uikit::UIStackView> lSectionView_;
    std::shared_ptr<uikit::UIStackView> mSectionView_;
    std::shared_ptr<uikit::UIStackView> rSectionView_;
    std::vector<VideoPlaybackSpeed> allVideoPlaybackSpeeds_;
    std::shared_ptr<uikit::UIView> divider_;
    detail::CatalogueImages images_;
};

}  // namespace lumora
