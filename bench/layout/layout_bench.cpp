// Layout of a 200-view tree laid out the way the kit's screens are: rows stacked vertically, each row a
// chain of labels and fixed-size buttons pinned with the declarative maker, some centred on margins guides.

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "dispatch/testing/ManualClockScope.h"
#include "uikit/UILabel.h"
#include "uikit/UIView.h"

namespace {

using namespace uikit;

struct Tree {
    std::shared_ptr<UIView> root;
    std::shared_ptr<NSLayoutConstraint> firstRowHeight;
    int views = 0;
};

// 1 root + 19 rows × (1 row + 9 items) + 9 extra = 200 views.
Tree makeTree() {
    Tree tree;
    tree.root = UIView::create(CGRect(0, 0, 390, 4000));
    tree.views = 1;
    std::shared_ptr<UIView> previous;
    for (int r = 0; r < 19; ++r) {
        auto row = UIView::create();
        tree.root->addSubview(row);
        ++tree.views;
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
            tree.firstRowHeight = row->heightAnchor().constraintEqualToConstant(60);
            tree.firstRowHeight->setIsActive(true);
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
            } else {
                item = UIView::create();
            }
            row->addSubview(item);
            ++tree.views;
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
    // Nine badges in other branches, aligned to the first row's items.
    for (int i = 0; i < 9; ++i) {
        auto badge = UIView::create();
        tree.root->addSubview(badge);
        ++tree.views;
        auto anchorView =
            tree.root->subviews()[static_cast<std::size_t>(i + 1)]->subviews()[static_cast<std::size_t>(i)];
        badge->snp().makeConstraints([&](ConstraintMaker& make) {
            make.centerX().equalTo(anchorView);
            make.bottom().equalTo(anchorView->snp().top());
            make.size().equalTo(CGSize{8, 8});
        });
    }
    return tree;
}

void BM_FullLayoutPass(benchmark::State& state) {
    dispatch::testing::ManualClockScope clock;
    for (auto _ : state) {
        state.PauseTiming();
        Tree tree = makeTree();
        state.ResumeTiming();
        tree.root->layoutIfNeeded();
        state.PauseTiming();
        benchmark::DoNotOptimize(tree.root->subviews().back()->frame());
        tree = Tree();
        state.ResumeTiming();
    }
    state.counters["views"] = 200;
}
BENCHMARK(BM_FullLayoutPass)->Unit(benchmark::kMillisecond);

void BM_IncrementalLayoutAfterOneConstant(benchmark::State& state) {
    dispatch::testing::ManualClockScope clock;
    Tree tree = makeTree();
    tree.root->layoutIfNeeded();
    double height = 60;
    for (auto _ : state) {
        height = height == 60 ? 80 : 60;
        tree.firstRowHeight->setConstant(height);
        tree.root->layoutIfNeeded();
        benchmark::DoNotOptimize(tree.root->subviews().back()->frame());
    }
}
BENCHMARK(BM_IncrementalLayoutAfterOneConstant)->Unit(benchmark::kMicrosecond);

void BM_LayoutPassWithNothingToDo(benchmark::State& state) {
    dispatch::testing::ManualClockScope clock;
    Tree tree = makeTree();
    tree.root->layoutIfNeeded();
    for (auto _ : state) {
        tree.root->layoutIfNeeded();
    }
}
BENCHMARK(BM_LayoutPassWithNothingToDo)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
