#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

#include "uikit/layout/Solver.h"

namespace {

using uikit::layout::Solver;
using R = Solver::Relation;

Solver::Expression expr(std::initializer_list<Solver::Term> terms, double constant = 0) {
    return {std::vector<Solver::Term>(terms), constant};
}

TEST(LayoutSolver, EqualitiesAndInequalitiesWithPriorities) {
    Solver s;
    auto x = s.newVariable();
    auto y = s.newVariable();
    // x == 10 (required); y >= x + 5 (required); y == 0 at low priority: y settles at 15.
    ASSERT_TRUE(s.addConstraint(expr({{x, 1}}, -10), R::equal, 1000));
    ASSERT_TRUE(s.addConstraint(expr({{y, 1}, {x, -1}}, -5), R::greaterThanOrEqual, 1000));
    ASSERT_TRUE(s.addConstraint(expr({{y, 1}}), R::equal, 250));
    EXPECT_DOUBLE_EQ(s.value(x), 10);
    EXPECT_DOUBLE_EQ(s.value(y), 15);
    EXPECT_TRUE(s.isConsistent());
}

TEST(LayoutSolver, HigherPriorityWinsOverAnyNumberOfLowerOnes) {
    Solver s;
    auto w = s.newVariable();
    // Three constraints at 998 want 100; one at 999 wants 50: strict priority order gives 50.
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(s.addConstraint(expr({{w, 1}}, -100), R::equal, 998));
    auto strong = s.addConstraint(expr({{w, 1}}, -50), R::equal, 999);
    ASSERT_TRUE(strong);
    EXPECT_NEAR(s.value(w), 50, 1e-9);
    // Removing the 999 one lets the 998 ones win again.
    ASSERT_TRUE(s.removeConstraint(*strong));
    EXPECT_NEAR(s.value(w), 100, 1e-9);
    EXPECT_TRUE(s.isConsistent());
}

TEST(LayoutSolver, HuggingAgainstCompressionResistance) {
    Solver s;
    auto w = s.newVariable();
    // Intrinsic width 80: hug (w <= 80 @250), resist compression (w >= 80 @750).
    ASSERT_TRUE(s.addConstraint(expr({{w, 1}}, -80), R::lessThanOrEqual, 250));
    ASSERT_TRUE(s.addConstraint(expr({{w, 1}}, -80), R::greaterThanOrEqual, 750));
    EXPECT_NEAR(s.value(w), 80, 1e-9);
    // A 500 preference for 120 beats hugging but not the required cap of 100.
    ASSERT_TRUE(s.addConstraint(expr({{w, 1}}, -120), R::equal, 500));
    EXPECT_NEAR(s.value(w), 120, 1e-9);
    ASSERT_TRUE(s.addConstraint(expr({{w, 1}}, -100), R::lessThanOrEqual, 1000));
    EXPECT_NEAR(s.value(w), 100, 1e-9);
    // A required 60 cap beats compression resistance.
    auto cap = s.addConstraint(expr({{w, 1}}, -60), R::lessThanOrEqual, 1000);
    ASSERT_TRUE(cap);
    EXPECT_NEAR(s.value(w), 60, 1e-9);
    EXPECT_TRUE(s.isConsistent());
}

TEST(LayoutSolver, UnsatisfiableRequiredConstraintIsRefusedAndLeavesTheSystemIntact) {
    Solver s;
    auto x = s.newVariable();
    auto y = s.newVariable();
    ASSERT_TRUE(s.addConstraint(expr({{x, 1}}, -10), R::equal, 1000));
    ASSERT_TRUE(s.addConstraint(expr({{y, 1}, {x, -1}}), R::greaterThanOrEqual, 1000));  // y >= x
    ASSERT_TRUE(s.addConstraint(expr({{y, 1}}, -30), R::equal, 500));
    EXPECT_NEAR(s.value(y), 30, 1e-9);
    // y <= 5 contradicts y >= x = 10.
    auto bad = s.addConstraint(expr({{y, 1}}, -5), R::lessThanOrEqual, 1000);
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error(), Solver::Failure::unsatisfiable);
    // x == 11 contradicts x == 10 (a required equality with no free symbol).
    EXPECT_FALSE(s.addConstraint(expr({{x, 1}}, -11), R::equal, 1000));
    EXPECT_EQ(s.constraintCount(), 3u);
    EXPECT_NEAR(s.value(x), 10, 1e-9);
    EXPECT_NEAR(s.value(y), 30, 1e-9);
    EXPECT_TRUE(s.isConsistent());
    // A redundant copy of x == 10 is accepted.
    auto same = s.addConstraint(expr({{x, 1}}, -10), R::equal, 1000);
    ASSERT_TRUE(same);
    // ...and then changing one copy's constant conflicts with the other: the changed one is dropped.
    EXPECT_FALSE(s.setConstant(*same, -12));
    EXPECT_FALSE(s.hasConstraint(*same));
    EXPECT_NEAR(s.value(x), 10, 1e-9);
    EXPECT_TRUE(s.isConsistent());
}

