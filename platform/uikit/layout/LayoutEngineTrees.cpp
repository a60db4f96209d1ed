// The layout engine's trees: a solver per independent view tree, views carrying their constraints from one
// tree to another, and the report of the views whose solved frames changed.
#include <cmath>

#include "uikit/NSLayoutConstraint.h"
#include "uikit/UILayoutGuide.h"
#include "uikit/UIView.h"
#include "uikit/layout/LayoutEngine.h"

namespace uikit::layout {

namespace {

bool differs(CGFloat a, CGFloat b) {
    return std::fabs(a - b) > 1e-9;
}

}  // namespace

// ---- Systems --------------------------------------------------------------------------------------

const LayoutItem* LayoutEngine::rootOf(const LayoutItem& item) {
    const LayoutItem* root = &item;
    while (const LayoutItem* parent = root->layoutParent()) root = parent;
    return root;
}

LayoutEngine::System& LayoutEngine::systemFor(const LayoutItem* root) {
    auto& slot = systems_[root];
    if (!slot) {
        slot = std::make_unique<System>();
        slot->root = root;
    }
    return *slot;
}

Solver::Variable LayoutEngine::newVariable(System& system, LayoutItem& owner) {
    const Solver::Variable v = system.solver.newVariable();
    system.owners.emplace(v, &owner);
    return v;
}

void LayoutEngine::forgetRecord(std::unordered_map<const LayoutItem*, ItemRecord>::iterator record) {
    System& system = *record->second.system;
    for (Solver::Variable v : {record->second.x, record->second.y, record->second.w, record->second.h,
                               record->second.contentW, record->second.contentH}) {
        if (v != 0) system.owners.erase(v);
    }
    system.items.erase(record->second.item);
    items_.erase(record);
    // A tree with nothing left in the engine needs no solver.
    if (system.items.empty()) systems_.erase(system.root);
}

std::size_t LayoutEngine::constraintCount() const {
    std::size_t count = 0;
    for (const auto& [root, system] : systems_) count += system->solver.constraintCount();
    return count;
}

std::size_t LayoutEngine::rowCount() const {
    std::size_t count = 0;
    for (const auto& [root, system] : systems_) count += system->solver.rowCount();
    return count;
}

void LayoutEngine::queue(NSLayoutConstraint& constraint) {
    if (!constraint.isActive_ || pendingAddSet_.count(&constraint)) return;
    pendingAdds_.push_back(constraint.weak_from_this());
    pendingAddSet_.insert(&constraint);
}

void LayoutEngine::dissolve(System& system) {
    for (NSLayoutConstraint* c : system.constraints) {
        installed_.erase(c);
        pendingConstants_.erase(c);  // installed again with the constant it has by then
        queue(*c);
    }
    for (LayoutItem* item : system.items) {
        dirtyItems_.erase(item);
        item->engineUses_ = 0;
        items_.erase(item);
    }
    systems_.erase(system.root);
}

// ---- Tree changes ---------------------------------------------------------------------------------

void LayoutEngine::subtreeMoved(UIView& subtree, const LayoutItem* previousRoot) {
    auto old = systems_.find(previousRoot);
    if (old == systems_.end()) return;  // nothing of the tree it left is in the engine
    const LayoutItem* root = rootOf(subtree);
    if (root == previousRoot) return;  // it moved within its tree
    System& from = *old->second;

    if (&subtree == previousRoot) {
        // A whole tree joined another one. When the other has no solver yet, this tree's solver becomes its
        // solver as it is; otherwise the constraints are installed again in the other's.
        if (!systems_.count(root)) {
            auto moved = std::move(old->second);
            systems_.erase(old);
            moved->root = root;
            systems_.emplace(root, std::move(moved));
        } else {
            dissolve(from);
        }
        return;
    }

    // A branch left its tree: the constraints among its items leave that tree's solver (crossing ones were
    // deactivated as it left) and are installed again in the solver of the tree it is in now.
    std::vector<NSLayoutConstraint*> leaving;
    std::unordered_set<NSLayoutConstraint*> seen;
    auto collect = [&](LayoutItem* item) {
        auto record = items_.find(item);
        if (record == items_.end() || record->second.system != &from) return;
        for (NSLayoutConstraint* c : record->second.constraints) {
            if (seen.insert(c).second) leaving.push_back(c);
        }
    };
    std::vector<UIView*> stack{&subtree};
    while (!stack.empty()) {
        UIView* view = stack.back();
        stack.pop_back();
        collect(view);
        if (view->layoutMarginsGuide_) collect(view->layoutMarginsGuide_.get());
        if (view->safeAreaLayoutGuide_) collect(view->safeAreaLayoutGuide_.get());
        for (const auto& guide : view->layoutGuides_) collect(guide.get());
        for (const auto& sub : view->subviews_) stack.push_back(sub.get());
    }
    for (NSLayoutConstraint* c : leaving) {
        pendingConstants_.erase(c);
        removeInstalled(c);
        queue(*c);
    }
}

void LayoutEngine::treeWillBeDestroyed(const UIView& root) {
    auto it = systems_.find(&root);
    if (it == systems_.end()) return;
    // The tree's solver goes whole, without solving anything on the way out; constraints among the views
    // that outlive their root are installed again in their own trees.
    dissolve(*it->second);
}

// ---- Reports --------------------------------------------------------------------------------------

void LayoutEngine::markChangedViews() {
    ++reports_;
    auto fresh = std::move(fresh_);
    fresh_.clear();
    for (LayoutItem* item : fresh) {
        auto record = items_.find(item);
        if (record != items_.end()) markIfChanged(record->second);
    }
    for (auto& [root, system] : systems_) {
        for (Solver::Variable v : system->solver.takeChangedVariables()) {
            auto owner = system->owners.find(v);
            if (owner == system->owners.end()) continue;
            auto record = items_.find(owner->second);
            if (record != items_.end()) markIfChanged(record->second);
        }
    }
}

void LayoutEngine::markIfChanged(ItemRecord& record) {
    if (record.reportedIn == reports_) return;
    record.reportedIn = reports_;
    const Solver& solver = record.system->solver;
    LayoutItem* item = record.item;
    CGRect solved(solver.value(record.x), solver.value(record.y), solver.value(record.w), solver.value(record.h));
    bool changed = !record.lastSolved || differs(record.lastSolved->origin.x, solved.origin.x) ||
                   differs(record.lastSolved->origin.y, solved.origin.y) ||
                   differs(record.lastSolved->size.width, solved.size.width) ||
                   differs(record.lastSolved->size.height, solved.size.height);
    record.lastSolved = solved;
    if (UILayoutGuide* guide = item->asLayoutGuide()) {
        if (guide->kind_ == UILayoutGuide::Kind::user) guide->solvedFrame_ = solved;
        return;
    }
    UIView* view = item->asView();
    if (!view) return;
    if (record.contentWUses > 0 || record.contentHUses > 0) {
        CGSize content{record.contentWUses > 0 ? solver.value(record.contentW) : 0,
                       record.contentHUses > 0 ? solver.value(record.contentH) : 0};
        if (!record.lastContent || differs(record.lastContent->width, content.width) ||
            differs(record.lastContent->height, content.height)) {
            record.lastContent = content;
            view->setNeedsLayout();
        }
    }
    if (!changed || view->translatesAutoresizingMask_) return;
    if (view->superview_) {
        view->superview_->setNeedsLayout();
    } else {
        view->setNeedsLayout();
    }
}

std::optional<CGRect> LayoutEngine::solvedFrame(const LayoutItem& item) const {
    auto it = items_.find(&item);
    if (it == items_.end()) return std::nullopt;
    const ItemRecord& r = it->second;
    const Solver& solver = r.system->solver;
    return CGRect(solver.value(r.x), solver.value(r.y), solver.value(r.w), solver.value(r.h));
}

std::optional<CGFloat> LayoutEngine::solvedContentWidth(const UIView& scrollView) const {
    auto it = items_.find(&scrollView);
    if (it == items_.end() || it->second.contentWUses <= 0) return std::nullopt;
    return it->second.system->solver.value(it->second.contentW);
}

std::optional<CGFloat> LayoutEngine::solvedContentHeight(const UIView& scrollView) const {
    auto it = items_.find(&scrollView);
    if (it == items_.end() || it->second.contentHUses <= 0) return std::nullopt;
    return it->second.system->solver.value(it->second.contentH);
}

}  // namespace uikit::layout
