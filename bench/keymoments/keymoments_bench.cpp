// Two costs of the key-moment views:
//
//  - the key-moments strip taking a new list: n events on n/5 times across the timeline, then the same
//    events reshuffled with a tenth replaced by new ones (and back), for n = 50, 500 and 5,000. One operation
//    is the update and every main-queue turn and display-link frame until each event's marker is made, laid
//    out and displayed. Beside it, the bare drawing of the same markers: each marker's bubble, stem, dot and
//    label (its code, shrunk to fit the bubble) recorded through the drawing interface into one context of
//    the strip's size, without views. The growth rows have goals: 10x the markers within 11x the work; and the
//    strip's update within 2.5x the instructions of the bare drawing, at every size.
//  - one step of scrubbing: the single thumbnail following a slider value across a 600-frame BIF index (the
//    position rule, the index lookup, the layout and display pass): a figure.
//
// The sides take turns in rotating rounds on a manual clock; wall time per operation is printed beside the
// instructions per operation that callgrind counts in a child process with collection switched on around
// the operations only (when valgrind is installed). The source uses the kit's public interface only, so the
// same file builds against an older tree for a before / after comparison.
//
//   keymoments_bench                                  everything
//   keymoments_bench --rounds N --callgrind-rounds N  (defaults 7 and 1)
//   keymoments_bench --no-callgrind                   wall times only
//   keymoments_bench --measure SIDE                   (internal) the counted operations of one side
#include <valgrind/callgrind.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "coregraphics/CGContext.h"
#include "devserver/ThumbnailArt.h"
#include "dispatch/RunLoop.h"
#include "dispatch/testing/ManualClockScope.h"
#include "keymoments/BIF.h"
#include "keymoments/ZuKeyMomentItem.h"
#include "keymoments/ZuKeyMomentsView.h"
#include "keymoments/ZuScrubberSingleThumbnailView.h"
#include "uikit/NSStringDrawing.h"
#include "uikit/UIBezierPath.h"
#include "uikit/UIWindow.h"

namespace {

using lumora::ZuKeyMomentEvent;
using uikit::CGFloat;
using uikit::CGRect;

constexpr double kDuration = 6000;  // seconds of timeline
constexpr int kFrames = 600;
constexpr int kScrubSteps = 1000;
constexpr std::int32_t kSeparation = 10'000;  // ms: 600 frames cover 6,000 s
const CGRect kStripFrame(0, 200, 1920, 83);

ZuKeyMomentEvent event(const std::string& code, double time) {
    return ZuKeyMomentEvent(code, time, time, "Goal", "12'", "J. Smith", "Harbour FC");
}

// n events on n/5 distinct times (five share each time, so that reordering them moves markers), and the same
// events shuffled with a tenth replaced by new ones.
struct Lists {
    std::vector<ZuKeyMomentEvent> first;
    std::vector<ZuKeyMomentEvent> second;

    explicit Lists(int n) {
        const double step = kDuration / std::max(1, n / 5);
        for (int i = 0; i < n; ++i) first.push_back(event("E" + std::to_string(i), (i / 5) * step));
        second = first;
        std::mt19937 random(20240607);
        std::shuffle(second.begin(), second.end(), random);
        for (int i = 0; i < n / 10; ++i) {
            second[static_cast<std::size_t>(i) * 10] = event("F" + std::to_string(i), i * step * 2 + step / 2);
        }
    }
};

// The strip in a window on the main loop of a manual clock, showing the first list.
class Strip {
  public:
    explicit Strip(const Lists& lists) : lists_(lists) {
        window_->makeKeyAndVisible();
        window_->addSubview(view_);
        show(lists_.first);
    }
    // One update, to the other list.
    void operate() {
        toSecond_ = !toSecond_;
        show(toSecond_ ? lists_.second : lists_.first);
    }

  private:
    // The update, then main-queue turns and display-link frames until every event has its marker and the
    // window has laid out and displayed them.
    void show(const std::vector<ZuKeyMomentEvent>& events) {
        view_->update(events, kDuration);
        dispatch::RunLoop::main().runUntilIdle();
        for (int frame = 0; frame < 10'000 && view_->keyMomentGroups().size() != view_->events().size(); ++frame) {
            dispatch::RunLoop::main().advance(1.0 / 60);
        }
        dispatch::RunLoop::main().runUntilIdle();
    }

