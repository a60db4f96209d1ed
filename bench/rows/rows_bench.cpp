// One 0.1 s player tick reaching the control rows, as the controls view applies the player's published state:
// the slider row takes the new time (its value, the thumb and elapsed bar, its value stream and the owner's
// value notice) and the new loaded ranges (the bars made again), the functional row's time label takes its
// new text, the playback row its playing flag, and the window lays out what changed at the end of the turn.
// Beside the full tick, the same ticks doing one of those parts each, and a tick in which nothing changes but
// a plain view asks for layout (the toolkit's layout pass over the same tree), so the cost can be told apart. The
// rounds of the five alternate in one run; each reports wall time per tick and, when valgrind is installed,
// instructions per tick counted by callgrind over one measured simulated second (ten ticks).
//
//   rows_bench                  both measurements
//   rows_bench --measure NAME   (internal) one second of NAME with callgrind's collection switched on
#include <valgrind/callgrind.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "controls/ZuFunctionalControlsView.h"
#include "controls/ZuPlaybackControlsView.h"
#include "controls/ZuSliderControlsView.h"
#include "dispatch/Timer.h"
#include "dispatch/testing/ManualClockScope.h"
#include "kitfoundation/Utilities.h"
#include "uikit/UIWindow.h"

namespace {

using coremedia::CMTimeMakeWithSeconds;
using coremedia::CMTimeRangeMake;
using uikit::CGRect;

constexpr double kDuration = 5400;  // a 90-minute asset
constexpr int kRounds = 21;
constexpr int kCallgrindRounds = 3;

// What a tick does.
struct Parts {
    bool value = false;
    bool ranges = false;
    bool label = false;
    bool playing = false;
    bool layoutOnly = false;  // nothing changes but a plain view asks for layout: the toolkit's pass alone
};

struct Scenario {
    const char* name;
    const char* title;
    Parts parts;
};

const std::vector<Scenario>& scenarios() {
    static const std::vector<Scenario> all{
        {"full", "full tick: value, ranges, label, playing", {true, true, true, true}},
        {"value", "slider value only", {true, false, false, false}},
        {"ranges", "loaded ranges only", {false, true, false, false}},
        {"label", "time label only", {false, false, true, false}},
        {"playing", "playing flag only", {false, false, false, true}},
        {"pass", "toolkit layout pass alone (for reference)", {false, false, false, false, true}},
    };
    return all;
}

// Counts what the owner of the slider row hears, as the controls view would react to it.
struct SliderOwner : lumora::ZuSliderControlsViewDelegate {
    long values = 0;
    void sliderControlsViewDidChangeSliderValue(lumora::ZuSliderControlsView&, float) override { ++values; }
};

// The three rows laid out in a landscape phone window, as the controls show them at density 2.
class Rows {
  public:
    explicit Rows(Parts parts) : parts_(parts) {
        window_ = uikit::UIWindow::create(CGRect(0, 0, 844, 390));
        window_->makeKeyAndVisible();
        playback_ = lumora::ZuPlaybackControlsView::create();
        functional_ = lumora::ZuFunctionalControlsView::create();
        slider_ = lumora::ZuSliderControlsView::create();
        for (const std::shared_ptr<uikit::UIView>& row :
             std::vector<std::shared_ptr<uikit::UIView>>{playback_, functional_, slider_}) {
            row->setTintColor(uikit::UIColor::white());
            window_->addSubview(row);
        }
        probe_ = uikit::UIView::create(CGRect(0, 0, 1, 1));
        window_->addSubview(probe_);
        slider_->setDelegate(owner_);
        slider_->setMaximumValue(static_cast<float>(kDuration));
        playback_->snp().makeConstraints([](uikit::ConstraintMaker& make) { make.center().equalToSuperview(); });
        functional_->snp().makeConstraints([](uikit::ConstraintMaker& make) {
            make.leading().trailing().equalToSuperview().inset(36);
            make.bottom().equalToSuperview().inset(26);
            make.height().equalTo(44);
        });
        auto functional = functional_;
        slider_->snp().makeConstraints([&](uikit::ConstraintMaker& make) {
            make.leading().trailing().equalToSuperview().inset(36);
            make.bottom().equalTo(functional->snp().top());
            make.height().equalTo(90);
        });
        window_->layoutIfNeeded();
    }
    ~Rows() {
        if (ticker_) ticker_->invalidate();
    }

