#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dispatch/testing/ManualClockScope.h"
#include "rx/Rx.h"

namespace {

struct TestError {
    std::string message;
    std::string localizedDescription() const { return message; }
};

using Log = std::vector<std::string>;

class RxSubjectsTest : public ::testing::Test {
  protected:
    // Records into `log` under a name; every subscription ends with the test.
    template <class T>
    void record(const rx::Observable<T>& source, const std::string& name) {
        source
            .subscribe([this, name](const T& v) { log.push_back(name + ":" + std::to_string(v)); },
                       [this, name](const foundation::Error& e) {
                           log.push_back(name + ":error " + e.localizedDescription());
                       },
                       [this, name] { log.push_back(name + ":completed"); })
            .disposed(bag);
    }

    dispatch::testing::ManualClockScope clock;
    Log log;
    rx::DisposeBag bag;
};

TEST_F(RxSubjectsTest, PublishSubjectReachesCurrentSubscribersAndKeepsItsStopEvent) {
    rx::PublishSubject<int> subject;
    subject.onNext(0);  // nobody listens yet
    record<int>(subject, "a");
    subject.onNext(1);
    record<int>(subject, "b");
    subject.onNext(2);
    subject.onCompleted();
    subject.onNext(3);
    record<int>(subject, "late");
    EXPECT_EQ(log, (Log{"a:1", "a:2", "b:2", "a:completed", "b:completed", "late:completed"}));
    EXPECT_FALSE(subject.hasObservers());

    log.clear();
    rx::PublishSubject<int> failing;
    record<int>(failing, "a");
    failing.onError(TestError{"gone"});
    failing.onCompleted();
    record<int>(failing, "late");
    EXPECT_EQ(log, (Log{"a:error gone", "late:error gone"}));
}

TEST_F(RxSubjectsTest, BehaviorSubjectGivesItsCurrentValueFirst) {
    rx::BehaviorSubject<int> subject(1);
    record<int>(subject, "a");
    subject.onNext(2);
    record<int>(subject, "b");
    EXPECT_EQ(log, (Log{"a:1", "a:2", "b:2"}));
    EXPECT_EQ(subject.value().value(), 2);

    subject.onError(TestError{"licence refused"});
    ASSERT_FALSE(subject.value().has_value());
    EXPECT_EQ(subject.value().error().localizedDescription(), "licence refused");

    rx::BehaviorSubject<int> completed(5);
    completed.onCompleted();
    log.clear();
    record<int>(completed, "late");
    EXPECT_EQ(log, (Log{"late:completed"})) << "a stopped subject sends only its stop event";
    EXPECT_EQ(completed.value().value(), 5);

    // Copies are the same subject.
    rx::BehaviorSubject<std::optional<int>> optional(std::nullopt);
    auto sameOptional = optional;
    sameOptional.onNext(3);
    EXPECT_EQ(optional.value().value(), std::optional<int>(3));
}

TEST_F(RxSubjectsTest, RelaysNeverEndEvenWhenBoundToAFailingSource) {
    rx::BehaviorRelay<int> relay(10);
    rx::PublishRelay<int> events;
    record<int>(relay, "relay");
    record<int>(events, "events");
    relay.accept(11);
    events.accept(1);
    EXPECT_EQ(relay.value(), 11);

    rx::PublishSubject<int> source;
    source.bind(relay).disposed(bag);
    source.bind(events).disposed(bag);
    source.onNext(12);
    source.onError(TestError{"source failed"});
    relay.accept(13);
    events.accept(2);
    EXPECT_EQ(log, (Log{"relay:10", "relay:11", "events:1", "relay:12", "events:12", "relay:13", "events:2"}));
}

TEST_F(RxSubjectsTest, SubscribersMayReenterTheSubjectFromTheirHandlers) {
    rx::BehaviorRelay<int> relay(0);
    std::vector<int> seen;
    relay
        .subscribe([&](int v) {
            seen.push_back(v);
            if (v == 0) relay.accept(1);  // while the current value is being delivered
        })
        .disposed(bag);
    EXPECT_EQ(seen, (std::vector<int>{0, 1}));

    // Subscribing from inside a delivery: the new subscriber gets later elements, not the one in flight.
    rx::PublishSubject<int> subject;
    std::vector<int> inner;
    bool subscribed = false;
    subject
        .subscribe([&](int) {
            if (subscribed) return;
            subscribed = true;
            subject.subscribe([&](int v) { inner.push_back(v); }).disposed(bag);
        })
        .disposed(bag);
    subject.onNext(1);
    subject.onNext(2);
    EXPECT_EQ(inner, (std::vector<int>{2}));
}

TEST_F(RxSubjectsTest, ObservableForwardsEverythingIntoASubject) {
    rx::PublishSubject<int> subject;
    record<int>(subject, "s");
    rx::Observable<int>::of({1, 2}).subscribe(subject).disposed(bag);
    EXPECT_EQ(log, (Log{"s:1", "s:2", "s:completed"}));
}

TEST_F(RxSubjectsTest, DisposeBagEndsItsSubscriptionsInOrderWhenDestroyedOrReplaced) {
    Log order;
    {
        rx::DisposeBag scoped;
        rx::Disposables::create([&] { order.push_back("first"); }).disposed(scoped);
        rx::Disposables::create([&] { order.push_back("second"); }).disposed(scoped);
        EXPECT_EQ(scoped.count(), 2u);
    }
    EXPECT_EQ(order, (Log{"first", "second"}));

    rx::DisposeBag owned;
    rx::Disposables::create([&] { order.push_back("old bag"); }).disposed(owned);
    owned = rx::DisposeBag();
    EXPECT_EQ(order.back(), "old bag") << "replacing a bag ends what the old one held";
    rx::Disposables::create([&] { order.push_back("new bag"); }).disposed(owned);
    EXPECT_EQ(order.size(), 3u);

    rx::DisposeBag moved(std::move(owned));
    EXPECT_EQ(order.size(), 3u) << "moving a bag hands over its subscriptions without ending them";
}

TEST_F(RxSubjectsTest, SerialAndCompositeDisposables) {
    Log order;
    auto named = [&](std::string name) { return rx::Disposables::create([&order, name] { order.push_back(name); }); };

    rx::SerialDisposable serial;
    serial.setDisposable(named("a"));
    serial.setDisposable(named("b"));
    EXPECT_EQ(order, (Log{"a"})) << "setting a new disposable ends the one before";
    serial.dispose();
    EXPECT_EQ(order, (Log{"a", "b"}));
    EXPECT_TRUE(serial.isDisposed());
    serial.setDisposable(named("c"));
    EXPECT_EQ(order, (Log{"a", "b", "c"})) << "after dispose, newcomers are disposed at once";

    order.clear();
    rx::CompositeDisposable group;
    const auto key = group.insert(named("x"));
    group.insert(named("y"));
    group.remove(key);
    EXPECT_EQ(order, (Log{"x"}));
    group.dispose();
    EXPECT_EQ(order, (Log{"x", "y"}));
    EXPECT_EQ(group.insert(named("z")), 0u);
    EXPECT_EQ(order, (Log{"x", "y", "z"}));

    int runs = 0;
    auto once = rx::Disposables::create([&] { ++runs; });
    auto copy = once;
    once.dispose();
    copy.dispose();
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(copy.isDisposed());
    EXPECT_FALSE(rx::Disposables::create().isDisposed());
    rx::Disposables::create().dispose();  // an empty disposable does nothing
}

}  // namespace
