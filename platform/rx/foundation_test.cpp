#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rx/Rx.h"

namespace {

using foundation::KVOObservable;
using foundation::KVOProperty;
using foundation::NotificationCenter;
using Options = foundation::NSKeyValueObservingOptions;

// An object with two properties observable by name.
class Track : public KVOObservable {
  public:
    static std::shared_ptr<Track> create() { return std::shared_ptr<Track>(new Track()); }
    void setRate(float r) { rate_.set(r); }
    void setName(std::string n) { name_.set(std::move(n)); }

  private:
    Track() {
        registerKey("rate", rate_);
        registerKey("name", name_);
    }
    KVOProperty<float> rate_{1.0f};
    KVOProperty<std::string> name_{"main"};
};

struct Recorder {
    std::vector<std::optional<float>> values;
    int completions = 0;
    std::vector<std::string> errors;

    rx::Disposable subscribe(const rx::Observable<std::optional<float>>& stream) {
        return stream.subscribe([this](const std::optional<float>& v) { values.push_back(v); },
                                [this](const foundation::Error& e) { errors.push_back(e.localizedDescription()); },
                                [this] { ++completions; });
    }
};

}  // namespace

TEST(RxFoundationNotifications, DeliverMatchingNotificationsUntilDisposed) {
    NotificationCenter center;
    auto sender = std::make_shared<int>(1);
    auto other = std::make_shared<int>(2);
    std::vector<std::string> named, fromSender, every;
    auto a = rx::Reactive(center).notification("Ping").subscribe(
        [&](const foundation::Notification& n) { named.push_back(n.name); });
    auto b = rx::Reactive(center).notification("Ping", sender).subscribe([&](const foundation::Notification& n) {
        fromSender.push_back(n.name);
    });
    auto c = rx::Reactive(center).notification(std::nullopt).subscribe([&](const foundation::Notification& n) {
        every.push_back(n.name);
    });
    EXPECT_EQ(center.observerCount(), 3u);

    center.post("Ping", sender);
    center.post("Ping", other);
    center.post("Pong");
    EXPECT_EQ(named, (std::vector<std::string>{"Ping", "Ping"}));
    EXPECT_EQ(fromSender, (std::vector<std::string>{"Ping"}));
    EXPECT_EQ(every, (std::vector<std::string>{"Ping", "Ping", "Pong"}));

    a.dispose();
    b.dispose();
    c.dispose();
    EXPECT_EQ(center.observerCount(), 0u);
    center.post("Ping", sender);
    EXPECT_EQ(named.size(), 2u);
}

TEST(RxFoundationNotifications, AStreamFilteredOnAGoneSenderRegistersNothing) {
    NotificationCenter center;
    auto sender = std::make_shared<int>(1);
    auto stream = rx::Reactive(center).notification("Ping", sender);
    sender.reset();  // the stream does not keep its sender alive
    int received = 0;
    auto subscription = stream.subscribe([&](const foundation::Notification&) { ++received; });
    EXPECT_EQ(center.observerCount(), 0u);
    center.post("Ping");
    EXPECT_EQ(received, 0);
    subscription.dispose();
}

TEST(RxFoundationObserve, GivesTheCurrentValueThenEveryChangeTyped) {
    auto track = Track::create();
    rx::DisposeBag bag;  // the strong form holds the object until its subscriptions end
    Recorder all, changesOnly;
    all.subscribe(rx::Reactive(track).observe<float>("rate")).disposed(bag);
    changesOnly.subscribe(rx::Reactive(track).observe<float>("rate", Options::new_)).disposed(bag);
    track->setRate(2.0f);
    track->setRate(2.0f);
    EXPECT_EQ(all.values, (std::vector<std::optional<float>>{1.0f, 2.0f, 2.0f}));
    EXPECT_EQ(changesOnly.values, (std::vector<std::optional<float>>{2.0f, 2.0f}));

    // Without a new value in the record, the property is read; a value of another type is nothing.
    Recorder read, mistyped;
    read.subscribe(rx::Reactive(track).observe<float>("rate", Options::initial)).disposed(bag);
    mistyped.subscribe(rx::Reactive(track).observe<float>("name")).disposed(bag);
    EXPECT_EQ(read.values, (std::vector<std::optional<float>>{2.0f}));
    EXPECT_EQ(mistyped.values, (std::vector<std::optional<float>>{std::nullopt}));
}

TEST(RxFoundationObserve, AnUnknownNameFailsTheStreamWithTheKeyInTheText) {
    auto track = Track::create();
    Recorder strong, weak;
    auto a = strong.subscribe(rx::Reactive(track).observe<float>("speed"));
    auto b = weak.subscribe(rx::Reactive(track).observeWeakly<float>("speed"));
    ASSERT_EQ(strong.errors.size(), 1u);
    EXPECT_NE(strong.errors[0].find("speed"), std::string::npos);
    EXPECT_EQ(weak.errors, strong.errors);
    EXPECT_TRUE(strong.values.empty());
}

TEST(RxFoundationObserve, TheStrongFormKeepsTheObjectUntilDisposed) {
    auto track = Track::create();
    std::weak_ptr<Track> watch = track;
    Recorder recorder;
    auto subscription = recorder.subscribe(rx::Reactive(track).observe<float>("rate"));
    track.reset();
    ASSERT_FALSE(watch.expired());
    watch.lock()->setRate(0.5f);
    EXPECT_EQ(recorder.values.back(), 0.5f);
    subscription.dispose();
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(recorder.completions, 0);
}

TEST(RxFoundationObserve, TheWeakFormEndsQuietlyWhenTheObjectGoes) {
    auto track = Track::create();
    Recorder recorder;
    auto stream = rx::Reactive(track).observeWeakly<float>("rate");
    auto subscription = recorder.subscribe(stream);
    track->setRate(3.0f);
    track.reset();
    EXPECT_EQ(recorder.values, (std::vector<std::optional<float>>{1.0f, 3.0f}));
    EXPECT_EQ(recorder.completions, 1);
    EXPECT_TRUE(recorder.errors.empty());

    Recorder late;
    auto again = late.subscribe(stream);
    EXPECT_TRUE(late.values.empty());
    EXPECT_EQ(late.completions, 1);
}

TEST(RxFoundationObserve, ADisposedWeakStreamIsNotToldOfTheObjectGoing) {
    auto track = Track::create();
    Recorder recorder;
    auto subscription = recorder.subscribe(rx::Reactive(track).observeWeakly<float>("rate"));
    subscription.dispose();
    track.reset();
    EXPECT_EQ(recorder.completions, 0);
}
