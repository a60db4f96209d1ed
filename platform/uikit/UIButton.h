#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "uikit/NSAttributedString.h"
#include "uikit/UIColor.h"
#include "uikit/UIControl.h"
#include "uikit/UIFont.h"
#include "uikit/UIImage.h"
#include "uikit/UIImageView.h"
#include "uikit/UILabel.h"

namespace uikit {

class UIButton;

// The Rx face of a button: `button->rx().tap()` (its touch-up-inside events), plus the control events.
class UIButtonReactive : public UIControlReactive {
  public:
    using UIControlReactive::UIControlReactive;
    rx::ControlEvent<rx::Unit> tap() const { return controlEvent(UIControl::Event::touchUpInside()); }
};

// A control showing a title and an image that can differ per state.
//
// Per-state values (title, attributed title, title colour, image): the value set for the control's exact
// state, else the one set for `normal`. The title label and the image view are subviews that show the
// current values; `titleLabel()` and `imageView()` always exist (empty content is hidden).
//
// Default layout of `titleRect` / `imageRect(forContentRect:)` (override them to change it):
// - the content rectangle is the bounds inset by `contentEdgeInsets` (`contentRect(forBounds:)`);
// - the image box is the image's size grown by `imageEdgeInsets`, the title box the title's size (its
//   text measured on one line with the label's font, at most the room left beside the image) grown by
//   `titleEdgeInsets`;
// - the two boxes sit side by side, image first, and the pair is placed in the content rectangle by the
//   content alignments (centred by default; `fill` places the pair at the leading edge); each box is
//   centred vertically (or aligned top / bottom);
// - the image and title rectangles are their boxes inset by their edge insets, so a left title inset of 14
//   moves the title 14 points away from the image.
// `intrinsicContentSize`: image width + title width and the larger height, plus `contentEdgeInsets` — the
// image and title edge insets are not included, as on the platform.
//
// Default colours: a `custom` button's titles are white; a `system` button's follow the tint colour.
// With `adjustsImageWhenHighlighted` / `adjustsImageWhenDisabled` (both true by default) the image is drawn
// at half opacity while highlighted / disabled.
class UIButton : public UIControl {
  public:
    enum class ButtonType {
        custom = 0,
        system = 1,
        detailDisclosure = 2,
        infoLight = 3,
        infoDark = 4,
        contactAdd = 5,
        close = 7
    };

    // The platform's `init(type:)` (zero frame) and `init(frame:)` (a custom button).
    static std::shared_ptr<UIButton> create(ButtonType type);
    static std::shared_ptr<UIButton> create(const CGRect& frame = CGRect());

    ButtonType buttonType() const { return type_; }

    // ---- Per-state content --------------------------------------------------------------------------
    void setTitleFor(std::optional<std::string> title, State state);
    std::optional<std::string> title(State state) const;
    void setAttributedTitleFor(std::optional<NSAttributedString> title, State state);
    std::optional<NSAttributedString> attributedTitle(State state) const;
    void setTitleColorFor(std::optional<UIColor> color, State state);
    std::optional<UIColor> titleColor(State state) const;
    void setImageFor(std::shared_ptr<UIImage> image, State state);
    std::shared_ptr<UIImage> image(State state) const;

    // For the current state.
    std::optional<std::string> currentTitle() const;
    std::optional<NSAttributedString> currentAttributedTitle() const;
    UIColor currentTitleColor() const;
    std::shared_ptr<UIImage> currentImage() const;

    const std::shared_ptr<UILabel>& titleLabel() const { return titleLabel_; }
    const std::shared_ptr<UIImageView>& imageView() const { return imageView_; }

    // ---- Geometry -----------------------------------------------------------------------------------
    UIEdgeInsets contentEdgeInsets() const { return contentEdgeInsets_; }
    void setContentEdgeInsets(const UIEdgeInsets& insets);
    UIEdgeInsets titleEdgeInsets() const { return titleEdgeInsets_; }
    void setTitleEdgeInsets(const UIEdgeInsets& insets);
    UIEdgeInsets imageEdgeInsets() const { return imageEdgeInsets_; }
    void setImageEdgeInsets(const UIEdgeInsets& insets);

    bool adjustsImageWhenHighlighted() const { return adjustsImageWhenHighlighted_; }
    void setAdjustsImageWhenHighlighted(bool flag);
    bool adjustsImageWhenDisabled() const { return adjustsImageWhenDisabled_; }
    void setAdjustsImageWhenDisabled(bool flag);

    virtual CGRect contentRect(const CGRect& forBounds) const;
    virtual CGRect titleRect(const CGRect& forContentRect) const;
    virtual CGRect imageRect(const CGRect& forContentRect) const;

    CGSize intrinsicContentSize() const override;
    CGSize sizeThatFits(CGSize size) const override;
    void layoutSubviews() override;
    void tintColorDidChange() override;
    void didUpdateFocus(const UIFocusUpdateContext& context, UIFocusAnimationCoordinator& coordinator) override;
    std::string snapshotAttributes() const override;

    UIButtonReactive rx() { return UIButtonReactive(sharedControl()); }

  protected:
    UIButton(ButtonType type, const CGRect& frame);
    void stateDidChange() override;

  private:
    template <class V>
    static const V* lookup(const std::map<State, V>& table, State state);
    // Puts the title label and the image view in (the first time a shared pointer to the button exists).
    void ensureSubviews();
    // Shows the current per-state values in the label and the image view.
    void updateContent();
    CGSize titleSize(CGFloat maxWidth) const;
    CGSize imageSize() const;
    struct Boxes {
        CGRect image;
        CGRect title;
    };
    Boxes boxes(const CGRect& contentRect) const;

    ButtonType type_;
    std::map<State, std::optional<std::string>> titles_;
    std::map<State, std::optional<NSAttributedString>> attributedTitles_;
    std::map<State, std::optional<UIColor>> titleColors_;
    std::map<State, std::shared_ptr<UIImage>> images_;
    std::shared_ptr<UILabel> titleLabel_;
    std::shared_ptr<UIImageView> imageView_;
    UIEdgeInsets contentEdgeInsets_;
    UIEdgeInsets titleEdgeInsets_;
    UIEdgeInsets imageEdgeInsets_;
    bool adjustsImageWhenHighlighted_ = true;
    bool adjustsImageWhenDisabled_ = true;
};

}  // namespace uikit