    // The player's 0.1 s observer, from `from` seconds.
    void start(double from) {
        playhead_ = from;
        ticker_ = dispatch::Timer::scheduledTimer(0.1, true, [this](dispatch::Timer&) { tick(); });
    }
    void stop() {
        if (ticker_) ticker_->invalidate();
        ticker_.reset();
    }
    double playhead() const { return playhead_; }
    long ticks() const { return ticks_; }

  private:
    void tick() {
        playhead_ += 0.1;
        ++ticks_;
        if (parts_.value) slider_->setSliderValue(static_cast<float>(playhead_), false);
        if (parts_.ranges) {
            // The buffer reaches 30 s ahead of the playhead.
            slider_->setSliderLoadedTimeRanges(
                {CMTimeRangeMake(CMTimeMakeWithSeconds(0, 600), CMTimeMakeWithSeconds(playhead_ + 30, 600))});
        }
        if (parts_.label) {
            functional_->timeLabel()->setText(lumora::timeFormatted(playhead_) + " / " +
                                              lumora::timeFormatted(kDuration));
        }
        if (parts_.playing) playback_->setIsPlaying(true);
        if (parts_.layoutOnly) probe_->setNeedsLayout();
    }

    Parts parts_;
    std::shared_ptr<uikit::UIWindow> window_;
    std::shared_ptr<lumora::ZuPlaybackControlsView> playback_;
    std::shared_ptr<lumora::ZuFunctionalControlsView> functional_;
    std::shared_ptr<lumora::ZuSliderControlsView> slider_;
    std::shared_ptr<uikit::UIView> probe_;
    std::shared_ptr<SliderOwner> owner_ = std::make_shared<SliderOwner>();
    std::shared_ptr<dispatch::Timer> ticker_;
    double playhead_ = 0;
    long ticks_ = 0;
};

const Scenario* find(const std::string& name) {
    for (const auto& s : scenarios()) {
        if (name == s.name) return &s;
    }
    return nullptr;
}

// ---- Under callgrind: one measured second ----

int measure(const std::string& name) {
    const Scenario* scenario = find(name);
    if (!scenario) return 2;
    dispatch::testing::ManualClockScope clock;
    Rows rows(scenario->parts);
    rows.start(600);
    clock.advance(1.0);  // a second first, so that what is made once is not counted
    const long before = rows.ticks();
    CALLGRIND_TOGGLE_COLLECT;
    clock.advance(1.0);
    CALLGRIND_TOGGLE_COLLECT;
    rows.stop();
    return rows.ticks() - before == 10 ? 0 : 3;
}

int compare() {
    const auto& all = scenarios();
    const std::size_t n = all.size();
    std::vector<std::vector<double>> wall(n);
    {
        dispatch::testing::ManualClockScope clock;
        std::vector<std::unique_ptr<Rows>> rows;
        for (const auto& s : all) rows.push_back(std::make_unique<Rows>(s.parts));
        // Each scenario ticks alone for one simulated second while it is measured.
        const bool ticked = bench::rotatingRounds(kRounds, n, [&](std::size_t i, int round) {
            rows[i]->start(600 + round);
            const long before = rows[i]->ticks();
            const auto start = std::chrono::steady_clock::now();
            clock.advance(1.0);
            const auto end = std::chrono::steady_clock::now();
            rows[i]->stop();
            clock.runUntilIdle();
            const long ticks = rows[i]->ticks() - before;
            if (ticks != 10) {
                std::fprintf(stderr, "rows_bench: %s ticked %ld times in a second\n", all[i].name, ticks);
                return false;
            }
            wall[i].push_back(std::chrono::duration<double, std::micro>(end - start).count() / 10.0);
            return true;
        });
        if (!ticked) return 1;
    }

    const auto instructions = bench::instructionsInRounds(kCallgrindRounds, n, [&](std::size_t i) {
        auto total = bench::collectedInstructions({"--measure", all[i].name});
        return total ? std::optional(*total / 10.0) : std::nullopt;
    });

    std::printf("One 0.1 s player tick reaching the control rows, %d alternating rounds of 10 ticks\n", kRounds);
    std::vector<std::string> titles;
    for (const auto& s : all) titles.push_back(s.title);
    bench::printTable({44, "wall µs med", "wall µs min", "instructions/tick"}, titles, wall, instructions);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--measure") return measure(argv[2]);
    return compare();
}