    const Lists& lists_;
    std::shared_ptr<uikit::UIWindow> window_ = uikit::UIWindow::create(CGRect(0, 0, 1920, 300));
    std::shared_ptr<lumora::ZuKeyMomentsView> view_ = lumora::ZuKeyMomentsView::create(kStripFrame);
    bool toSecond_ = false;
};

// The same markers drawn without views: through the drawing interface into one recording context of the strip's
// size, each marker where the strip places it, its label's font shrunk by the measured ratio so that the code
// fits the bubble.
class BareDrawing {
  public:
    explicit BareDrawing(const Lists& lists) : lists_(lists) {}
    void operate() {
        toSecond_ = !toSecond_;
        draw(toSecond_ ? lists_.second : lists_.first);
    }
    std::size_t commands() const { return commands_; }

  private:
    void draw(std::vector<ZuKeyMomentEvent> events) {
        std::stable_sort(events.begin(), events.end(),
                         [](const auto& a, const auto& b) { return a.startTime < b.startTime; });
        auto context = coregraphics::CGRecordingContext::create({kStripFrame.width(), kStripFrame.height()});
        const CGFloat left = 8, width = kStripFrame.width() - 16;  // the strip's layout margins
        const uikit::CGSize size = styles_.itemSize;
        const CGFloat dotY = size.height - styles_.edgeInsets.bottom - styles_.anchorSize.height * 0.5;
        const uikit::UIFont font = uikit::UIFont::systemFont(16, uikit::UIFont::Weight::bold);
        for (const auto& e : events) {
            const CGFloat x = left + width * e.videoTime / kDuration;
            const CGRect rect(x - size.width / 2, kStripFrame.height() - dotY, size.width, size.height);
            const auto g = lumora::ZuKeyMomentItem::geometry(rect, styles_.edgeInsets, styles_);
            context->setFillColor(coregraphics::CGColor::white());
            context->addPath(uikit::UIBezierPath::roundedRect(g.bubble, 3.0).cgPath());
            context->fillPath(coregraphics::CGPathFillRule::winding);
            auto dot = uikit::UIBezierPath::ovalIn(g.anchor);
            dot.append(uikit::UIBezierPath::rect(g.stem));
            context->addPath(dot.cgPath());
            context->fillPath(coregraphics::CGPathFillRule::winding);
            const CGFloat natural = uikit::TextMetrics::width(e.code, font);
            const uikit::UIFont fitted =
                natural > g.label.width() ? font.withSize(font.pointSize() * g.label.width() / natural) : font;
            const auto layout = uikit::TextMetrics::layout(e.code, fitted, g.label.width(), 0);
            CGFloat y = g.label.midY() - layout.size.height / 2;
            for (const auto& line : layout.lines) {
                context->drawText(line.text,
                                  CGRect(g.label.midX() - line.width / 2, y, line.width, fitted.lineHeight()),
                                  fitted.cgFont(), coregraphics::CGColor::black(), 0);
                y += fitted.lineHeight();
            }
        }
        commands_ = context->commands().size();
    }