TEST(LayoutSolver, ConstantChangesAreIncrementalAndExact) {
    Solver s;
    auto left = s.newVariable();
    auto width = s.newVariable();
    auto right = s.newVariable();
    ASSERT_TRUE(s.addConstraint(expr({{left, 1}}, -8), R::equal, 1000));
    ASSERT_TRUE(s.addConstraint(expr({{right, 1}, {left, -1}, {width, -1}}), R::equal, 1000));
    auto container = s.addConstraint(expr({{right, 1}}, -300), R::lessThanOrEqual, 1000);
    auto wanted = s.addConstraint(expr({{width, 1}}, -200), R::equal, 750);
    ASSERT_TRUE(container && wanted);
    EXPECT_NEAR(s.value(width), 200, 1e-9);
    ASSERT_TRUE(s.setConstant(*wanted, -400));  // wants 400, only 292 fit
    EXPECT_NEAR(s.value(width), 292, 1e-9);
    ASSERT_TRUE(s.setConstant(*container, -1000));
    EXPECT_NEAR(s.value(width), 400, 1e-9);
    ASSERT_TRUE(s.setConstant(*wanted, -10));
    EXPECT_NEAR(s.value(width), 10, 1e-9);
    EXPECT_NEAR(s.value(right), 18, 1e-9);
    EXPECT_DOUBLE_EQ(s.constant(*wanted), -10);
    EXPECT_TRUE(s.isConsistent());
}

TEST(LayoutSolver, EditVariablesFollowSuggestions) {
    Solver s;
    auto x = s.newVariable();
    auto y = s.newVariable();
    ASSERT_TRUE(s.addConstraint(expr({{y, 1}, {x, -2}}), R::equal, 1000));         // y = 2x
    ASSERT_TRUE(s.addConstraint(expr({{y, 1}}, -100), R::lessThanOrEqual, 1000));  // y <= 100
    ASSERT_TRUE(s.addEditVariable(x, 999));
    for (double v : {5.0, 20.0, 80.0, -3.0}) {
        ASSERT_TRUE(s.suggestValue(x, v));
        double expected = std::min(v, 50.0);
        EXPECT_NEAR(s.value(x), expected, 1e-9) << v;
        EXPECT_NEAR(s.value(y), 2 * expected, 1e-9) << v;
    }
    ASSERT_TRUE(s.removeEditVariable(x));
    EXPECT_FALSE(s.suggestValue(x, 1));
    EXPECT_TRUE(s.isConsistent());
}

TEST(LayoutSolver, OnlyTheVariablesAChangeReachesAreReportedOnce) {
    Solver s;
    auto x1 = s.newVariable();
    auto w1 = s.newVariable();
    auto right1 = s.newVariable();
    auto x2 = s.newVariable();
    auto w2 = s.newVariable();
    // Two boxes that share nothing: a left edge, a preferred width, and (for the first) a right edge.
    ASSERT_TRUE(s.addConstraint(expr({{x1, 1}}, -10), R::equal, 1000));
    ASSERT_TRUE(s.addConstraint(expr({{right1, 1}, {x1, -1}, {w1, -1}}), R::equal, 1000));
    auto wanted1 = s.addConstraint(expr({{w1, 1}}, -50), R::equal, 500);
    ASSERT_TRUE(s.addConstraint(expr({{x2, 1}}, -100), R::equal, 1000));
    ASSERT_TRUE(s.addConstraint(expr({{w2, 1}}, -30), R::equal, 500));
    ASSERT_TRUE(wanted1);
    (void)s.takeChangedVariables();

    ASSERT_TRUE(s.setConstant(*wanted1, -60));
    auto changed = s.takeChangedVariables();
    std::sort(changed.begin(), changed.end());
    EXPECT_TRUE(std::adjacent_find(changed.begin(), changed.end()) == changed.end());
    auto has = [&](Solver::Variable v) { return std::binary_search(changed.begin(), changed.end(), v); };
    EXPECT_TRUE(has(w1));
    EXPECT_TRUE(has(right1));
    EXPECT_FALSE(has(x2));
    EXPECT_FALSE(has(w2));
    EXPECT_NEAR(s.value(right1), 70, 1e-9);
    EXPECT_TRUE(s.takeChangedVariables().empty());
    EXPECT_TRUE(s.isConsistent());
}

