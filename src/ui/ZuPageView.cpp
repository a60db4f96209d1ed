#include "ui/ZuPageView.h"

#include "rx/Schedulers.h"

namespace lumora {

using uikit::UIGestureRecognizer;
using uikit::UITapGestureRecognizer;
using uikit::UIView;

ZuPageView::ZuPageView(const uikit::CGRect& frame) : UIView(frame) {}

std::shared_ptr<ZuPageView> ZuPageView::create(const uikit::CGRect& frame) {
    auto view = std::shared_ptr<ZuPageView>(new ZuPageView(frame));
    view->installRecognizers();
    return view;
}

void ZuPageView::installRecognizers() {
    std::weak_ptr<ZuPageView> weakSelf = sharedAs<ZuPageView>();

    tapRecognizer_ = UITapGestureRecognizer::create();
    tapRecognizer_->setCancelsTouchesInView(false);
    tapRecognizer_->setDelaysTouchesEnded(false);
    tapRecognizer_->setDelegate(std::weak_ptr<uikit::UIGestureRecognizerDelegate>(sharedAs<ZuPageView>()));
    addGestureRecognizer(tapRecognizer_);
    tapRecognizer_->rx()
        .event()
        .filter([](const std::shared_ptr<UITapGestureRecognizer>& r) {
            return r->state() == UIGestureRecognizer::State::ended;
        })
        .filter([weakSelf](const std::shared_ptr<UITapGestureRecognizer>& r) {
            // Taps on the shown page are the page's own.
            auto self = weakSelf.lock();
            auto page = self ? self->page() : nullptr;
            if (!page) return true;
            return !page->point(r->location(page), nullptr);
        })
        .observeOn(rx::MainScheduler::asyncInstance())
        .subscribe([weakSelf](const std::shared_ptr<UITapGestureRecognizer>&) {
            if (auto self = weakSelf.lock()) self->updatePageIfNeeded();
        })
        .disposed(disposeBag_);

    menuPressRecognizer_ = UITapGestureRecognizer::create();
    menuPressRecognizer_->setAllowedPressTypes({uikit::UIPress::PressType::menu});
    addGestureRecognizer(menuPressRecognizer_);
    menuPressRecognizer_->rx()
        .event()
        .filter([](const std::shared_ptr<UITapGestureRecognizer>& r) {
            return r->state() == UIGestureRecognizer::State::ended;
        })
        .subscribe([weakSelf](const std::shared_ptr<UITapGestureRecognizer>&) {
            auto self = weakSelf.lock();
            if (!self) return;
            if (auto delegate = self->delegate()) delegate->dismissPageView(*self);
        })
        .disposed(disposeBag_);
}

void ZuPageView::updatePageIfNeeded() {
    auto current = page();
    std::shared_ptr<UIView> next;
    if (auto source = dataSource()) next = source->pageViewAfter(*this, current);
    if (!next && !current) return;
    if (next == current) return;
    replacePage(next);
}

void ZuPageView::dismissAll() {
    if (page()) replacePage(nullptr);
}

void ZuPageView::replacePage(const std::shared_ptr<UIView>& newPage) {
    std::weak_ptr<ZuPageView> weakSelf = sharedAs<ZuPageView>();
    std::weak_ptr<UIView> weakNew = newPage;
    auto old = page();
    if (!old) {
        present(weakSelf, weakNew);
        return;
    }
    if (auto d = delegate()) d->pageViewWillDismissView(*this, old);
    std::weak_ptr<UIView> weakOld = old;
    UIView::animate(
        fadeDuration, [old] { old->setAlpha(0.0); },
        [weakSelf, weakOld, weakNew](bool) {
            auto self = weakSelf.lock();
            // The page may have been shown again, or moved elsewhere, since: then it stays where it is.
            if (auto oldPage = weakOld.lock(); oldPage && self && oldPage->superview() == self) {
                oldPage->removeFromSuperview();
            }
            present(weakSelf, weakNew);
        });
}

void ZuPageView::present(const std::weak_ptr<ZuPageView>& weakSelf, const std::weak_ptr<UIView>& weakPage) {
    auto self = weakSelf.lock();
    if (!self) return;
    auto page = weakPage.lock();
    self->page_ = page;
    if (auto d = self->delegate()) d->pageViewWillPresentView(*self, page);
    if (!page) {
        if (auto d = self->delegate()) d->pageViewDidPresentView(*self, nullptr);
        return;
    }
    page->setAlpha(0.0);
    self->addSubview(page);
    page->snp().remakeConstraints([](uikit::ConstraintMaker& make) { make.edges().equalToSuperview(); });
    UIView::animate(
        fadeDuration, [page] { page->setAlpha(1.0); },
        [weakSelf, weakPage](bool) {
            auto self = weakSelf.lock();
            if (!self) return;
            if (auto d = self->delegate()) d->pageViewDidPresentView(*self, weakPage.lock());
            self->setNeedsFocusUpdate();
        });
}

bool ZuPageView::gestureRecognizerShouldReceive(UIGestureRecognizer& recognizer, uikit::UITouch& touch) {
    (void)recognizer;
    return touch.view().get() == this;
}

bool ZuPageView::gestureRecognizerShouldRequireFailureOf(UIGestureRecognizer& recognizer, UIGestureRecognizer& other) {
    (void)recognizer;
    const auto* tap = dynamic_cast<const UITapGestureRecognizer*>(&other);
    return tap && tap->numberOfTapsRequired() == 2;
}

}  // namespace lumora
