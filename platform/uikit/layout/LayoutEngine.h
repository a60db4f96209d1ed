#pragma once

#include <array>
#include <cstdint>
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

// The bridge between views and the solver. Each independent view tree (a window, or a tree of views not in
// any window) has a solver of its own, so that laying out one tree never pays for the constraints of the
// others. A view that moves to another tree takes its constraints along: they leave the old tree's solver
// and are installed in the new one at the next sync. A tree whose root goes loses its solver whole.
//
class LayoutEngine {
  public:
    static LayoutEngine& shared();

    // Tree changes, from the view tree. `subtree` has just moved (to another superview, or out of its
    // superview); its root before the move was `previousRoot`.
    void subtreeMoved(UIView& subtree, const LayoutItem* previousRoot);
    // `root`, the root of its tree, is being destroyed; its subviews become roots of their own.
    void treeWillBeDestroyed(const UIView& root);

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
    std::size_t itemCount() const { return items_.size(); }
    // Over every tree: the solvers kept, and the constraints and tableau rows in them.
    std::size_t systemCount() const { return systems_.size(); }
    std::size_t constraintCount() const;
    std::size_t rowCount() const;

  private:
    LayoutEngine() = default;

    // The solver of one tree, and what of the engine's it holds.
    struct System {
        const LayoutItem* root = nullptr;
        Solver solver;
        std::unordered_set<LayoutItem*> items;                     // the records in it
        std::unordered_set<NSLayoutConstraint*> constraints;       // the constraints installed in it
        std::unordered_map<Solver::Variable, LayoutItem*> owners;  // the item each variable belongs to
    };

    struct ItemRecord {
        LayoutItem* item = nullptr;
        System* system = nullptr;
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
        std::uint64_t reportedIn = 0;  // the report that last looked at the item
    };

    struct Installed {
        System* system = nullptr;
        Solver::ConstraintId id = 0;
        std::vector<LayoutItem*> items;
        LayoutItem* contentWOf = nullptr;
        LayoutItem* contentHOf = nullptr;
    };

    static const LayoutItem* rootOf(const LayoutItem& item);
    System& systemFor(const LayoutItem* root);
    // Drops a system without solving anything: its records go, and its constraints still active are queued to
    // be installed again.
    void dissolve(System& system);
    void queue(NSLayoutConstraint& constraint);
    void forgetRecord(std::unordered_map<const LayoutItem*, ItemRecord>::iterator record);
    Solver::Variable newVariable(System& system, LayoutItem& owner);

    ItemRecord& use(LayoutItem& item, System& system);
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
    Solver::ConstraintId addInternal(ItemRecord& record, const Solver::Expression& e, Solver::Relation r,
                                     double priority, const LayoutItem& item, const char* what);
    void removeInternal(ItemRecord& record, Solver::ConstraintId& id);
    // Tells the views whose solved frame changed: those whose variables the solvers changed, and the
    // items new since the last report.
    void markChangedViews();
    void markIfChanged(ItemRecord& record);

    std::unordered_map<const LayoutItem*, std::unique_ptr<System>> systems_;  // by the root of their tree
    std::unordered_map<const LayoutItem*, ItemRecord> items_;
    std::unordered_map<const NSLayoutConstraint*, Installed> installed_;
    std::vector<std::weak_ptr<NSLayoutConstraint>> pendingAdds_;
    std::unordered_set<const NSLayoutConstraint*> pendingAddSet_;
    std::unordered_set<LayoutItem*> dirtyItems_;
    std::unordered_set<NSLayoutConstraint*> pendingConstants_;
    std::vector<LayoutItem*> fresh_;  // items whose record was made since the last report
    std::uint64_t reports_ = 0;
    bool syncing_ = false;
};

}  // namespace uikit::layout