TEST(LayoutSolver, RandomisedEditsMatchASolveFromScratch) {
    // A chain of boxes: each left edge >= previous right edge + 4, widths prefer various values at
    // various priorities, everything is pulled gently left. Constraints are changed and removed in a
    // random order; after each step the incremental result must equal a fresh solve of what remains
    // (the optimum is unique here).
    struct Def {
        Solver::Expression e;
        R relation;
        double priority;
    };
    std::mt19937 rng(7);
    Solver s;
    const int n = 30;
    std::vector<Solver::Variable> vars;
    for (int i = 0; i < 2 * n; ++i) vars.push_back(s.newVariable());
    auto l = [&](int i) { return vars[2 * i]; };
    auto w = [&](int i) { return vars[2 * i + 1]; };
    std::vector<std::pair<Solver::ConstraintId, Def>> live;
    auto add = [&](Def d) {
        auto id = s.addConstraint(d.e, d.relation, d.priority);
        ASSERT_TRUE(id);
        live.emplace_back(*id, d);
    };
    add({expr({{l(0), 1}}), R::equal, 1000});
    for (int i = 1; i < n; ++i)
        add({expr({{l(i), 1}, {l(i - 1), -1}, {w(i - 1), -1}}, -4), R::greaterThanOrEqual, 1000});
    for (int i = 0; i < n; ++i) {
        add({expr({{w(i), 1}}), R::greaterThanOrEqual, 1000});
        add({expr({{w(i), 1}}, -double(10 + i)), R::equal, double(101 + (i * 37) % 899)});
        add({expr({{l(i), 1}}), R::equal, 100});
    }
    std::uniform_int_distribution<int> pick(0, 1000);
    for (int step = 0; step < 120; ++step) {
        std::size_t k = pick(rng) % live.size();
        if (pick(rng) % 3 == 0) {
            ASSERT_TRUE(s.removeConstraint(live[k].first));
            live.erase(live.begin() + static_cast<long>(k));
        } else if (live[k].second.priority < 1000) {
            double c = -double(pick(rng) % 50);
            ASSERT_TRUE(s.setConstant(live[k].first, c));
            live[k].second.e.constant = c;
        }
        ASSERT_TRUE(s.isConsistent()) << "step " << step;
        Solver fresh;
        for (int i = 0; i < 2 * n; ++i) fresh.newVariable();
        for (auto& [id, d] : live) ASSERT_TRUE(fresh.addConstraint(d.e, d.relation, d.priority));
        // Same optimum: every required constraint holds, and the violation summed per priority level
        // is the same as in the fresh solve (the solution itself need not be unique).
        std::map<double, double> incremental, scratch;
        for (auto& [id, d] : live) {
            double a = d.e.constant, b = d.e.constant;
            for (auto& t : d.e.terms) {
                a += t.coefficient * s.value(t.variable);
                b += t.coefficient * fresh.value(t.variable);
            }
            auto violation = [&](double v) {
                return d.relation == R::equal                ? std::fabs(v)
                       : d.relation == R::greaterThanOrEqual ? std::max(0.0, -v)
                                                             : std::max(0.0, v);
            };
            if (d.priority >= 1000) {
                ASSERT_LT(violation(a), 1e-6) << "step " << step;
            } else {
                incremental[d.priority] += violation(a);
                scratch[d.priority] += violation(b);
            }
        }
        for (auto& [level, v] : scratch) ASSERT_NEAR(incremental[level], v, 1e-6) << "step " << step << " @" << level;
    }
}

}  // namespace
