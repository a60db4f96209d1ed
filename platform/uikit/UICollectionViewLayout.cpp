#include "uikit/UICollectionViewLayout.h"

#include <algorithm>
#include <cmath>
#include <ostream>

#include "uikit/UICollectionView.h"

namespace uikit {

std::ostream& operator<<(std::ostream& os, const IndexPath& indexPath) {
    return os << "[" << indexPath.section << ", " << indexPath.item << "]";
}

// ---- Attributes -------------------------------------------------------------------------------------------

std::shared_ptr<UICollectionViewLayoutAttributes> UICollectionViewLayoutAttributes::create(
    const IndexPath& forCellWith) {
    return std::shared_ptr<UICollectionViewLayoutAttributes>(new UICollectionViewLayoutAttributes(forCellWith));
}

std::shared_ptr<UICollectionViewLayoutAttributes> UICollectionViewLayoutAttributes::copy() const {
    return std::shared_ptr<UICollectionViewLayoutAttributes>(new UICollectionViewLayoutAttributes(*this));
}

CGRect UICollectionViewLayoutAttributes::frame() const {
    return CGRect(center_.x - size_.width / 2, center_.y - size_.height / 2, size_.width, size_.height);
}

void UICollectionViewLayoutAttributes::setFrame(const CGRect& frame) {
    if (frame.isNull()) return;
    CGRect f = frame.standardized();
    size_ = f.size;
    center_ = CGPoint{f.midX(), f.midY()};
}

// ---- Base layout ------------------------------------------------------------------------------------------

std::shared_ptr<UICollectionViewLayout> UICollectionViewLayout::create() {
    return std::shared_ptr<UICollectionViewLayout>(new UICollectionViewLayout());
}

std::vector<std::shared_ptr<UICollectionViewLayoutAttributes>> UICollectionViewLayout::layoutAttributesForElements(
    const CGRect& in) const {
    (void)in;
    return {};
}

std::shared_ptr<UICollectionViewLayoutAttributes> UICollectionViewLayout::layoutAttributesForItem(
    const IndexPath& at) const {
    (void)at;
    return nullptr;
}

void UICollectionViewLayout::invalidateLayout() {
    invalid_ = true;
    if (auto cv = collectionView()) cv->setNeedsLayout();
}

bool UICollectionViewLayout::shouldInvalidateLayout(const CGRect& forBoundsChange) const {
    (void)forBoundsChange;
    return false;
}

bool UICollectionViewLayout::shouldInvalidateLayout(
    const UICollectionViewLayoutAttributes& forPreferredLayoutAttributes,
    const UICollectionViewLayoutAttributes& withOriginalAttributes) const {
    (void)forPreferredLayoutAttributes;
    (void)withOriginalAttributes;
    return false;
}

void UICollectionViewLayout::invalidateLayoutWithPreferred(
    const UICollectionViewLayoutAttributes& preferredAttributes) {
    (void)preferredAttributes;
    invalidateLayout();
}

std::shared_ptr<UICollectionViewLayoutAttributes> UICollectionViewLayout::makeLayoutAttributes(
    const IndexPath& forCellWith) const {
    return UICollectionViewLayoutAttributes::create(forCellWith);
}

// ---- Flow layout ------------------------------------------------------------------------------------------

std::shared_ptr<UICollectionViewFlowLayout> UICollectionViewFlowLayout::create() {
    return std::shared_ptr<UICollectionViewFlowLayout>(new UICollectionViewFlowLayout());
}

void UICollectionViewFlowLayout::setScrollDirection(ScrollDirection direction) {
    scrollDirection_ = direction;
    invalidateLayout();
}

void UICollectionViewFlowLayout::setMinimumLineSpacing(CGFloat spacing) {
    minimumLineSpacing_ = std::isfinite(spacing) ? spacing : 0;
    invalidateLayout();
}

void UICollectionViewFlowLayout::setMinimumInteritemSpacing(CGFloat spacing) {
    minimumInteritemSpacing_ = std::isfinite(spacing) ? spacing : 0;
    invalidateLayout();
}

void UICollectionViewFlowLayout::setItemSize(CGSize size) {
    if (!std::isfinite(size.width) || !std::isfinite(size.height)) return;
    itemSize_ = CGSize{std::max(CGFloat(0), size.width), std::max(CGFloat(0), size.height)};
    invalidateLayout();
}

void UICollectionViewFlowLayout::setEstimatedItemSize(CGSize size) {
    if (!std::isfinite(size.width) || !std::isfinite(size.height)) return;
    estimatedItemSize_ = CGSize{std::max(CGFloat(0), size.width), std::max(CGFloat(0), size.height)};
    invalidateLayout();
}

void UICollectionViewFlowLayout::setSectionInset(const UIEdgeInsets& inset) {
    sectionInset_ = inset;
    invalidateLayout();
}

namespace {

CGSize sane(CGSize size) {
    auto fix = [](CGFloat v) { return std::isfinite(v) && v > 0 ? v : CGFloat(0); };
    return CGSize{fix(size.width), fix(size.height)};
}

}  // namespace

CGSize UICollectionViewFlowLayout::sizeForItem(const IndexPath& indexPath) const {
    if (selfSizing()) {
        if (auto it = preferredSizes_.find(indexPath); it != preferredSizes_.end()) return it->second;
    }
    auto cv = collectionView();
    if (cv) {
        if (auto delegate = std::dynamic_pointer_cast<UICollectionViewDelegateFlowLayout>(cv->delegate().lock())) {
            auto self = std::const_pointer_cast<UICollectionViewFlowLayout>(
                std::static_pointer_cast<const UICollectionViewFlowLayout>(shared_from_this()));
            if (auto size = delegate->collectionViewLayoutSizeForItemAt(*cv, *self, indexPath)) return sane(*size);
        }
    }
    return selfSizing() ? estimatedItemSize_ : itemSize_;
}

void UICollectionViewFlowLayout::prepare() {
    frames_.clear();
    contentSize_ = CGSize();
    auto cv = collectionView();
    if (!cv) return;
    auto self = std::static_pointer_cast<UICollectionViewFlowLayout>(shared_from_this());
    auto delegate = std::dynamic_pointer_cast<UICollectionViewDelegateFlowLayout>(cv->delegate().lock());
    const bool vertical = scrollDirection_ == ScrollDirection::vertical;
    CGRect bounds = cv->bounds();
    preparedBoundsSize_ = bounds.size;
    UIEdgeInsets inset = cv->adjustedContentInset();
    CGFloat crossExtent = std::max(
        CGFloat(0), vertical ? bounds.width() - inset.left - inset.right : bounds.height() - inset.top - inset.bottom);
    CGFloat along = 0;
    int sections = cv->numberOfSections();
    frames_.resize(static_cast<std::size_t>(std::max(0, sections)));
    for (int s = 0; s < sections; ++s) {
        UIEdgeInsets si = sectionInset_;
        CGFloat lineSpacing = minimumLineSpacing_;
        CGFloat interitem = minimumInteritemSpacing_;
        if (delegate) {
            if (auto v = delegate->collectionViewLayoutInsetForSectionAt(*cv, *self, s)) si = *v;
            if (auto v = delegate->collectionViewLayoutMinimumLineSpacingForSectionAt(*cv, *self, s)) lineSpacing = *v;
            if (auto v = delegate->collectionViewLayoutMinimumInteritemSpacingForSectionAt(*cv, *self, s))
                interitem = *v;
        }
        along += vertical ? si.top : si.left;
        CGFloat crossStart = vertical ? si.left : si.top;
        CGFloat crossRoom = std::max(CGFloat(0), crossExtent - (vertical ? si.left + si.right : si.top + si.bottom));
        int count = cv->numberOfItems(s);
        std::vector<CGSize> sizes;
        sizes.reserve(static_cast<std::size_t>(std::max(0, count)));
        for (int i = 0; i < count; ++i) sizes.push_back(sizeForItem(IndexPath(i, s)));

        // Break into lines.
        std::vector<std::vector<int>> lines;
        CGFloat used = 0;
        for (int i = 0; i < count; ++i) {
            CGFloat cross =
                vertical ? sizes[static_cast<std::size_t>(i)].width : sizes[static_cast<std::size_t>(i)].height;
            if (lines.empty() || used + interitem + cross > crossRoom + 1e-9) {
                lines.push_back({i});
                used = cross;
            } else {
                lines.back().push_back(i);
                used += interitem + cross;
            }
        }
        auto& frames = frames_[static_cast<std::size_t>(s)];
        frames.assign(static_cast<std::size_t>(std::max(0, count)), CGRect());
        for (std::size_t l = 0; l < lines.size(); ++l) {
            const auto& line = lines[l];
            CGFloat thickness = 0, crossTotal = 0;
            for (int i : line) {
                CGSize size = sizes[static_cast<std::size_t>(i)];
                thickness = std::max(thickness, vertical ? size.height : size.width);
                crossTotal += vertical ? size.width : size.height;
            }
            bool lastLine = l + 1 == lines.size();
            CGFloat gap = interitem;
            CGFloat cross = crossStart;
            if (line.size() == 1) {
                cross = crossStart + (crossRoom - crossTotal) / 2;
            } else if (!lastLine) {
                gap = (crossRoom - crossTotal) / static_cast<CGFloat>(line.size() - 1);
            }
            for (int i : line) {
                CGSize size = sizes[static_cast<std::size_t>(i)];
                CGFloat itemAlong = vertical ? size.height : size.width;
                CGFloat itemCross = vertical ? size.width : size.height;
                CGFloat a = along + (thickness - itemAlong) / 2;
                frames[static_cast<std::size_t>(i)] =
                    vertical ? CGRect(cross, a, size.width, size.height) : CGRect(a, cross, size.width, size.height);
                cross += itemCross + gap;
            }
            along += thickness + (lastLine ? 0 : lineSpacing);
        }
        along += vertical ? si.bottom : si.right;
    }
    contentSize_ = vertical ? CGSize{crossExtent, along} : CGSize{along, crossExtent};
}

std::vector<std::shared_ptr<UICollectionViewLayoutAttributes>> UICollectionViewFlowLayout::layoutAttributesForElements(
    const CGRect& in) const {
    std::vector<std::shared_ptr<UICollectionViewLayoutAttributes>> result;
    for (std::size_t s = 0; s < frames_.size(); ++s) {
        for (std::size_t i = 0; i < frames_[s].size(); ++i) {
            const CGRect& f = frames_[s][i];
            bool touches = f.intersects(in) || (f.isEmpty() && in.contains(f.origin));
            if (!touches) continue;
            auto attributes = makeLayoutAttributes(IndexPath(static_cast<int>(i), static_cast<int>(s)));
            attributes->setFrame(f);
            result.push_back(std::move(attributes));
        }
    }
    return result;
}

std::shared_ptr<UICollectionViewLayoutAttributes> UICollectionViewFlowLayout::layoutAttributesForItem(
    const IndexPath& at) const {
    if (at.section < 0 || static_cast<std::size_t>(at.section) >= frames_.size()) return nullptr;
    const auto& frames = frames_[static_cast<std::size_t>(at.section)];
    if (at.item < 0 || static_cast<std::size_t>(at.item) >= frames.size()) return nullptr;
    auto attributes = makeLayoutAttributes(at);
    attributes->setFrame(frames[static_cast<std::size_t>(at.item)]);
    return attributes;
}

bool UICollectionViewFlowLayout::shouldInvalidateLayout(const CGRect& forBoundsChange) const {
    return forBoundsChange.size != preparedBoundsSize_;
}

bool UICollectionViewFlowLayout::shouldInvalidateLayout(
    const UICollectionViewLayoutAttributes& forPreferredLayoutAttributes,
    const UICollectionViewLayoutAttributes& withOriginalAttributes) const {
    if (!selfSizing()) return false;
    CGSize a = sane(forPreferredLayoutAttributes.size());
    CGSize b = withOriginalAttributes.size();
    return std::fabs(a.width - b.width) > 1e-6 || std::fabs(a.height - b.height) > 1e-6;
}

void UICollectionViewFlowLayout::invalidateLayoutWithPreferred(
    const UICollectionViewLayoutAttributes& preferredAttributes) {
    preferredSizes_[preferredAttributes.indexPath()] = sane(preferredAttributes.size());
    invalidateLayout();
}

void UICollectionViewFlowLayout::prepareForCollectionViewUpdates(
    const std::vector<UICollectionViewUpdateItem>& updateItems) {
    (void)updateItems;
    // Sizes are kept by index path; after a batch the visible cells are sized again.
    preferredSizes_.clear();
}

}  // namespace uikit
