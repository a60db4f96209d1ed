#include "uikit/layout/LayoutEngine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "uikit/NSLayoutConstraint.h"
#include "uikit/UILayoutGuide.h"
#include "uikit/UIView.h"

namespace uikit::layout {

namespace {

using Expression = Solver::Expression;
using Relation = Solver::Relation;

bool isHorizontal(NSLayoutAttribute a) {
    switch (a) {
        case NSLayoutAttribute::left:
        case NSLayoutAttribute::right:
        case NSLayoutAttribute::leading:
        case NSLayoutAttribute::trailing:
        case NSLayoutAttribute::centerX:
        case NSLayoutAttribute::width:
            return true;
        default:
            return false;
    }
}

bool isDimension(NSLayoutAttribute a) {
    return a == NSLayoutAttribute::width || a == NSLayoutAttribute::height;
}

Relation toSolver(NSLayoutRelation r) {
    switch (r) {
        case NSLayoutRelation::lessThanOrEqual:
            return Relation::lessThanOrEqual;
        case NSLayoutRelation::greaterThanOrEqual:
            return Relation::greaterThanOrEqual;
        case NSLayoutRelation::equal:
            break;
    }
    return Relation::equal;
}

LayoutItem* commonAncestor(LayoutItem* a, LayoutItem* b) {
    if (!b) return a;
    for (LayoutItem* p = a; p; p = p->layoutParent()) {
        for (LayoutItem* q = b; q; q = q->layoutParent()) {
            if (p == q) return p;
        }
    }
    return nullptr;
}

bool differs(CGFloat a, CGFloat b) {
    return std::fabs(a - b) > 1e-9;
}

}  // namespace

LayoutEngine& LayoutEngine::shared() {
    // Never destroyed: views released during static destruction may still call in.
    static LayoutEngine* engine = new LayoutEngine();
    return *engine;
}

// ---- Public notifications ---------------------------------------------------------------------------

void LayoutEngine::activate(const std::shared_ptr<NSLayoutConstraint>& constraint) {
    if (installed_.count(constraint.get()) || pendingAddSet_.count(constraint.get())) return;
    pendingAdds_.push_back(constraint);
    pendingAddSet_.insert(constraint.get());
}

void LayoutEngine::deactivate(NSLayoutConstraint& constraint) {
    pendingAddSet_.erase(&constraint);
    pendingConstants_.erase(&constraint);
    removeInstalled(&constraint);
}

void LayoutEngine::constantChanged(NSLayoutConstraint& constraint) {
    if (installed_.count(&constraint)) pendingConstants_.insert(&constraint);
}

void LayoutEngine::priorityChanged(NSLayoutConstraint& constraint) {
    if (!installed_.count(&constraint)) return;
    removeInstalled(&constraint);
    pendingConstants_.erase(&constraint);
    if (auto self = constraint.weak_from_this().lock()) activate(self);
}

void LayoutEngine::itemNeedsUpdate(LayoutItem& item) {
    if (items_.count(&item)) dirtyItems_.insert(&item);
}

void LayoutEngine::itemDestroyed(LayoutItem& item) {
    dirtyItems_.erase(&item);
    auto it = items_.find(&item);
    if (it == items_.end()) return;
    // Every constraint that mentions the item goes (and is no longer active).
    std::vector<NSLayoutConstraint*> mentioning = it->second.constraints;
    for (NSLayoutConstraint* c : mentioning) {
        removeInstalled(c);
        c->isActive_ = false;
        if (UIView* host = c->installedOn_) {
            c->installedOn_ = nullptr;
            auto& list = host->installedConstraints_;
            auto keep = std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == c; });
            if (keep != list.end()) {
                auto hold = *keep;  // outlive the erase while we still touch it
                list.erase(keep);
            }
        }
    }
    it = items_.find(&item);
    if (it != items_.end()) {
        removeInternals(it->second);
        it = items_.find(&item);
        if (it != items_.end()) forgetRecord(it);
    }
    item.engineUses_ = 0;
}

