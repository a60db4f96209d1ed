// How the cost of automatic layout grows: with the views of a tree, with the other windows alive in the
// process, and for a pass that has almost nothing to do. The trees are laid out the way the kit's screens
// are: rows stacked vertically, each row a chain of labels and fixed-size buttons pinned with the
// declarative maker, centred on the row's margins guide, and a few badges aligned across branches.
//
//   first    the first layout pass of a tree of 100, 1,000 and 5,000 views (same shape)
//   windows  the first pass of a 200-view window alone, with 10 and with 30 other laid-out windows alive
//   asked    one label deep in the tree asks for layout, then a pass (trees of 100, 1,000 and 5,000 views)
//   constant the first row's height constant changes, then a pass: every row below moves (a figure)
//
// Each measure's variants take turns in rotating rounds; wall time per operation is printed beside the
// instructions per operation counted by callgrind (when valgrind is installed) in a child process that
// switches collection on around the measured operations only. Each growth row prints its goal. The source
// uses the toolkit's public interface only, so the same file builds against an older toolkit for a before /
// after comparison (copy this folder and bench/common into the older tree's bench/ and build it there).
//
//   layout_bench                                  every measure
//   layout_bench --only NAME                      one measure
//   layout_bench --rounds N --callgrind-rounds N  (defaults 9 and 1)
//   layout_bench --measure NAME VARIANT           (internal) the counted operations of one variant
#include <valgrind/callgrind.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "dispatch/testing/ManualClockScope.h"
#include "uikit/ConstraintMaker.h"
#include "uikit/NSLayoutConstraint.h"
#include "uikit/UILabel.h"
#include "uikit/UIWindow.h"

namespace {

using namespace uikit;

// A window holding rows of one container and nine items (every third a label), stacked with 8 points
// between them, and nine badges in other branches aligned to the first rows' items: 1 + 10 × rows + 9 views.
class Tree {
  public:
    explicit Tree(int views) {
        const int rows = std::max(1, (views - 10) / 10);
        window_ = UIWindow::create(CGRect(0, 0, 390, 60.0 * rows + 100));
        window_->makeKeyAndVisible();
        views_ = 1;
        std::shared_ptr<UIView> previous;
        for (int r = 0; r < rows; ++r) {
            auto row = UIView::create();
            window_->addSubview(row);
            ++views_;
            row->setLayoutMargins(UIEdgeInsets{4, 16, 4, 16});
            row->snp().makeConstraints([&](ConstraintMaker& make) {
                make.leading().trailing().equalToSuperview();
                if (previous) {
                    make.top().equalTo(previous->snp().bottom()).offset(8);
                } else {
                    make.top().equalToSuperview();
                }
            });
            if (r == 0) {
                firstRowHeight_ = row->heightAnchor().constraintEqualToConstant(60);
                firstRowHeight_->setIsActive(true);
            } else {
                row->snp().makeConstraints([](ConstraintMaker& make) { make.height().equalTo(44).priority(999); });
            }
            std::shared_ptr<UIView> left;
            for (int i = 0; i < 9; ++i) {
                std::shared_ptr<UIView> item;
                if (i % 3 == 0) {
                    auto label = UILabel::create();
                    label->setText("Item " + std::to_string(r * 10 + i));
                    item = label;
                    if (r == rows / 2 && i == 3) asker_ = label;
                } else {
                    item = UIView::create();
                }
                row->addSubview(item);
                ++views_;
                item->snp().makeConstraints([&](ConstraintMaker& make) {
                    make.centerY().equalTo(row->layoutMarginsGuide());
                    if (left) {
                        make.leading().greaterThanOrEqualTo(left->snp().trailing()).offset(6);
                    } else {
                        make.leading().equalTo(row->layoutMarginsGuide());
                    }
                    if (i % 3 != 0) make.size().equalTo(CGSize{24, 24});
                    make.top().greaterThanOrEqualTo(row->layoutMarginsGuide());
                });
                left = item;
            }
            left->snp().makeConstraints(
                [&](ConstraintMaker& make) { make.trailing().lessThanOrEqualTo(row->layoutMarginsGuide()); });
            previous = row;
        }
        const auto rowViews = window_->subviews();
        for (int i = 0; i < 9; ++i) {
            auto badge = UIView::create();
            window_->addSubview(badge);
            ++views_;
            auto anchorView = rowViews[static_cast<std::size_t>(i % rows)]->subviews()[static_cast<std::size_t>(i)];
            badge->snp().makeConstraints([&](ConstraintMaker& make) {
                make.centerX().equalTo(anchorView);
                make.bottom().equalTo(anchorView->snp().top());
                make.size().equalTo(CGSize{8, 8});
            });
        }
    }

