#pragma once

#include <array>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "uikit/LayoutItem.h"
#include "uikit/UIGeometry.h"
#include "uikit/layout/Solver.h"

namespace uikit {
class NSLayoutConstraint;
class UIView;
class UIScrollView;
}  // namespace uikit

namespace uikit::layout {

// The bridge between views and the solver. One engine serves every view tree of the (main-thread) process:
// trees are independent sub-systems of one tableau.
//
// Each item that an active constraint mentions has four variables: the origin (in its layout parent's
// coordinate space, measured from the parent's content origin) and the size. A constraint between two
// items is written in their nearest common ancestor's coordinates: an item's left edge there is the sum of
// the x origins along its path up to that ancestor, and the ancestor's own edges are 0 and its width /
// height (for a scroll view, the right and bottom edges seen from inside are those of its content).
//
// Items in use also carry internal constraints: a view that translates its autoresizing mask is fixed to
// its frame; a view that does not gets its intrinsic size with hugging and compression-resistance
// priorities; the margins and safe-area guides follow their view's insets.
//
// Activation is deferred to `sync()` (run by the layout pass), so that the order in which code
// activates constraints and turns the autoresizing translation off does not matter. Constant changes are
// applied incrementally there too.
class LayoutEngine {
  public:
    static LayoutEngine& shared();

    void activate(const std::shared_ptr<NSLayoutConstraint>& constraint);
    void deactivate(NSLayoutConstraint& constraint);
    void constantChanged(NSLayoutConstraint& constraint);
    void priorityChanged(NSLayoutConstraint& constraint);

    // The item's internal constraints must be brought up to date (frame, intrinsic size, insets,
    // priorities or the autoresizing flag changed).
    void itemNeedsUpdate(LayoutItem& item);
    void itemDestroyed(LayoutItem& item);

    bool needsSync() const { return !pendingAdds_.empty() || !dirtyItems_.empty() || !pendingConstants_.empty(); }
    // Applies pending work to the solver. Views whose solved frame now differs from their current frame
    // get their superview marked as needing layout.
    void sync();

    // The solved frame of an item (x, y in its layout parent's content coordinates), when it is in use.
    std::optional<CGRect> solvedFrame(const LayoutItem& item) const;
    // The solved content size of a scroll view whose content edges constraints determine, per axis.
    std::optional<CGFloat> solvedContentWidth(const UIView& scrollView) const;
    std::optional<CGFloat> solvedContentHeight(const UIView& scrollView) const;

    bool isInstalled(const NSLayoutConstraint& constraint) const { return installed_.count(&constraint) != 0; }
    Solver& solver() { return solver_; }
    std::size_t itemCount() const { return items_.size(); }

  private:
    LayoutEngine() = default;

    struct ItemRecord {
        LayoutItem* item = nullptr;
        Solver::Variable x = 0, y = 0, w = 0, h = 0;
        Solver::Variable contentW = 0, contentH = 0;
        int contentWUses = 0, contentHUses = 0;
        int uses = 0;
        std::vector<NSLayoutConstraint*> constraints;
        // Internal constraints.
        bool hasTamic = false;
        std::array<Solver::ConstraintId, 4> tamic{};
        std::array<CGFloat, 4> tamicValues{};
        std::array<Solver::ConstraintId, 4> intrinsic{};  // hug w, resist w, hug h, resist h
        std::array<CGFloat, 2> intrinsicValues{};
        std::array<float, 4> intrinsicPriorities{};
        std::array<Solver::ConstraintId, 4> guide{};
        std::array<CGFloat, 4> guideInsets{};  // top, left, bottom, right
        bool guideUsesOwner = false;
        // What the engine last reported for the item: a view's superview lays it out again only when the
        // solution changes, so frames adjusted by hand after the layout pass are not fought over.
        std::optional<CGRect> lastSolved;
        std::optional<CGSize> lastContent;
    };

    struct Installed {
        Solver::ConstraintId id = 0;
        std::vector<LayoutItem*> items;
        LayoutItem* contentWOf = nullptr;
        LayoutItem* contentHOf = nullptr;
    };

    ItemRecord& use(LayoutItem& item);
    void unuse(LayoutItem& item);
    void installInternals(ItemRecord& record);
    void removeInternals(ItemRecord& record);
    void refreshInternals(ItemRecord& record);
    void refreshTamic(ItemRecord& record, bool wanted);
    void refreshIntrinsic(ItemRecord& record, bool wanted);
    void refreshGuide(ItemRecord& record);
    void removeInstalled(NSLayoutConstraint* constraint);
    bool install(const std::shared_ptr<NSLayoutConstraint>& constraint);
    void drop(NSLayoutConstraint& constraint, const char* why);
    Solver::ConstraintId addInternal(const Solver::Expression& e, Solver::Relation r, double priority,
                                     const LayoutItem& item, const char* what);
    void removeInternal(Solver::ConstraintId& id);
    void markChangedViews();

    Solver solver_;
    std::unordered_map<const LayoutItem*, ItemRecord> items_;
    std::unordered_map<const NSLayoutConstraint*, Installed> installed_;
    std::vector<std::weak_ptr<NSLayoutConstraint>> pendingAdds_;
    std::unordered_set<const NSLayoutConstraint*> pendingAddSet_;
    std::unordered_set<LayoutItem*> dirtyItems_;
    std::unordered_set<NSLayoutConstraint*> pendingConstants_;
    bool syncing_ = false;
};

}  // namespace uikit::layout