// ---- Records --------------------------------------------------------------------------------------

LayoutEngine::ItemRecord& LayoutEngine::use(LayoutItem& item, System& system) {
    auto it = items_.find(&item);
    if (it == items_.end()) {
        ItemRecord record;
        record.item = &item;
        record.system = &system;
        record.x = newVariable(system, item);
        record.y = newVariable(system, item);
        record.w = newVariable(system, item);
        record.h = newVariable(system, item);
        it = items_.emplace(&item, record).first;
        system.items.insert(&item);
        fresh_.push_back(&item);
    }
    ItemRecord& record = it->second;
    record.uses += 1;
    item.engineUses_ = record.uses;
    if (record.uses == 1) installInternals(record);
    return items_.find(&item)->second;
}

void LayoutEngine::unuse(LayoutItem& item) {
    auto it = items_.find(&item);
    if (it == items_.end()) return;
    it->second.uses -= 1;
    item.engineUses_ = std::max(0, it->second.uses);
    if (it->second.uses <= 0) {
        removeInternals(it->second);
        dirtyItems_.erase(&item);
        it = items_.find(&item);
        if (it != items_.end()) forgetRecord(it);
    }
}

Solver::ConstraintId LayoutEngine::addInternal(ItemRecord& record, const Expression& e, Relation r, double priority,
                                               const LayoutItem& item, const char* what) {
    auto id = record.system->solver.addConstraint(e, r, priority);
    if (!id) {
        std::fprintf(stderr,
                     "[uikit] Unable to simultaneously satisfy constraints: the %s of %s contradicts "
                     "required constraints already in force; it is ignored\n",
                     what, item.layoutItemDescription().c_str());
        return 0;
    }
    return *id;
}

void LayoutEngine::removeInternal(ItemRecord& record, Solver::ConstraintId& id) {
    if (id != 0) (void)record.system->solver.removeConstraint(id);
    id = 0;
}

void LayoutEngine::installInternals(ItemRecord& record) {
    refreshInternals(record);
}

void LayoutEngine::removeInternals(ItemRecord& record) {
    for (auto& id : record.tamic) removeInternal(record, id);
    record.hasTamic = false;
    for (auto& id : record.intrinsic) removeInternal(record, id);
    for (auto& id : record.guide) removeInternal(record, id);
    if (record.guideUsesOwner) {
        record.guideUsesOwner = false;
        UILayoutGuide* guide = record.item->asLayoutGuide();
        if (guide && guide->owner_) unuse(*guide->owner_);
    }
}

void LayoutEngine::refreshInternals(ItemRecord& record) {
    if (UIView* view = record.item->asView()) {
        bool tamic = view->translatesAutoresizingMask_;
        refreshTamic(record, tamic);
        refreshIntrinsic(record, !tamic);
    } else if (UILayoutGuide* guide = record.item->asLayoutGuide()) {
        if (guide->kind_ != UILayoutGuide::Kind::user) refreshGuide(record);
    }
}

void LayoutEngine::refreshTamic(ItemRecord& record, bool wanted) {
    if (!wanted) {
        for (auto& id : record.tamic) removeInternal(record, id);
        record.hasTamic = false;
        return;
    }
    UIView* view = record.item->asView();
    CGRect f = view->alignmentFrame();
    std::array<CGFloat, 4> values{f.origin.x, f.origin.y, f.size.width, f.size.height};
    std::array<Solver::Variable, 4> vars{record.x, record.y, record.w, record.h};
    for (int i = 0; i < 4; ++i) {
        if (record.hasTamic && record.tamic[i] != 0) {
            if (differs(values[i], record.tamicValues[i])) {
                if (!record.system->solver.setConstant(record.tamic[i], -values[i])) {
                    record.tamic[i] = 0;
                    std::fprintf(stderr,
                                 "[uikit] Unable to simultaneously satisfy constraints: the frame of %s "
                                 "(translated from its autoresizing mask) contradicts its constraints; the frame "
                                 "is ignored\n",
                                 view->layoutItemDescription().c_str());
                }
            }
        } else {
            record.tamic[i] = addInternal(record, Expression{{{vars[i], 1.0}}, -values[i]}, Relation::equal,
                                          Solver::required, *view, "frame (translated from the autoresizing mask)");
        }
        record.tamicValues[i] = values[i];
    }
    record.hasTamic = true;
}

