#pragma once

#include <memory>

#include "rx/Disposables.h"
#include "uikit/UIGestureRecognizer.h"
#include "uikit/UIView.h"

namespace lumora {

class ZuPageView;

// Answers which page a page view shows after the one it shows now.
class ZuPageViewDataSource {
  public:
    virtual ~ZuPageViewDataSource() = default;
    // The page to show after `page` (nothing: none). Nothing by default.
    virtual std::shared_ptr<uikit::UIView> pageViewAfter(ZuPageView& pageView,
                                                         const std::shared_ptr<uikit::UIView>& page) {
        (void)pageView;
        (void)page;
        return nullptr;
    }
};

// Told about a page view's swaps. Every requirement but `didSkip` does nothing by default.
class ZuPageViewDelegate {
  public:
    virtual ~ZuPageViewDelegate() = default;
    // `view` is about to be shown; nothing when the page view is being emptied.
    virtual void pageViewWillPresentView(ZuPageView& pageView, const std::shared_ptr<uikit::UIView>& view) {
        (void)pageView;
        (void)view;
    }
    // `view` is now shown (nothing: the page view is empty).
    virtual void pageViewDidPresentView(ZuPageView& pageView, const std::shared_ptr<uikit::UIView>& view) {
        (void)pageView;
        (void)view;
    }
    // `view`, the page shown now, is about to go.
    virtual void pageViewWillDismissView(ZuPageView& pageView, const std::shared_ptr<uikit::UIView>& view) {
        (void)pageView;
        (void)view;
    }
    // The viewer asked to dismiss the page (the remote's Menu button).
    virtual void dismissPageView(ZuPageView& pageView) { (void)pageView; }
    // A skip of `to` seconds was asked for. The page view never sends it; its owner implements it.
    virtual void didSkip(double to) = 0;
};

// A container showing at most one page at a time, which it swaps with a cross-fade: the shown page fades out
// over 0.2 s and leaves, then the next one fades in over 0.2 s, filling the container. A tap on the container
// outside the shown page (or anywhere while none is shown) asks the data source for the next page; the
// remote's Menu button asks the delegate to dismiss the page.
//
// The page view never owns a page: whoever made it keeps it alive, and while it is shown the page view's
// subviews hold it too. Data source and delegate are held weakly. Main thread only.
class ZuPageView : public uikit::UIView, public uikit::UIGestureRecognizerDelegate {
  public:
    static constexpr double fadeDuration = 0.2;

    static std::shared_ptr<ZuPageView> create(const uikit::CGRect& frame = uikit::CGRect());

    std::shared_ptr<ZuPageViewDataSource> dataSource() const { return dataSource_.lock(); }
    // No side effect: the next swap asks the new data source.
    void setDataSource(std::weak_ptr<ZuPageViewDataSource> dataSource) { dataSource_ = std::move(dataSource); }
    // Set by the page view's owner (the player view).
    std::shared_ptr<ZuPageViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<ZuPageViewDelegate> delegate) { delegate_ = std::move(delegate); }
    // The page shown now (from the start of its fade-in); nothing while empty.
    std::shared_ptr<uikit::UIView> page() const { return page_.lock(); }

    // Asks the data source for the page after the shown one and swaps to it when it differs.
    void updatePageIfNeeded();
    // Empties the page view when it shows a page.
    void dismissAll();
    // Swaps the shown page for `page` (nothing: empties the page view), with the fades and the delegate calls.
    // A swap started while another runs is neither queued nor cancelled: each runs its own course.
    void replacePage(const std::shared_ptr<uikit::UIView>& page);

    // The tap recogniser takes only touches that land on the container itself.
    bool gestureRecognizerShouldReceive(uikit::UIGestureRecognizer& recognizer, uikit::UITouch& touch) override;
    using uikit::UIGestureRecognizerDelegate::gestureRecognizerShouldReceive;
    // A single tap waits until a double-tap recogniser on the same touches has failed.
    bool gestureRecognizerShouldRequireFailureOf(uikit::UIGestureRecognizer& recognizer,
                                                 uikit::UIGestureRecognizer& other) override;

    const std::shared_ptr<uikit::UITapGestureRecognizer>& tapRecognizer() const { return tapRecognizer_; }
    const std::shared_ptr<uikit::UITapGestureRecognizer>& menuPressRecognizer() const { return menuPressRecognizer_; }

  protected:
    explicit ZuPageView(const uikit::CGRect& frame);

  private:
    void installRecognizers();
    static void present(const std::weak_ptr<ZuPageView>& weakSelf, const std::weak_ptr<uikit::UIView>& weakPage);

    std::weak_ptr<ZuPageViewDataSource> dataSource_;
    std::weak_ptr<ZuPageViewDelegate> delegate_;
    std::weak_ptr<uikit::UIView> page_;
    std::shared_ptr<uikit::UITapGestureRecognizer> tapRecognizer_;
    std::shared_ptr<uikit::UITapGestureRecognizer> menuPressRecognizer_;
    rx::DisposeBag disposeBag_;
};

}  // namespace lumora
