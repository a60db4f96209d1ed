#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ui/ObserveValue.h"

using namespace lumora;
using Options = foundation::NSKeyValueObservingOptions;

namespace {

class Meter : public foundation::KVOObservable {
  public:
    static std::shared_ptr<Meter> create() { return std::shared_ptr<Meter>(new Meter()); }
    const foundation::KVOProperty<int>& levelProperty() const { return level_; }
    void setLevel(int level) { level_.set(level); }

  private:
    Meter() { registerKey("level", level_); }
    foundation::KVOProperty<int> level_{3};
};

struct Recorder {
    std::vector<int> values;
    int completions = 0;
    rx::Disposable subscribe(const rx::Observable<int>& stream) {
        return stream.subscribe([this](int v) { values.push_back(v); }, nullptr, [this] { ++completions; });
    }
};

}  // namespace

TEST(ObserveValue, EmitsTheCurrentValueThenEachNewOneReadFromTheObject) {
    auto meter = Meter::create();
    auto stream = observeValue(meter, &Meter::levelProperty, Options::initial | Options::new_);
    EXPECT_EQ(meter->levelProperty().observerCount(), 0u);  // deferred
    Recorder both, changes;
    auto a = both.subscribe(stream);
    auto b = changes.subscribe(observeValue(meter, &Meter::levelProperty, Options::new_));
    EXPECT_EQ(meter->levelProperty().observerCount(), 2u);
    meter->setLevel(4);
    meter->setLevel(4);
    EXPECT_EQ(both.values, (std::vector<int>{3, 4, 4}));
    EXPECT_EQ(changes.values, (std::vector<int>{4, 4}));
    a.dispose();
    meter->setLevel(5);
    EXPECT_EQ(both.values.size(), 3u);
    EXPECT_EQ(meter->levelProperty().observerCount(), 1u);
    b.dispose();
}

TEST(ObserveValue, HoldsTheObjectWeaklyAndEndsQuietlyWhenItGoes) {
    auto meter = Meter::create();
    auto stream = observeValue(meter, &Meter::levelProperty, Options::initial | Options::new_);
    Recorder recorder;
    auto subscription = recorder.subscribe(stream);
    std::weak_ptr<Meter> watch = meter;
    meter.reset();
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(recorder.values, (std::vector<int>{3}));
    EXPECT_EQ(recorder.completions, 1);

    Recorder late;
    auto again = late.subscribe(stream);
    EXPECT_TRUE(late.values.empty());
    EXPECT_EQ(late.completions, 1);
}