void LayoutEngine::refreshIntrinsic(ItemRecord& record, bool wanted) {
    UIView* view = record.item->asView();
    CGSize size = wanted ? view->intrinsicContentSize() : CGSize{UIView::noIntrinsicMetric, UIView::noIntrinsicMetric};
    const std::array<CGFloat, 2> metrics{size.width, size.height};
    const std::array<Solver::Variable, 2> vars{record.w, record.h};
    const std::array<float, 4> priorities{view->huggingH_.rawValue, view->compressionH_.rawValue,
                                          view->huggingV_.rawValue, view->compressionV_.rawValue};
    for (int axis = 0; axis < 2; ++axis) {
        Solver::ConstraintId& hug = record.intrinsic[axis * 2];
        Solver::ConstraintId& resist = record.intrinsic[axis * 2 + 1];
        CGFloat metric = metrics[axis];
        bool present = wanted && metric != UIView::noIntrinsicMetric && std::isfinite(metric) && metric >= 0;
        if (!present) {
            removeInternal(record, hug);
            removeInternal(record, resist);
            continue;
        }
        bool prioritiesChanged = record.intrinsicPriorities[axis * 2] != priorities[axis * 2] ||
                                 record.intrinsicPriorities[axis * 2 + 1] != priorities[axis * 2 + 1];
        if (prioritiesChanged) {
            removeInternal(record, hug);
            removeInternal(record, resist);
        }
        Expression e{{{vars[axis], 1.0}}, -metric};
        Solver& solver = record.system->solver;
        if (hug == 0) {
            hug = addInternal(record, e, Relation::lessThanOrEqual, priorities[axis * 2], *view, "content hugging");
        } else if (differs(record.intrinsicValues[axis], metric)) {
            if (!solver.setConstant(hug, -metric)) hug = 0;
        }
        if (resist == 0) {
            resist = addInternal(record, e, Relation::greaterThanOrEqual, priorities[axis * 2 + 1], *view,
                                 "compression resistance");
        } else if (differs(record.intrinsicValues[axis], metric)) {
            if (!solver.setConstant(resist, -metric)) resist = 0;
        }
        record.intrinsicValues[axis] = metric;
        record.intrinsicPriorities[axis * 2] = priorities[axis * 2];
        record.intrinsicPriorities[axis * 2 + 1] = priorities[axis * 2 + 1];
    }
}

void LayoutEngine::refreshGuide(ItemRecord& record) {
    UILayoutGuide* guide = record.item->asLayoutGuide();
    UIView* owner = guide->owner_;
    if (!owner) {
        for (auto& id : record.guide) removeInternal(record, id);
        return;
    }
    if (!record.guideUsesOwner) {
        record.guideUsesOwner = true;
        use(*owner, *record.system);
    }
    ItemRecord& ownerRecord = items_.find(owner)->second;
    // Records may have moved in the map: look ours up again after `use`.
    ItemRecord& self = items_.find(guide)->second;
    UIEdgeInsets insets =
        guide->kind_ == UILayoutGuide::Kind::layoutMargins ? owner->layoutMargins() : owner->safeAreaInsets_;
    std::array<CGFloat, 4> values{insets.top, insets.left, insets.bottom, insets.right};
    std::array<Expression, 4> expressions{
        Expression{{{self.x, 1.0}}, -insets.left},
        Expression{{{self.y, 1.0}}, -insets.top},
        Expression{{{self.w, 1.0}, {ownerRecord.w, -1.0}}, insets.left + insets.right},
        Expression{{{self.h, 1.0}, {ownerRecord.h, -1.0}}, insets.top + insets.bottom},
    };
    bool changed = false;
    for (int i = 0; i < 4; ++i) changed = changed || differs(values[i], self.guideInsets[i]);
    for (int i = 0; i < 4; ++i) {
        if (self.guide[i] == 0) {
            self.guide[i] = addInternal(self, expressions[i], Relation::equal, Solver::required, *guide, "insets");
        } else if (changed) {
            if (!self.system->solver.setConstant(self.guide[i], expressions[i].constant)) self.guide[i] = 0;
        }
    }
    self.guideInsets = values;
}

