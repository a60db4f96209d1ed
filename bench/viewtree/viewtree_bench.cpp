// The toolkit's layout pass over a deep tree of about 500 views in a window with unsafe edges, and images
// looked up by name, as the player's controls use them. What is timed, each as one operation:
//
//   leaf    one leaf deep in a panel changes its size, and the window lays out
//   move    a panel of 63 views moves by hand (nothing needs layout, its safe areas change), and the window lays out
//   pass    a plain view asks for layout and the window lays out: the pass with almost nothing to do
//   named   twelve icons looked up by name, at the screen's scale
//
// The rounds of the four alternate in one run; each reports wall time per operation and, when valgrind is
// installed, instructions per operation counted by callgrind over 100 operations in a child process. The
// source uses the toolkit's public interface only, so the same file builds against an older toolkit for a
// before / after comparison: export that commit (`git archive <commit> | tar -x -C /tmp/base`), copy this
// folder and bench/common into its bench/, build it with the release preset, and run both binaries in turn.
//
//   viewtree_bench                  both measurements
//   viewtree_bench --measure NAME   (internal) 100 operations of NAME with callgrind's collection switched on
#include <valgrind/callgrind.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "dispatch/testing/ManualClockScope.h"
#include "imageio/Bitmap.h"
#include "imageio/ImageDecoder.h"
#include "uikit/ConstraintMaker.h"
#include "uikit/UIImage.h"
#include "uikit/UILabel.h"
#include "uikit/UIWindow.h"

namespace {

using uikit::CGFloat;
using uikit::CGPoint;
using uikit::CGRect;
using uikit::UIView;

constexpr int kRounds = 15;
constexpr int kOperationsPerRound = 100;
constexpr int kCallgrindRounds = 3;

const std::vector<std::string>& scenarioNames() {
    static const std::vector<std::string> all{"leaf", "move", "pass", "named"};
    return all;
}

const char* titleOf(const std::string& name) {
    if (name == "leaf") return "one deep leaf resized, then a pass";
    if (name == "move") return "a 63-view panel moved, then a pass";
    if (name == "pass") return "one plain view asks, then a pass";
    return "12 icons looked up by name";
}

// A binary tree of frame-placed views, `depth` levels below `parent`; returns the first leaf.
std::shared_ptr<UIView> addPanel(const std::shared_ptr<UIView>& parent, CGRect frame, int depth, int& views) {
    auto view = UIView::create(frame);
    parent->addSubview(view);
    ++views;
    if (depth == 0) return view;
    const CGFloat w = frame.size.width / 2, h = frame.size.height;
    auto first = addPanel(view, CGRect(0, 0, w, h - 2), depth - 1, views);
    addPanel(view, CGRect(w, 2, w, h - 2), depth - 1, views);
    return first;
}

// Rows of buttons and labels pinned with the declarative maker (as the control rows are) above five panels of
// nested frame-placed views, in a landscape phone window with unsafe edges: the window, the rows' container,
// 20 rows of 1 + 8, 5 panels of 63 and one plain view: 498 views.
class Tree {
  public:
    Tree() {
        window_ = uikit::UIWindow::create(CGRect(0, 0, 844, 390));
        window_->setSafeAreaInsets(uikit::UIEdgeInsets{0, 47, 21, 47});
        window_->makeKeyAndVisible();
        int views = 1;
        auto rows = UIView::create(CGRect(0, 0, 844, 200));
        window_->addSubview(rows);
        ++views;
        std::shared_ptr<UIView> previous;
        for (int r = 0; r < 20; ++r) {
            auto row = UIView::create();
            rows->addSubview(row);
            ++views;
            row->snp().makeConstraints([&](uikit::ConstraintMaker& make) {
                make.leading().trailing().equalTo(rows->safeAreaLayoutGuide());
                make.height().equalTo(10);
                if (previous) {
                    make.top().equalTo(previous->snp().bottom());
                } else {
                    make.top().equalToSuperview();
                }
            });
            std::shared_ptr<UIView> left;
            for (int i = 0; i < 8; ++i) {
                std::shared_ptr<UIView> item;
                if (i % 4 == 0) {
                    auto label = uikit::UILabel::create();
                    label->setText("00:" + std::to_string(10 + r));
                    item = label;
                } else {
                    item = UIView::create();
                }
                row->addSubview(item);
                ++views;
                item->snp().makeConstraints([&](uikit::ConstraintMaker& make) {
                    make.centerY().equalToSuperview();
                    if (left) {
                        make.leading().equalTo(left->snp().trailing()).offset(8);
                    } else {
                        make.leading().equalTo(row->layoutMarginsGuide());
                    }
                    if (i % 4 != 0) make.size().equalTo(uikit::CGSize{24, 8});
                });
                left = item;
            }
            previous = row;
        }
        for (int p = 0; p < 5; ++p) {
            auto leaf = addPanel(window_, CGRect(p * 168.8, 200, 168.8, 190), 5, views);
            if (p == 3) leaf_ = leaf;
            if (p == 1) panel_ = window_->subviews().back();
        }
        probe_ = UIView::create(CGRect(400, 100, 1, 1));
        rows->addSubview(probe_);
        views_ = views + 1;
        window_->layoutIfNeeded();
    }