    const Lists& lists_;
    lumora::ZuStyleManager::KeyMoments styles_ = lumora::ZuKeyMomentItem::create()->styles();
    bool toSecond_ = false;
    std::size_t commands_ = 0;
};

struct Scrubber {
    lumora::BIF bif;
    std::shared_ptr<uikit::UIWindow> window = uikit::UIWindow::create(CGRect(0, 0, 1920, 300));
    std::shared_ptr<lumora::ZuScrubberSingleThumbnailView> view =
        lumora::ZuScrubberSingleThumbnailView::create(CGRect(0, 0, 1920, 126));
    int step = 0;
    Scrubber() : bif(makeIndex()) {
        window->makeKeyAndVisible();
        window->addSubview(view);
        view->setTintColor(uikit::UIColor::white());
        dispatch::RunLoop::main().runUntilIdle();
    }
    static lumora::BIF makeIndex() {
        devserver::thumbnails::FrameStyle style;
        style.framewiseSeparation = kSeparation;
        std::vector<std::vector<std::uint8_t>> jpegs;
        for (int n = 0; n < kFrames; ++n) {
            jpegs.push_back(*imageio::encodeJPEG(devserver::thumbnails::drawFrame("vod-clear", n, style), 80));
        }
        return *lumora::BIF::from(devserver::thumbnails::encodeBIF(jpegs, kSeparation),
                                  lumora::BIFResolution::standard);
    }
    // One step of a sweep across the whole timeline.
    void operate() {
        const double value = kDuration * (step++ % kScrubSteps) / (kScrubSteps - 1);
        view->followValue(value, 0, kDuration, &bif);
        dispatch::RunLoop::main().runUntilIdle();
    }
};

// A side: made once per round (not counted), then `operations` operations.
struct Side {
    std::string name;
    int operations;
    std::function<std::function<void()>()> make;  // returns the operation, holding what it needs
};

std::vector<Side> sides() {
    static const Lists small(50), medium(500), large(5000);
    auto strip = [](const Lists& lists) {
        return [&lists] {
            auto s = std::make_shared<Strip>(lists);
            return std::function<void()>([s] { s->operate(); });
        };
    };
    auto bare = [](const Lists& lists) {
        return [&lists] {
            auto b = std::make_shared<BareDrawing>(lists);
            return std::function<void()>([b] { b->operate(); });
        };
    };
    return {
        {"strip, 50 markers", 40, strip(small)},
        {"strip, 500 markers", 6, strip(medium)},
        {"strip, 5000 markers", 2, strip(large)},
        {"bare drawing, 50 markers", 40, bare(small)},
        {"bare drawing, 500 markers", 6, bare(medium)},
        {"bare drawing, 5000 markers", 2, bare(large)},
        {"scrub step, 600 frames", 200,
         [] {
             static Scrubber* scrubber = new Scrubber();  // the index is costly to build: once per process
             return std::function<void()>([] { scrubber->operate(); });
         }},
    };
}

struct Row {
    std::size_t a, b;
    double goal;  // 0: a figure to watch
};

int measure(const std::string& name) {
    dispatch::testing::ManualClockScope clock;
    for (const auto& side : sides()) {
        if (side.name != name) continue;
        auto operate = side.make();
        operate();  // both lists seen once: what is made once is not counted
        operate();
        CALLGRIND_TOGGLE_COLLECT;
        for (int i = 0; i < side.operations; ++i) operate();
        CALLGRIND_TOGGLE_COLLECT;
        return 0;
    }
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--measure") return measure(argv[2]);
    const int rounds = std::max(1, std::atoi(bench::option(argc, argv, "--rounds").value_or("7").c_str()));
    const int callgrindRounds =
        std::max(1, std::atoi(bench::option(argc, argv, "--callgrind-rounds").value_or("1").c_str()));
    bool callgrind = true;
    for (int i = 1; i < argc; ++i) callgrind = callgrind && std::string(argv[i]) != "--no-callgrind";

    const auto all = sides();
    std::vector<std::vector<double>> wall(all.size());
    {
        dispatch::testing::ManualClockScope clock;
        bench::rotatingRounds(rounds + 1, all.size(), [&](std::size_t i, int round) {
            auto operate = all[i].make();
            operate();
            operate();
            const auto start = std::chrono::steady_clock::now();
            for (int op = 0; op < all[i].operations; ++op) operate();
            const double us =
                std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
            if (round > 0) wall[i].push_back(us / all[i].operations);  // round 0 warms up
            return true;
        });
    }
    std::vector<std::vector<double>> instructions(all.size());
    if (callgrind) {
        instructions = bench::instructionsInRounds(callgrindRounds, all.size(), [&](std::size_t i) {
            auto total = bench::collectedInstructions({"--measure", all[i].name});
            return total ? std::optional(*total / all[i].operations) : std::nullopt;
        });
    }

    std::printf(
        "The key-moments strip taking a new list (n events on n/5 times, then reshuffled with n/10 replaced, and\n"
        "back) until every marker is made, laid out and displayed, beside the bare drawing of the same markers;\n"
        "one scrubbing step over a 600-frame index. %d rotating rounds, instructions from %d callgrind run%s.\n\n",
        rounds, callgrindRounds, callgrindRounds == 1 ? "" : "s");
    std::vector<std::string> names;
    for (const auto& side : all) names.push_back("  " + side.name);
    bench::printTable({30, "wall us med", "wall us min", "instructions/op"}, names, wall, instructions);

    const Row rows[] = {{1, 0, 11.0}, {2, 1, 11.0}, {0, 3, 2.5}, {1, 4, 2.5}, {2, 5, 2.5}, {4, 3, 0}, {5, 4, 0}};
    std::printf("\n");
    for (const Row& row : rows) {
        std::string counted = "instructions not counted";
        if (!instructions[row.a].empty() && !instructions[row.b].empty()) {
            counted = "instructions " +
                      bench::verdict(bench::median(instructions[row.a]) / bench::median(instructions[row.b]), row.goal);
        }
        std::printf("  %s vs %s: %s; wall %s\n", all[row.a].name.c_str(), all[row.b].name.c_str(), counted.c_str(),
                    bench::verdict(bench::pairedRatio(wall[row.a], wall[row.b]), row.goal).c_str());
    }
    return 0;
}
