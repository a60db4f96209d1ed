#include "controls/ZuFunctionalControlsView.h"

#include <algorithm>

#include "ui/AssetGraph.h"
#include "ui/ViewExtensions.h"
#include "uikit/ConstraintMaker.h"

namespace lumora {

using uikit::CGSize;
using uikit::UIEdgeInsets;
using Event = uikit::UIControl::Event;
using State = uikit::UIControl::State;

namespace {

constexpr CGSize kButtonSize{44, 44};
constexpr uikit::CGFloat kSectionSpacing = 14.0;
constexpr UIEdgeInsets kTitleInsets{0, 14, 0, 0};

std::shared_ptr<uikit::UIStackView> makeSection() {
    auto section = uikit::UIStackView::create();
    section->setAxis(uikit::UIView::Axis::horizontal);
    section->setSpacing(kSectionSpacing);
    section->setAlignment(uikit::UIStackView::Alignment::center);
    return section;
}

void fill(uikit::UIStackView& section, const std::vector<std::shared_ptr<uikit::UIView>>& views) {
    removeAllArrangedSubviews(section);
    for (const auto& view : views) section.addArrangedSubview(view);
}

}  // namespace

std::shared_ptr<ZuFunctionalControlsView> ZuFunctionalControlsView::create(const uikit::CGRect& frame) {
    std::shared_ptr<ZuFunctionalControlsView> view(new ZuFunctionalControlsView(frame));
    view->setUp();
    return view;
}

ZuFunctionalControlsView::ZuFunctionalControlsView(const uikit::CGRect& frame)
    : UIView(frame),
      styles_(ZuStyleManager::default_()),
      speedButton_(ZuPlayerButton::controlButton(kButtonSize)),
      liveButton_(ZuPlayerButton::controlButton(kButtonSize)),
      relatedContentButton_(ZuPlayerButton::controlButton(std::nullopt)),
      nextButton_(ZuPlayerButton::controlButton(std::nullopt)),
      keyMomentsStateButton_(ZuPlayerButton::controlButton(kButtonSize)),
      timeLabel_(uikit::UILabel::create()),
      fullScreenButton_(ZuPlayerButton::controlButton(kButtonSize)),
      lSectionView_(makeSection()),
      mSectionView_(makeSection()),
      rSectionView_(makeSection()),
      allVideoPlaybackSpeeds_{VideoPlaybackSpeed::normal, VideoPlaybackSpeed::slowMo, VideoPlaybackSpeed::oneHalf,
                              VideoPlaybackSpeed::double_},
      divider_(uikit::UIView::create()) {
    const auto& copy = AssetGraph::shared().bottomControls.copy;
    liveButton_->setAdjustsImageWhenDisabled(false);
    liveButton_->setIsHidden(true);
    relatedContentButton_->setTitleEdgeInsets(kTitleInsets);
    relatedContentButton_->setTitleFor(copy.relatedContentButtonText, State::normal());
    nextButton_->setTitleEdgeInsets(kTitleInsets);
    nextButton_->setTitleFor(copy.nextContentButtonText, State::normal());
    nextButton_->setContentCompressionResistancePriorityFor(750, uikit::UIView::Axis::horizontal);
    if (copy.keyMomentsButtonText) {
        keyMomentsStateButton_->setTitleEdgeInsets(kTitleInsets);
        keyMomentsStateButton_->setTitleFor(copy.keyMomentsButtonText, State::normal());
    }
    timeLabel_->setAlpha(0.6);
    divider_->snp().makeConstraints([](uikit::ConstraintMaker& make) {
        make.width().equalTo(1);
        make.height().equalTo(16);
    });
}

void ZuFunctionalControlsView::setUp() {
    updateSpeed(videoPlaybackSpeed_);
    auto self = sharedAs<ZuFunctionalControlsView>();
    const Event primary = Event::primaryActionTriggered();
    speedButton_->addTargetAction(self, &ZuFunctionalControlsView::changePlaybackSpeed, primary);
    liveButton_->addTargetAction(self, &ZuFunctionalControlsView::jumpToLiveEdge, primary);
    relatedContentButton_->addTargetAction(self, &ZuFunctionalControlsView::sendRelatedContentControlEvent, primary);
    nextButton_->addTargetAction(self, &ZuFunctionalControlsView::sendNextContentControlEvent, primary);
    keyMomentsStateButton_->addTargetAction(self, &ZuFunctionalControlsView::didTapKeyMomentButton, primary);
    fullScreenButton_->addTargetAction(self, &ZuFunctionalControlsView::changeFullScreen, primary);

    liveButton_->setImageFor(image(&AssetGraph::BottomControls::backToLive), State::normal());
    liveButton_->setImageFor(image(&AssetGraph::BottomControls::isLive), State::disabled());
    relatedContentButton_->setImageFor(image(&AssetGraph::BottomControls::relatedVideos), State::normal());
    nextButton_->setImageFor(image(&AssetGraph::BottomControls::nextContent), State::normal());
    selectFullScreenImage();
    styles_.timeLabel.apply(*timeLabel_);
    tintColorDidChange();
}

// ---- State written by the owner -----------------------------------------------------------------------------

void ZuFunctionalControlsView::setIsFullScreen(bool fullScreen) {
    isFullScreen_ = fullScreen;
    selectFullScreenImage();
}

void ZuFunctionalControlsView::selectFullScreenImage() {
    const auto& bottom = AssetGraph::shared().bottomControls;
    fullScreenButton_->setImageFor(images_.image(isFullScreen_ ? bottom.exitFullScreen : bottom.enterFullScreen),
                                   State::normal());
}

void ZuFunctionalControlsView::setIsNextButtonHidden(bool hidden) {
    isNextButtonHidden_ = hidden;
    nextButton_->setIsHidden(hidden);
    divider_->setIsHidden(hidden);
}

void ZuFunctionalControlsView::updateSpeed(VideoPlaybackSpeed speed) {
    const auto& speeds = allVideoPlaybackSpeeds_;
    if (std::find(speeds.begin(), speeds.end(), speed) == speeds.end()) return;
    speedButton_->setImageFor(images_.image(AssetGraph::BottomControls::speedAssetFor(speed.rawValue())),
                              State::normal());
    videoPlaybackSpeed_ = speed;
}

// ---- Sections -----------------------------------------------------------------------------------------------

ZuFunctionalControlsView::SectionContents ZuFunctionalControlsView::sectionContents() {
    auto d = delegate();
    const bool offersKeyMoments = d && d->functionalControlsViewShouldContainKeymomentButton(*this);
    std::vector<std::shared_ptr<uikit::UIView>> k;
    if (offersKeyMoments) k.push_back(keyMomentsStateButton_);
    auto withK = [&k](std::vector<std::shared_ptr<uikit::UIView>> rest) {
        rest.insert(rest.begin(), k.begin(), k.end());
        return rest;
    };
    switch (displayDensity_.rawValue()) {
        case 0:
            return {{speedButton_, liveButton_, timeLabel_}, {relatedContentButton_}, withK({fullScreenButton_})};
        case 1:
            return {{speedButton_, liveButton_, timeLabel_}, {relatedContentButton_}, withK({})};
        case 2:
            return {{timeLabel_}, {relatedContentButton_}, withK({fullScreenButton_})};
        case 3:
            return {{timeLabel_}, {relatedContentButton_}, withK({})};
        case 4:
            return {{timeLabel_}, {}, {fullScreenButton_}};
        case 5:
        case 6:
            return {{timeLabel_}, {}, {}};
        case 7:
        case 8:
            // The controls keep only the playback row at these densities: the sections stay empty.
            return {};
        default:
            return {{timeLabel_}, {}, {nextButton_, divider_, fullScreenButton_}};
    }
}

void ZuFunctionalControlsView::reloadSections() {
    const SectionContents contents = sectionContents();
    fill(*lSectionView_, contents.left);
    fill(*mSectionView_, contents.middle);
    fill(*rSectionView_, contents.right);
    if (timeLabel_->superview()) {
        static constexpr std::array<bool, ZuPlayerControlsDisplayDensity::count> wide{
            true, true, true, true, false, false, false, false, false, true, true, true};
        timeLabel_->setLayoutMargins(displayDensity_.in(wide) ? UIEdgeInsets{0, 20, 0, 20} : UIEdgeInsets{});
    }
}

// ---- Actions ------------------------------------------------------------------------------------------------

void ZuFunctionalControlsView::changePlaybackSpeed() {
    const auto& speeds = allVideoPlaybackSpeeds_;
    VideoPlaybackSpeed next = VideoPlaybackSpeed::normal;
    auto found = std::find(speeds.begin(), speeds.end(), videoPlaybackSpeed_);
    if (found != speeds.end()) next = std::next(found) == speeds.end() ? speeds.front() : *std::next(found);
    if (auto d = delegate()) d->functionalControlsViewWillChangePlaybackSpeed(*this, next.rawValue());
}

void ZuFunctionalControlsView::jumpToLiveEdge() {
    if (auto d = delegate()) d->functionalControlsViewWillJumpToLiveEdge(*this);
    liveButton_->setIsHidden(false);
}

void ZuFunctionalControlsView::sendRelatedContentControlEvent() {
    if (auto d = delegate()) d->presentRelatedContent(*this);
}

void ZuFunctionalControlsView::sendNextContentControlEvent() {
    if (auto d = delegate()) d->presentNextContent(*this);
}

void ZuFunctionalControlsView::didTapKeyMomentButton() {
    if (auto d = delegate()) d->functionalControlsViewDidTapKeyMomentButton(*this, *keyMomentsStateButton_);
}

void ZuFunctionalControlsView::changeFullScreen() {
    if (auto d = delegate()) d->functionalControlsViewWillChangeFullScreen(*this, !isFullScreen_);
}

// ---- Life cycle ---------------------------------------------------------------------------------------------

void ZuFunctionalControlsView::willMoveToSuperview(const std::shared_ptr<uikit::UIView>& newSuperview) {
    UIView::willMoveToSuperview(newSuperview);
    if (!newSuperview) {
        for (const auto& section : {lSectionView_, mSectionView_, rSectionView_}) fill(*section, {});
        const auto remaining = subviews();
        for (const auto& view : remaining) view->removeFromSuperview();
        return;
    }
    addSubview(lSectionView_);
    addSubview(mSectionView_);
    addSubview(rSectionView_);
    lSectionView_->snp().remakeConstraints(
        [](uikit::ConstraintMaker& make) { make.leading().top().bottom().equalToSuperview(); });
    rSectionView_->snp().remakeConstraints(
        [](uikit::ConstraintMaker& make) { make.trailing().top().bottom().equalToSuperview(); });
    auto left = lSectionView_;
    auto right = rSectionView_;
    mSectionView_->snp().remakeConstraints([&](uikit::ConstraintMaker& make) {
        make.top().bottom().equalToSuperview();
        make.centerX().equalToSuperview().priority(uikit::ConstraintPriority::medium());
        // Never closer to its neighbours than the members of a section are to each other: on a narrow row
        // the time would otherwise run into the middle section (and the right one into both).
        make.leading().greaterThanOrEqualTo(left->snp().trailing()).offset(kSectionSpacing);
        make.trailing().lessThanOrEqualTo(right->snp().leading()).offset(-kSectionSpacing);
    });
    reloadSections();
}

void ZuFunctionalControlsView::tintColorDidChange() {
    UIView::tintColorDidChange();
    timeLabel_->setTextColor(tintColor());
    divider_->setBackgroundColor(tintColor().withAlphaComponent(0.15));
}

}  // namespace lumora