    int views() const { return views_; }
    void layout() { window_->layoutIfNeeded(); }
    void ask() {
        asker_->setNeedsLayout();
        window_->layoutIfNeeded();
    }
    void changeConstant() {
        firstRowHeight_->setConstant(firstRowHeight_->constant() == 60 ? 80 : 60);
        window_->layoutIfNeeded();
    }
    // What a pass gave a view, so that the work cannot be skipped.
    CGFloat probe() const { return window_->subviews().back()->frame().origin.x; }

  private:
    std::shared_ptr<UIWindow> window_;
    std::shared_ptr<NSLayoutConstraint> firstRowHeight_;
    std::shared_ptr<UIView> asker_;
    int views_ = 0;
};

// One variant of a measure: `prepare` makes what the measured operations need (not counted), `operate` does
// one operation, `reset` drops what `prepare` made.
struct Variant {
    std::string name;
    int operationsPerRound;
    std::function<void()> prepare;
    std::function<void()> beforeEach;  // not counted
    std::function<void()> operate;
    std::function<void()> afterEach;  // not counted
    std::function<void()> reset;
};

struct Growth {
    std::size_t variant;
    std::size_t base;
    double goal;  // 0: a figure to watch
};

struct Measure {
    std::string name;
    std::string title;
    std::vector<Variant> variants;
    std::vector<Growth> growth;
};

volatile CGFloat gSink = 0;

// Builds the measures over state shared by their closures.
struct Subjects {
    std::optional<Tree> tree;
    std::vector<Tree> others;

    Variant firstPass(int views) {
        return {std::to_string(views) + " views",
                std::max(1, 2000 / views),
                [] {},
                [this, views] { tree.emplace(views); },
                [this] { tree->layout(); },
                [this] {
                    gSink = tree->probe();
                    tree.reset();
                },
                [this] { tree.reset(); }};
    }

    Variant withWindows(int count) {
        return {count == 0 ? std::string("alone") : "with " + std::to_string(count) + " other windows",
                4,
                [this, count] {
                    for (int i = 0; i < count; ++i) {
                        others.emplace_back(200);
                        others.back().layout();
                    }
                },
                [this] { tree.emplace(200); },
                [this] { tree->layout(); },
                [this] {
                    gSink = tree->probe();
                    tree.reset();
                },
                [this] {
                    tree.reset();
                    others.clear();
                }};
    }

    Variant asked(int views) {
        return {std::to_string(views) + " views",
                200,
                [this, views] {
                    tree.emplace(views);
                    tree->layout();
                },
                [] {},
                [this] { tree->ask(); },
                [] {},
                [this] { tree.reset(); }};
    }

    Variant constant(int views) {
        return {std::to_string(views) + " views",
                std::max(2, 4000 / views),
                [this, views] {
                    tree.emplace(views);
                    tree->layout();
                },
                [] {},
                [this] { tree->changeConstant(); },
                [this] { gSink = tree->probe(); },
                [this] { tree.reset(); }};
    }