// ---- Constraints ----------------------------------------------------------------------------------

void LayoutEngine::removeInstalled(NSLayoutConstraint* constraint) {
    auto it = installed_.find(constraint);
    if (it == installed_.end()) return;
    Installed installed = std::move(it->second);
    installed_.erase(it);
    installed.system->constraints.erase(constraint);
    (void)installed.system->solver.removeConstraint(installed.id);
    for (LayoutItem* item : installed.items) {
        auto record = items_.find(item);
        if (record == items_.end()) continue;
        auto& list = record->second.constraints;
        auto pos = std::find(list.begin(), list.end(), constraint);
        if (pos != list.end()) list.erase(pos);
    }
    if (installed.contentWOf) {
        auto record = items_.find(installed.contentWOf);
        if (record != items_.end()) record->second.contentWUses -= 1;
    }
    if (installed.contentHOf) {
        auto record = items_.find(installed.contentHOf);
        if (record != items_.end()) record->second.contentHUses -= 1;
    }
    for (LayoutItem* item : installed.items) unuse(*item);
}

void LayoutEngine::drop(NSLayoutConstraint& constraint, const char* why) {
    std::fprintf(stderr, "[uikit] Unable to simultaneously satisfy constraints: %s %s; dropping it\n",
                 constraint.description().c_str(), why);
    constraint.isActive_ = false;
    pendingAddSet_.erase(&constraint);
    pendingConstants_.erase(&constraint);
    removeInstalled(&constraint);
    if (UIView* host = constraint.installedOn_) {
        constraint.installedOn_ = nullptr;
        auto& list = host->installedConstraints_;
        auto pos = std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == &constraint; });
        if (pos != list.end()) {
            auto hold = *pos;
            list.erase(pos);
        }
    }
}

