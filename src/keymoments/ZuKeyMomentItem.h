#pragma once

#include <memory>

#include "ui/ZuStyleManager.h"
#include "uikit/UIButton.h"
#include "uikit/UILabel.h"

namespace lumora {

// The marker of one key moment on the key-moments strip: a bubble with curved corners that carries the
// event's code, a thin stem below it and a dot at its foot, all in the tint colour. The strip places it so
// that the centre of the dot lies on the event's place on the timeline (the layer's anchor point is the
// dot's centre). Selected or highlighted, it grows by 1.3 and turns white — at the next application of its
// style, which a change of selection makes. It takes touches only inside its bubble and never focus: the
// strip takes focus and moves a highlight between markers. Main thread only.
class ZuKeyMomentItem : public uikit::UIButton {
  public:
    // A marker at the frame's origin, always `itemSize` large (the frame's size is ignored).
    static std::shared_ptr<ZuKeyMomentItem> create(const uikit::CGRect& frame = uikit::CGRect());

    // The text in the bubble (the event's code).
    const std::shared_ptr<uikit::UILabel>& textLabel() const { return textLabel_; }
    // The sizes it is laid out, drawn and hit-tested with: a copy of the player's key-moments style.
    const ZuStyleManager::KeyMoments& styles() const { return styles_; }

    // Setting it applies the style with an animation, and a selected marker is drawn above its neighbours.
    void setIsSelected(bool selected) override;
    // Applies the key-moment item style in a spring animation (0.2 s while highlighted, 0.8 s otherwise).
    void applyItemStyle();

    uikit::CGSize intrinsicContentSize() const override;
    bool canBecomeFocused() const override { return false; }
    void layoutSubviews() override;
    void draw(const uikit::CGRect& rect) override;
    void layoutMarginsDidChange() override;
    void tintColorDidChange() override;
    // Only inside the bubble: the stem, the dot and the margins let touches pass.
    bool point(uikit::CGPoint inside, const uikit::UIEvent* event) override;

    // The parts of a marker drawn in `rect` with `margins` and `styles`.
    struct Geometry {
        uikit::CGRect bubble;
        uikit::CGRect label;
        uikit::CGRect anchor;
        uikit::CGRect stem;
    };
    static Geometry geometry(const uikit::CGRect& rect, const uikit::UIEdgeInsets& margins,
                             const ZuStyleManager::KeyMoments& styles);

  protected:
    explicit ZuKeyMomentItem(const uikit::CGRect& frame);

  private:
    static std::shared_ptr<uikit::UILabel> makeTextLabel();

    std::shared_ptr<uikit::UILabel> textLabel_;
    ZuStyleManager::KeyMoments styles_;
};

}  // namespace lumora