    int views() const { return views_; }

    void operate(const std::string& scenario) {
        ++count_;
        if (scenario == "leaf") {
            leaf_->setFrame(CGRect(0, 0, count_ % 2 ? 4 : 5, 188));
        } else if (scenario == "move") {
            panel_->setCenter(CGPoint{252 + (count_ % 2 ? 8.0 : 0.0), 295});
        } else {
            probe_->setNeedsLayout();
        }
        window_->layoutIfNeeded();
    }

  private:
    std::shared_ptr<uikit::UIWindow> window_;
    std::shared_ptr<UIView> leaf_, panel_, probe_;
    int views_ = 0;
    long count_ = 0;
};

// Twelve icons at 1×, 2× and 3× in a bundle folder of their own, removed at the end.
class Icons {
  public:
    Icons() {
        root_ = std::filesystem::temp_directory_path() / ("viewtree_bench." + std::to_string(getpid()));
        std::filesystem::create_directories(root_);
        for (int i = 0; i < 12; ++i) {
            names_.push_back("icon" + std::to_string(i));
            for (int scale = 1; scale <= 3; ++scale) {
                // A 32-point icon: a disc with a soft edge, so that the file is not trivially small.
                const std::uint32_t side = 32u * static_cast<std::uint32_t>(scale);
                std::vector<std::uint8_t> rgba;
                rgba.reserve(std::size_t{side} * side * 4);
                for (std::uint32_t y = 0; y < side; ++y) {
                    for (std::uint32_t x = 0; x < side; ++x) {
                        const double dx = x - side / 2.0, dy = y - side / 2.0;
                        const double d = std::sqrt(dx * dx + dy * dy) / (side / 2.0);
                        const auto a = static_cast<std::uint8_t>(std::clamp(255.0 * (1.2 - d) * 4, 0.0, 255.0));
                        for (std::uint8_t c :
                             {std::uint8_t{255}, static_cast<std::uint8_t>(i * 20), std::uint8_t{80}, a}) {
                            rgba.push_back(c);
                        }
                    }
                }
                const auto bitmap = *imageio::Bitmap::fromRGBA(side, side, rgba);
                const std::string file = names_.back() + (scale == 1 ? "" : "@" + std::to_string(scale) + "x") + ".png";
                const auto png = *imageio::encodePNG(bitmap);
                std::ofstream(root_ / file, std::ios::binary)
                    .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
            }
        }
        bundle_.emplace(root_.string());
    }
    ~Icons() { std::filesystem::remove_all(root_); }

    void operate() {
        for (const auto& name : names_) {
            auto image = uikit::UIImage::named(name, *bundle_, nullptr);
            if (!image) std::abort();
        }
    }

  private:
    std::filesystem::path root_;
    std::vector<std::string> names_;
    std::optional<foundation::Bundle> bundle_;
};

struct Subjects {
    Tree tree;
    Icons icons;
    void operate(const std::string& scenario) {
        if (scenario == "named") {
            icons.operate();
        } else {
            tree.operate(scenario);
        }
    }
};

// ---- Under callgrind: 100 operations ----

int measure(const std::string& name) {
    if (std::find(scenarioNames().begin(), scenarioNames().end(), name) == scenarioNames().end()) return 2;
    dispatch::testing::ManualClockScope clock;
    Subjects subjects;
    for (int i = 0; i < 10; ++i) subjects.operate(name);  // what is made once is not counted
    CALLGRIND_TOGGLE_COLLECT;
    for (int i = 0; i < kOperationsPerRound; ++i) subjects.operate(name);
    CALLGRIND_TOGGLE_COLLECT;
    return 0;
}

int compare() {
    const auto& all = scenarioNames();
    const std::size_t n = all.size();
    std::vector<std::vector<double>> wall(n);
    int views = 0;
    {
        dispatch::testing::ManualClockScope clock;
        Subjects subjects;
        views = subjects.tree.views();
        for (const auto& name : all) subjects.operate(name);
        bench::rotatingRounds(kRounds, n, [&](std::size_t i, int) {
            const auto start = std::chrono::steady_clock::now();
            for (int op = 0; op < kOperationsPerRound; ++op) subjects.operate(all[i]);
            const auto end = std::chrono::steady_clock::now();
            wall[i].push_back(std::chrono::duration<double, std::micro>(end - start).count() / kOperationsPerRound);
            return true;
        });
    }

    const auto instructions = bench::instructionsInRounds(kCallgrindRounds, n, [&](std::size_t i) {
        auto total = bench::collectedInstructions({"--measure", all[i]});
        return total ? std::optional(*total / kOperationsPerRound) : std::nullopt;
    });

    std::printf("A %d-view tree in a window with unsafe edges, and icons by name; %d alternating rounds of %d\n", views,
                kRounds, kOperationsPerRound);
    std::vector<std::string> titles;
    for (const auto& name : all) titles.push_back(titleOf(name));
    bench::printTable({40, "wall µs med", "wall µs min", "instructions/op"}, titles, wall, instructions);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--measure") return measure(argv[2]);
    return compare();
}
