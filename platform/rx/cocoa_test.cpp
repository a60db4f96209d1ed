#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "dispatch/testing/ManualClockScope.h"
#include "rx/Rx.h"

namespace {

struct TestError {
    std::string localizedDescription() const { return "binding failed"; }
};

// A small control with a weakly held delegate.
class Slider;
class SliderDelegate {
  public:
    virtual ~SliderDelegate() = default;
    virtual void sliderDidChangeValue(Slider&, float) {}
    // Optional requirement whose absence the slider must tell from an answer.
    virtual std::optional<bool> sliderShouldBeginTracking(Slider&) { return std::nullopt; }
};

class Slider {
  public:
    static std::shared_ptr<Slider> create() { return std::shared_ptr<Slider>(new Slider()); }
    std::shared_ptr<SliderDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<SliderDelegate>& d) { delegate_ = d; }

    void setValue(float v) {
        if (auto d = delegate()) d->sliderDidChangeValue(*this, v);
    }
    bool beginTracking() {
        auto d = delegate();
        return d ? d->sliderShouldBeginTracking(*this).value_or(true) : true;
    }

  private:
    Slider() = default;
    std::weak_ptr<SliderDelegate> delegate_;
};

class SliderDelegateProxy : public rx::DelegateProxy<Slider, SliderDelegate, SliderDelegateProxy> {
  public:
    static std::shared_ptr<SliderDelegateProxy> create(const std::shared_ptr<Slider>& slider) {
        return std::shared_ptr<SliderDelegateProxy>(new SliderDelegateProxy(slider));
    }
    static std::shared_ptr<SliderDelegate> currentDelegate(Slider& slider) { return slider.delegate(); }
    static void setCurrentDelegate(Slider& slider, const std::shared_ptr<SliderDelegate>& d) { slider.setDelegate(d); }

    void sliderDidChangeValue(Slider& slider, float v) override {
        if (auto d = forwardToDelegate()) d->sliderDidChangeValue(slider, v);
    }
    std::optional<bool> sliderShouldBeginTracking(Slider& slider) override {
        if (auto d = forwardToDelegate()) return d->sliderShouldBeginTracking(slider);
        return std::nullopt;
    }

  private:
    using DelegateProxy::DelegateProxy;
};

struct RecordingDelegate : SliderDelegate {
    std::vector<float> values;
    void sliderDidChangeValue(Slider&, float v) override { values.push_back(v); }
    std::optional<bool> sliderShouldBeginTracking(Slider&) override { return false; }
};

struct Label {
    std::string text;
    std::thread::id setOn;
};

class RxCocoaTest : public ::testing::Test {
  protected:
    dispatch::testing::ManualClockScope clock;
    rx::DisposeBag bag;
};

TEST_F(RxCocoaTest, BinderAppliesOnTheMainThreadAndHoldsItsTargetWeakly) {
    auto label = std::make_shared<Label>();
    rx::Binder<int> text(label, [](Label& l, const int& v) {
        l.text = std::to_string(v);
        l.setOn = std::this_thread::get_id();
    });
    rx::PublishSubject<int> values;
    values.bind(text).disposed(bag);

    values.onNext(1);
    EXPECT_EQ(label->text, "1") << "on the main thread the main scheduler applies at once";

    std::thread([&] { values.onNext(2); }).join();
    EXPECT_EQ(label->text, "1");
    clock.runUntilIdle();
    EXPECT_EQ(label->text, "2");
    EXPECT_EQ(label->setOn, std::this_thread::get_id());

    values.onError(TestError{});  // reported, never applied, never a crash
    EXPECT_EQ(label->text, "2");

    rx::PublishSubject<int> more;
    more.bind(text).disposed(bag);
    label.reset();
    more.onNext(3);  // the target is gone: nothing happens
    clock.runUntilIdle();
}

TEST_F(RxCocoaTest, BindOnNextAndControlProperty) {
    std::vector<int> seen;
    rx::Observable<int>::of({1, 2}).bind([&](int v) { seen.push_back(v); }).disposed(bag);
    EXPECT_EQ(seen, (std::vector<int>{1, 2}));

    // A property: its values as a stream, and a sink that sets it.
    rx::BehaviorRelay<float> rate(0.0f);
    auto target = std::make_shared<float>(0.0f);
    rx::ControlProperty<float> property(rate, rx::Binder<float>(target, [rate](float& p, const float& v) {
                                            p = v;
                                            rate.accept(v);
                                        }));
    std::vector<float> rates;
    property.map([](float r) { return r; }).subscribe([&](float r) { rates.push_back(r); }).disposed(bag);
    rx::Observable<float>::just(1.5f).bind(property).disposed(bag);
    EXPECT_EQ(*target, 1.5f);
    EXPECT_EQ(rates, (std::vector<float>{0.0f, 1.5f}));
}