    std::vector<Measure> measures() {
        return {
            {"first",
             "first layout pass of a tree",
             {firstPass(100), firstPass(1000), firstPass(5000)},
             {{1, 0, 12.0}, {2, 1, 6.0}}},
            {"windows",
             "first pass of a 200-view window",
             {withWindows(0), withWindows(10), withWindows(30)},
             {{1, 0, 1.2}, {2, 0, 1.2}}},
            {"asked",
             "one label asks for layout, then a pass",
             {asked(100), asked(1000), asked(5000)},
             {{1, 0, 1.2}, {2, 0, 1.2}}},
            {"constant",
             "the first row's height changes, then a pass (every row moves)",
             {constant(100), constant(1000), constant(5000)},
             {{1, 0, 0}, {2, 1, 0}}},
        };
    }
};

// Seconds for `operations` operations of `variant`, counting `operate` only.
double timed(const Variant& variant, int operations) {
    double seconds = 0;
    for (int i = 0; i < operations; ++i) {
        variant.beforeEach();
        const auto start = std::chrono::steady_clock::now();
        variant.operate();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        variant.afterEach();
    }
    return seconds;
}

// ---- Under callgrind: the counted operations of one variant ----

int measureOne(const std::string& measureName, const std::string& variantName) {
    dispatch::testing::ManualClockScope clock;
    Subjects subjects;
    for (const auto& measure : subjects.measures()) {
        if (measure.name != measureName) continue;
        for (const auto& variant : measure.variants) {
            if (variant.name != variantName) continue;
            variant.prepare();
            (void)timed(variant, 1);  // what is made once (fonts, caches) is not counted
            for (int i = 0; i < variant.operationsPerRound; ++i) {
                variant.beforeEach();
                CALLGRIND_TOGGLE_COLLECT;
                variant.operate();
                CALLGRIND_TOGGLE_COLLECT;
                variant.afterEach();
            }
            variant.reset();
            return 0;
        }
    }
    return 2;
}

void compare(const Measure& measure, int rounds, int callgrindRounds) {
    const std::size_t n = measure.variants.size();
    std::vector<std::vector<double>> wall(n);
    bench::rotatingRounds(rounds + 1, n, [&](std::size_t i, int round) {
        const Variant& variant = measure.variants[i];
        variant.prepare();
        const double seconds = timed(variant, variant.operationsPerRound);
        variant.reset();
        if (round > 0) wall[i].push_back(seconds / variant.operationsPerRound * 1e6);  // round 0 warms up
        return true;
    });

    const auto instructions = bench::instructionsInRounds(callgrindRounds, n, [&](std::size_t i) {
        const Variant& variant = measure.variants[i];
        auto total = bench::collectedInstructions({"--measure", measure.name, variant.name});
        return total ? std::optional(*total / variant.operationsPerRound) : std::nullopt;
    });

    std::printf("\n%s (%d rotating rounds; instructions per operation from %d callgrind run%s)\n",
                measure.title.c_str(), rounds, callgrindRounds, callgrindRounds == 1 ? "" : "s");
    std::vector<std::string> names;
    for (const auto& variant : measure.variants) names.push_back("  " + variant.name);
    bench::printTable({28, "wall us med", "wall us min", "instructions/op"}, names, wall, instructions);
    for (const Growth& g : measure.growth) {
        const auto& a = measure.variants[g.variant];
        const auto& b = measure.variants[g.base];
        const double wallRatio = bench::pairedRatio(wall[g.variant], wall[g.base]);
        std::string counted = "instructions not counted";
        if (!instructions[g.variant].empty() && !instructions[g.base].empty()) {
            counted =
                "instructions " +
                bench::verdict(bench::median(instructions[g.variant]) / bench::median(instructions[g.base]), g.goal);
        }
        std::printf("  %s vs %s: %s; wall %s\n", a.name.c_str(), b.name.c_str(), counted.c_str(),
                    bench::verdict(wallRatio, g.goal).c_str());
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::string(argv[1]) == "--measure") return measureOne(argv[2], argv[3]);
    const int rounds = std::max(1, std::atoi(bench::option(argc, argv, "--rounds").value_or("9").c_str()));
    const int callgrindRounds =
        std::max(1, std::atoi(bench::option(argc, argv, "--callgrind-rounds").value_or("1").c_str()));
    const auto only = bench::option(argc, argv, "--only");
    std::printf(
        "Automatic layout: growth with the views of a tree, with other windows alive, and for a pass that\n"
        "has almost nothing to do. Goals: linear in the views (a 10x tree within 12x, a 5x tree within\n"
        "6x); other windows and the size of the tree cost a pass at most 1.2x.\n");
    dispatch::testing::ManualClockScope clock;
    Subjects subjects;
    for (const auto& measure : subjects.measures()) {
        if (only && *only != measure.name) continue;
        compare(measure, rounds, callgrindRounds);
    }
    return 0;
}
