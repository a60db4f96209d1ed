#pragma once

#include <memory>

#include "uikit/UIView.h"

namespace uikit {

class UIScrollView;

// Told about scrolling. Every requirement is optional.
class UIScrollViewDelegate {
  public:
    virtual ~UIScrollViewDelegate() = default;
    virtual void scrollViewDidScroll(UIScrollView& scrollView) { (void)scrollView; }
};

// A view whose content (its subviews) can be larger than itself and is shown through its bounds: the
// content offset is the bounds' origin. Constraints between a subview and the scroll view's edges pin the
// subview to the content area, and the trailing and bottom ones size the content (`contentSize`); width
// and height constraints against the scroll view use its frame. Touch-driven scrolling belongs with the
// controls; here the offset is set by code.
class UIScrollView : public UIView {
  public:
    enum class ContentInsetAdjustmentBehavior { automatic = 0, scrollableAxes = 1, never = 2, always = 3 };
    enum class KeyboardDismissMode { none = 0, onDrag = 1, interactive = 2 };

    static std::shared_ptr<UIScrollView> create(const CGRect& frame = CGRect());

    CGSize contentSize() const { return contentSize_; }
    void setContentSize(CGSize size);
    CGPoint contentOffset() const { return bounds().origin; }
    void setContentOffset(CGPoint offset);
    // Animated: the bounds move over 0.3 s (ease in-out).
    void setContentOffsetAnimated(CGPoint offset, bool animated);
    UIEdgeInsets contentInset() const { return contentInset_; }
    void setContentInset(const UIEdgeInsets& insets);
    // The content inset plus, unless the behaviour is `never`, the safe-area insets.
    UIEdgeInsets adjustedContentInset() const;
    ContentInsetAdjustmentBehavior contentInsetAdjustmentBehavior() const { return adjustmentBehavior_; }
    void setContentInsetAdjustmentBehavior(ContentInsetAdjustmentBehavior behavior);

    bool showsHorizontalScrollIndicator() const { return showsHorizontalScrollIndicator_; }
    void setShowsHorizontalScrollIndicator(bool flag) { showsHorizontalScrollIndicator_ = flag; }
    bool showsVerticalScrollIndicator() const { return showsVerticalScrollIndicator_; }
    void setShowsVerticalScrollIndicator(bool flag) { showsVerticalScrollIndicator_ = flag; }
    bool isScrollEnabled() const { return isScrollEnabled_; }
    void setIsScrollEnabled(bool flag) { isScrollEnabled_ = flag; }
    bool isPagingEnabled() const { return isPagingEnabled_; }
    void setIsPagingEnabled(bool flag) { isPagingEnabled_ = flag; }
    bool bounces() const { return bounces_; }
    void setBounces(bool flag) { bounces_ = flag; }
    bool alwaysBounceVertical() const { return alwaysBounceVertical_; }
    void setAlwaysBounceVertical(bool flag) { alwaysBounceVertical_ = flag; }
    bool alwaysBounceHorizontal() const { return alwaysBounceHorizontal_; }
    void setAlwaysBounceHorizontal(bool flag) { alwaysBounceHorizontal_ = flag; }
    KeyboardDismissMode keyboardDismissMode() const { return keyboardDismissMode_; }
    void setKeyboardDismissMode(KeyboardDismissMode mode) { keyboardDismissMode_ = mode; }

    std::weak_ptr<UIScrollViewDelegate> delegate() const { return delegate_; }
    void setDelegate(std::weak_ptr<UIScrollViewDelegate> delegate) { delegate_ = std::move(delegate); }

    std::string snapshotAttributes() const override;

  protected:
    explicit UIScrollView(const CGRect& frame);

  private:
    void applySolvedContentSize(std::optional<CGFloat> width, std::optional<CGFloat> height) override;

    CGSize contentSize_;
    UIEdgeInsets contentInset_;
    ContentInsetAdjustmentBehavior adjustmentBehavior_ = ContentInsetAdjustmentBehavior::automatic;
    bool showsHorizontalScrollIndicator_ = true;
    bool showsVerticalScrollIndicator_ = true;
    bool isScrollEnabled_ = true;
    bool isPagingEnabled_ = false;
    bool bounces_ = true;
    bool alwaysBounceVertical_ = false;
    bool alwaysBounceHorizontal_ = false;
    KeyboardDismissMode keyboardDismissMode_ = KeyboardDismissMode::none;
    std::weak_ptr<UIScrollViewDelegate> delegate_;
};

}  // namespace uikit