TEST_F(RxCocoaTest, ControlEventIsSubscribedOnTheMainThread) {
    std::thread::id subscribedOn;
    rx::ControlEvent<int> taps(rx::Observable<int>::create([&](const rx::AnyObserver<int>& observer) {
        subscribedOn = std::this_thread::get_id();
        observer.onNext(1);
        return rx::Disposable();
    }));

    std::vector<int> seen;
    rx::Disposable subscription;
    std::thread([&] { subscription = taps.subscribe([&](int v) { seen.push_back(v); }); }).join();
    EXPECT_EQ(subscribedOn, std::thread::id()) << "a subscription from a worker waits for the main loop";
    clock.runUntilIdle();
    EXPECT_EQ(subscribedOn, std::this_thread::get_id());
    EXPECT_EQ(seen, (std::vector<int>{1}));
    subscription.dispose();

    // Disposed before the main loop got to it: the source is never subscribed.
    subscribedOn = {};
    std::thread([&] { subscription = taps.subscribe(); }).join();
    subscription.dispose();
    clock.runUntilIdle();
    EXPECT_EQ(subscribedOn, std::thread::id());
}

TEST_F(RxCocoaTest, DelegateProxyStandsInAndForwardsToAWeakForwardDelegate) {
    auto slider = Slider::create();
    auto original = std::make_shared<RecordingDelegate>();
    slider->setDelegate(original);

    auto proxy = SliderDelegateProxy::proxy(slider);
    EXPECT_EQ(slider->delegate(), proxy) << "the proxy becomes the slider's delegate";
    EXPECT_EQ(proxy->forwardToDelegate(), original) << "the delegate it replaced becomes the forward delegate";
    EXPECT_EQ(SliderDelegateProxy::proxy(slider), proxy) << "one proxy per object";
    EXPECT_EQ(proxy->parentObject(), slider);

    // The row installs itself, not retained.
    auto row = std::make_shared<RecordingDelegate>();
    auto installation = SliderDelegateProxy::installForwardDelegate(row, false, slider);
    slider->setValue(0.5f);
    EXPECT_FALSE(slider->beginTracking()) << "an answer of the forward delegate is passed back";
    EXPECT_EQ(row->values, (std::vector<float>{0.5f}));
    EXPECT_TRUE(original->values.empty());

    row.reset();  // weakly held: gone with its owner
    slider->setValue(0.6f);
    EXPECT_TRUE(slider->beginTracking()) << "with no forward delegate the requirement counts as not implemented";

    // Retained: the proxy keeps the forward delegate alive until the installation is disposed.
    auto retained = std::make_shared<RecordingDelegate>();
    std::weak_ptr<RecordingDelegate> weakRetained = retained;
    auto retainedInstallation = SliderDelegateProxy::installForwardDelegate(retained, true, slider);
    retained.reset();
    slider->setValue(0.7f);
    ASSERT_FALSE(weakRetained.expired());
    EXPECT_EQ(weakRetained.lock()->values, (std::vector<float>{0.7f}));
    installation.dispose();  // an older installation does not remove a newer forward delegate
    EXPECT_FALSE(weakRetained.expired());
    retainedInstallation.dispose();
    EXPECT_TRUE(weakRetained.expired());
    EXPECT_EQ(proxy->forwardToDelegate(), nullptr);

    // The proxy goes once its slider has gone.
    std::weak_ptr<SliderDelegateProxy> weakProxy = proxy;
    proxy.reset();
    slider.reset();
    SliderDelegateProxy::proxy(Slider::create());  // the next look-up lets go of proxies of dead objects
    EXPECT_TRUE(weakProxy.expired());
}

TEST_F(RxCocoaTest, AnObjectsOwnDisposeBagEndsItsSubscriptionsWithIt) {
    struct View : rx::HasDisposeBag {
        std::vector<int> seen;
    };
    rx::PublishSubject<int> values;
    auto view = std::make_shared<View>();
    values.subscribe([v = view.get()](int x) { v->seen.push_back(x); }).disposed(view->disposeBag());
    values.onNext(1);
    EXPECT_TRUE(values.hasObservers());

    view->setDisposeBag(rx::DisposeBag());
    EXPECT_FALSE(values.hasObservers()) << "replacing the bag ends every binding in it";
    values.subscribe([v = view.get()](int x) { v->seen.push_back(x); }).disposed(view->disposeBag());
    values.onNext(2);
    EXPECT_EQ(view->seen, (std::vector<int>{1, 2}));
    view.reset();
    EXPECT_FALSE(values.hasObservers());
    values.onNext(3);
}

}  // namespace