bool LayoutEngine::install(const std::shared_ptr<NSLayoutConstraint>& constraint) {
    NSLayoutConstraint& c = *constraint;
    auto first = c.first_.lock();
    auto second = c.second_.lock();
    if (!first || (c.secondRaw_ && !second)) {
        drop(c, "(one of its items no longer exists)");
        return false;
    }
    NSLayoutAttribute a1 = c.firstAttribute_;
    NSLayoutAttribute a2 = c.secondAttribute_;
    if (a1 == NSLayoutAttribute::notAnAttribute || (second && a2 == NSLayoutAttribute::notAnAttribute)) {
        drop(c, "(an attribute is missing)");
        return false;
    }
    if (!second && !isDimension(a1)) {
        drop(c, "(a position cannot be related to a constant alone)");
        return false;
    }
    if (second && (isDimension(a1) != isDimension(a2) || (!isDimension(a1) && isHorizontal(a1) != isHorizontal(a2)))) {
        drop(c, "(it relates attributes of different kinds)");
        return false;
    }
    LayoutItem* ancestor = commonAncestor(first.get(), second.get());
    if (!ancestor) {
        drop(c, "(its items have no common ancestor)");
        return false;
    }

    // The constraint belongs to the tree of its items, and is solved with the rest of that tree.
    System& system = systemFor(rootOf(*ancestor));
    Installed installed;
    installed.system = &system;
    Expression e;
    e.constant = -c.constant_;
    auto addAttribute = [&](LayoutItem* item, NSLayoutAttribute attribute, double coefficient) {
        bool horizontal = isHorizontal(attribute);
        if (isDimension(attribute)) {
            ItemRecord& r = use(*item, system);
            installed.items.push_back(item);
            e.terms.push_back({horizontal ? r.w : r.h, coefficient});
            return;
        }
        bool isFar = attribute == NSLayoutAttribute::right || attribute == NSLayoutAttribute::trailing ||
                     attribute == NSLayoutAttribute::bottom;
        bool isCenter = attribute == NSLayoutAttribute::centerX || attribute == NSLayoutAttribute::centerY;
        if (item == ancestor) {
            if (!isFar && !isCenter) return;  // the ancestor's own near edges are its origin: 0
            double k = isCenter ? 0.5 * coefficient : coefficient;
            UIView* view = item->asView();
            ItemRecord& r = use(*item, system);
            installed.items.push_back(item);
            if (view && view->isScrollContainer_) {
                // Seen from inside, a scroll view's far edges are those of its content.
                if (horizontal) {
                    if (r.contentW == 0) r.contentW = newVariable(system, *item);
                    r.contentWUses += 1;
                    installed.contentWOf = item;
                    e.terms.push_back({r.contentW, k});
                } else {
                    if (r.contentH == 0) r.contentH = newVariable(system, *item);
                    r.contentHUses += 1;
                    installed.contentHOf = item;
                    e.terms.push_back({r.contentH, k});
                }
            } else {
                e.terms.push_back({horizontal ? r.w : r.h, k});
            }
            return;
        }
        for (LayoutItem* p = item; p && p != ancestor; p = p->layoutParent()) {
            ItemRecord& r = use(*p, system);
            installed.items.push_back(p);
            e.terms.push_back({horizontal ? r.x : r.y, coefficient});
        }
        if (isFar || isCenter) {
            ItemRecord& r = use(*item, system);
            installed.items.push_back(item);
            e.terms.push_back({horizontal ? r.w : r.h, isCenter ? 0.5 * coefficient : coefficient});
        }
    };
    addAttribute(first.get(), a1, 1.0);
    if (second) addAttribute(second.get(), a2, -c.multiplier_);

    auto id = system.solver.addConstraint(e, toSolver(c.relation_), c.priority_.rawValue);
    if (!id) {
        // Undo the bookkeeping, then report.
        if (installed.contentWOf) items_.find(installed.contentWOf)->second.contentWUses -= 1;
        if (installed.contentHOf) items_.find(installed.contentHOf)->second.contentHUses -= 1;
        for (LayoutItem* item : installed.items) unuse(*item);
        drop(c, "(it contradicts required constraints already in force)");
        return false;
    }
    installed.id = *id;
    for (LayoutItem* item : installed.items) {
        auto& list = items_.find(item)->second.constraints;
        if (std::find(list.begin(), list.end(), &c) == list.end()) list.push_back(&c);
    }
    system.constraints.insert(&c);
    installed_.emplace(&c, std::move(installed));
    return true;
}

// ---- Sync -----------------------------------------------------------------------------------------

void LayoutEngine::sync() {
    if (syncing_) return;
    syncing_ = true;
    for (int round = 0; round < 4 && needsSync(); ++round) {
        auto dirty = std::move(dirtyItems_);
        dirtyItems_.clear();
        for (LayoutItem* item : dirty) {
            auto it = items_.find(item);
            if (it != items_.end()) refreshInternals(it->second);
        }
        auto constants = std::move(pendingConstants_);
        pendingConstants_.clear();
        for (NSLayoutConstraint* c : constants) {
            auto it = installed_.find(c);
            if (it == installed_.end()) continue;
            if (!it->second.system->solver.setConstant(it->second.id, -c->constant_)) {
                drop(*c, "(with its new constant it contradicts required constraints already in force)");
            }
        }
        auto adds = std::move(pendingAdds_);
        pendingAdds_.clear();
        for (auto& weak : adds) {
            auto c = weak.lock();
            if (!c || !pendingAddSet_.count(c.get())) continue;
            pendingAddSet_.erase(c.get());
            if (!c->isActive_) continue;
            install(c);
        }
    }
    markChangedViews();
    syncing_ = false;
}

}  // namespace uikit::layout
