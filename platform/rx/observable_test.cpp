#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "dispatch/testing/ManualClockScope.h"
#include "rx/Rx.h"

using namespace std::chrono_literals;

namespace {

struct TestError {
    std::string message;
    std::string localizedDescription() const { return message; }
};

// Records everything a subscription sees, as text, in order; its subscriptions end with it.
template <class T>
struct Recorder {
    std::vector<std::string> log;
    rx::DisposeBag bag;  // after `log`: disposed first, while the log still exists
    rx::Disposable subscribe(const rx::Observable<T>& source) {
        auto subscription =
            source.subscribe([this](const T& v) { log.push_back(std::to_string(v)); },
                             [this](const foundation::Error& e) { log.push_back("error:" + e.localizedDescription()); },
                             [this] { log.push_back("completed"); }, [this] { log.push_back("disposed"); });
        subscription.disposed(bag);
        return subscription;
    }
};

using Log = std::vector<std::string>;

class RxObservableTest : public ::testing::Test {
  protected:
    dispatch::testing::ManualClockScope clock;
};

TEST_F(RxObservableTest, SourcesEmitTheirElementsAndEnd) {
    Recorder<int> just, of, fromSome, fromNone, empty, never, failed;
    just.subscribe(rx::Observable<int>::just(7));
    of.subscribe(rx::Observable<int>::of({1, 2, 3}));
    fromSome.subscribe(rx::Observable<int>::from(std::optional<int>(4)));
    fromNone.subscribe(rx::Observable<int>::from(std::nullopt));
    empty.subscribe(rx::Observable<int>::empty());
    auto neverSubscription = never.subscribe(rx::Observable<int>::never());
    failed.subscribe(rx::Observable<int>::error(TestError{"boom"}));

    EXPECT_EQ(just.log, (Log{"7", "completed", "disposed"}));
    EXPECT_EQ(of.log, (Log{"1", "2", "3", "completed", "disposed"}));
    EXPECT_EQ(fromSome.log, (Log{"4", "completed", "disposed"}));
    EXPECT_EQ(fromNone.log, (Log{"completed", "disposed"}));
    EXPECT_EQ(empty.log, (Log{"completed", "disposed"}));
    EXPECT_TRUE(never.log.empty());
    EXPECT_EQ(failed.log, (Log{"error:boom", "disposed"}));

    neverSubscription.dispose();
    EXPECT_EQ(never.log, (Log{"disposed"}));
    neverSubscription.dispose();
    EXPECT_EQ(never.log, (Log{"disposed"})) << "onDisposed runs once";
}

TEST_F(RxObservableTest, ColdAndDeferredStreamsRunPerSubscription) {
    int subscriptions = 0;
    auto source = rx::Observable<int>::deferred([&] {
        ++subscriptions;
        return rx::Observable<int>::just(subscriptions);
    });
    EXPECT_EQ(subscriptions, 0) << "nothing runs before a subscription";
    Recorder<int> first, second;
    first.subscribe(source);
    second.subscribe(source);
    EXPECT_EQ(subscriptions, 2);
    EXPECT_EQ(first.log.front(), "1");
    EXPECT_EQ(second.log.front(), "2");
}

TEST_F(RxObservableTest, AnErrorOrCompletionEndsTheSubscriptionAndReleasesTheSource) {
    int cleanups = 0;
    auto misbehaving = rx::Observable<int>::create([&](const rx::AnyObserver<int>& observer) {
        observer.onNext(1);
        observer.onError(TestError{"first"});
        observer.onNext(2);
        observer.onError(TestError{"second"});
        observer.onCompleted();
        return rx::Disposables::create([&] { ++cleanups; });
    });
    Recorder<int> recorder;
    auto subscription = recorder.subscribe(misbehaving.map([](int v) { return v * 10; }));
    EXPECT_EQ(recorder.log, (Log{"10", "error:first", "disposed"}));
    EXPECT_EQ(cleanups, 1) << "the source's resources go with the error";
    EXPECT_TRUE(subscription.isDisposed());
    subscription.dispose();
    EXPECT_EQ(cleanups, 1);

    // An observer kept by the source after completion can no longer reach the subscriber.
    std::optional<rx::AnyObserver<int>> kept;
    auto completing = rx::Observable<int>::create([&](const rx::AnyObserver<int>& observer) {
        kept = observer;
        observer.onCompleted();
        return rx::Disposable();
    });
    Recorder<int> late;
    late.subscribe(completing);
    kept->onNext(5);
    kept->onError(TestError{"late"});
    EXPECT_EQ(late.log, (Log{"completed", "disposed"}));
}

TEST_F(RxObservableTest, ABagThatOutlivesManyShortSubscriptionsHoldsOnlyTheLiveOnes) {
    // A bag kept for a whole session takes a request's subscription on every tick: the ended ones go,
    // the live ones stay and still end with the bag.
    rx::DisposeBag bag;
    rx::PublishSubject<int> live;
    std::vector<int> seen;
    for (int i = 0; i < 10'000; ++i) {
        rx::Observable<int>::just(i).subscribe().disposed(bag);
        if (i % 1'000 == 0) live.asObservable().subscribe([&seen, i](const int&) { seen.push_back(i); }).disposed(bag);
    }
    EXPECT_LE(bag.count(), 64u) << "ended subscriptions were kept";
    EXPECT_GE(bag.count(), 10u);
    live.onNext(1);
    EXPECT_EQ(seen.size(), 10u) << "a live subscription was let go";
    bag = rx::DisposeBag();
    live.onNext(2);
    EXPECT_EQ(seen.size(), 10u) << "the bag's end ends the live subscriptions";
}

TEST_F(RxObservableTest, WhatAnEndedSubscriptionHeldMayUseItsBagAsTheBagLetsItGo) {
    // A finished subscription keeps its handlers until it is released; one of them holds an object that, as
    // it goes, puts a subscription of its own into the same bag. Run on a thread of its own, bounded, so a
    // bag that released it under its own lock fails here instead of hanging.
    struct SaysGoodbye {
        rx::DisposeBag& bag;
        ~SaysGoodbye() {
            rx::Disposables::create([] {}).disposed(bag);
        }
    };
    auto bag = std::make_shared<rx::DisposeBag>();
    std::promise<std::size_t> done;
    auto finished = done.get_future();
    std::thread filling([bag, done = std::move(done)]() mutable {
        {
            auto goodbye = std::make_shared<SaysGoodbye>(*bag);
            rx::Observable<int>::just(1).subscribe([goodbye](const int&) {}).disposed(*bag);
        }
        for (int i = 0; i < 40; ++i) rx::Disposables::create([] {}).disposed(*bag);  // past a prune
        done.set_value(bag->count());
    });
    if (finished.wait_for(10s) != std::future_status::ready) {
        filling.detach();  // stuck for good: it holds the bag, which is never released
        FAIL() << "the bag released an ended subscription under its own lock";
    }
    filling.join();
    EXPECT_EQ(finished.get(), 41u) << "the 40 live ones and the one put in as the ended one went";
}

TEST_F(RxObservableTest, DisposeStopsDeliveryAtOnceEvenFromInsideAHandler) {
    rx::PublishSubject<int> subject;
    std::vector<int> seen;
    rx::Disposable subscription;
    subscription = subject.subscribe([&](int v) {
        seen.push_back(v);
        if (v == 2) subscription.dispose();
    });
    subject.onNext(1);
    subject.onNext(2);
    subject.onNext(3);
    EXPECT_EQ(seen, (std::vector<int>{1, 2}));
    EXPECT_FALSE(subject.hasObservers()) << "disposing unsubscribes from the subject";
}

TEST_F(RxObservableTest, MapFilterAndCompactMap) {
    Recorder<int> recorder;
    recorder.subscribe(rx::Observable<int>::of({1, 2, 3, 4, 5, 6})
                           .filter([](int v) { return v % 2 == 0; })
                           .map([](int v) { return std::to_string(v * 3); })
                           .compactMap([](const std::string& s) -> std::optional<int> {
                               if (s == "12") return std::nullopt;
                               return std::stoi(s);
                           }));
    EXPECT_EQ(recorder.log, (Log{"6", "18", "completed", "disposed"}));
}

TEST_F(RxObservableTest, TakeCompletesAndDisposesItsSource) {
    rx::PublishSubject<int> subject;
    Recorder<int> recorder;
    recorder.subscribe(subject.take(2));
    subject.onNext(1);
    subject.onNext(2);
    EXPECT_FALSE(subject.hasObservers()) << "the source subscription ends with the last element taken";
    subject.onNext(3);
    EXPECT_EQ(recorder.log, (Log{"1", "2", "completed", "disposed"}));

    Recorder<int> none;
    int subscribed = 0;
    none.subscribe(rx::Observable<int>::deferred([&] {
                       ++subscribed;
                       return rx::Observable<int>::never();
                   }).take(0));
    EXPECT_EQ(none.log, (Log{"completed", "disposed"}));
    EXPECT_EQ(subscribed, 0) << "take(0) never subscribes";
}

TEST_F(RxObservableTest, TakeUntilCompletesOnTheTriggerAndReleasesBoth) {
    rx::PublishSubject<int> source;
    rx::PublishSubject<rx::Unit> trigger;
    Recorder<int> recorder;
    recorder.subscribe(source.takeUntil(trigger));
    source.onNext(1);
    trigger.onNext(rx::Unit{});
    source.onNext(2);
    EXPECT_EQ(recorder.log, (Log{"1", "completed", "disposed"}));
    EXPECT_FALSE(source.hasObservers());
    EXPECT_FALSE(trigger.hasObservers());

    // A trigger that only completes changes nothing; one that fires at subscription never lets the source run.
    rx::PublishSubject<int> quiet;
    Recorder<int> keepsGoing;
    keepsGoing.subscribe(source.takeUntil(quiet));
    quiet.onCompleted();
    source.onNext(3);
    EXPECT_EQ(keepsGoing.log, (Log{"3"}));

    int sourceSubscriptions = 0;
    Recorder<int> cutShort;
    cutShort.subscribe(rx::Observable<int>::deferred([&] {
                           ++sourceSubscriptions;
                           return rx::Observable<int>::just(1);
                       }).takeUntil(rx::BehaviorSubject<int>(0)));
    EXPECT_EQ(cutShort.log, (Log{"completed", "disposed"}));
    EXPECT_EQ(sourceSubscriptions, 0);
}

TEST_F(RxObservableTest, DistinctUntilChangedComparesValuesOrKeys) {
    Recorder<int> plain;
    plain.subscribe(rx::Observable<int>::of({1, 1, 2, 2, 1, 3, 3}).distinctUntilChanged());
    EXPECT_EQ(plain.log, (Log{"1", "2", "1", "3", "completed", "disposed"}));

    struct IdleEvent {
        double timeInterval;
        bool isForced;
    };
    std::vector<std::pair<double, bool>> seen;
    rx::Observable<IdleEvent>::of({{5, false}, {5, true}, {0, true}, {0, false}, {5, false}})
        .distinctUntilChanged([](const IdleEvent& e) { return e.timeInterval; })
        .subscribe([&](const IdleEvent& e) { seen.emplace_back(e.timeInterval, e.isForced); });
    EXPECT_EQ(seen, (std::vector<std::pair<double, bool>>{{5, false}, {0, true}, {5, false}}))
        << "the first element of each run of equal keys is kept";
}

TEST_F(RxObservableTest, StartWithAndMaterialize) {
    Recorder<int> started;
    started.subscribe(rx::Observable<int>::just(3).startWith(1, 2));
    EXPECT_EQ(started.log, (Log{"1", "2", "3", "completed", "disposed"}));

    std::vector<std::string> events;
    bool completed = false;
    auto describe = [&](const rx::Event<int>& e) {
        if (const auto* v = e.element()) return std::to_string(*v);
        if (const auto* err = e.error()) return "error:" + err->localizedDescription();
        return std::string("completed");
    };
    rx::Observable<int>::create([](const rx::AnyObserver<int>& o) {
        o.onNext(1);
        o.onError(TestError{"x"});
        return rx::Disposable();
    })
        .materialize()
        .subscribe([&](const rx::Event<int>& e) { events.push_back(describe(e)); },
                   [&](const foundation::Error&) { events.push_back("materialized stream failed"); },
                   [&] { completed = true; });
    EXPECT_EQ(events, (Log{"1", "error:x"}));
    EXPECT_TRUE(completed) << "the error arrives as an element and the stream then completes";
}

TEST_F(RxObservableTest, MergeCompletesWhenAllSourcesHaveAndFailsOnTheFirstError) {
    rx::PublishSubject<int> a, b;
    Recorder<int> merged;
    merged.subscribe(rx::Observable<int>::merge({a, b}));
    a.onNext(1);
    b.onNext(2);
    a.onCompleted();
    b.onNext(3);
    EXPECT_EQ(merged.log, (Log{"1", "2", "3"}));
    b.onCompleted();
    EXPECT_EQ(merged.log, (Log{"1", "2", "3", "completed", "disposed"}));

    rx::PublishSubject<int> c, d;
    Recorder<int> failing;
    failing.subscribe(rx::Observable<int>::merge({c, d}));
    c.onError(TestError{"c failed"});
    d.onNext(9);
    EXPECT_EQ(failing.log, (Log{"error:c failed", "disposed"}));
    EXPECT_FALSE(d.hasObservers()) << "the error disposes the other sources";

    // Control events emitted one by one on the trampoline, then merged.
    Recorder<int> nested;
    nested.subscribe(rx::Observable<rx::ControlEvent<int>>::of({rx::ControlEvent<int>(rx::Observable<int>::of({1, 2})),
                                                                rx::ControlEvent<int>(rx::Observable<int>::empty()),
                                                                rx::ControlEvent<int>(rx::Observable<int>::just(3))},
                                                               rx::CurrentThreadScheduler::instance())
                         .merge());
    EXPECT_EQ(nested.log, (Log{"1", "2", "3", "completed", "disposed"}));

    Recorder<int> nothing;
    nothing.subscribe(rx::Observable<int>::merge({}));
    EXPECT_EQ(nothing.log, (Log{"completed", "disposed"}));
}

TEST_F(RxObservableTest, FlatMapWaitsForOuterAndInnerStreams) {
    rx::PublishSubject<int> outer;
    std::vector<rx::PublishSubject<int>> inners(2);
    Recorder<int> recorder;
    recorder.subscribe(outer.flatMap([&](int i) { return inners[i]; }));
    outer.onNext(0);
    outer.onNext(1);
    inners[0].onNext(10);
    inners[1].onNext(20);
    inners[0].onNext(11);
    outer.onCompleted();
    inners[0].onCompleted();
    EXPECT_EQ(recorder.log, (Log{"10", "20", "11"}));
    inners[1].onCompleted();
    EXPECT_EQ(recorder.log, (Log{"10", "20", "11", "completed", "disposed"}));
}

TEST_F(RxObservableTest, FlatMapLatestStopsForwardingTheEarlierInnerStream) {
    rx::PublishSubject<int> taps;
    std::vector<rx::PublishSubject<int>> requests(2);
    Recorder<int> recorder;
    recorder.subscribe(taps.flatMapLatest([&](int i) { return requests[i]; }));
    taps.onNext(0);
    requests[0].onNext(1);
    taps.onNext(1);
    EXPECT_FALSE(requests[0].hasObservers()) << "the earlier inner subscription is disposed";
    requests[0].onNext(2);
    requests[0].onError(TestError{"stale"});
    requests[1].onNext(3);
    EXPECT_EQ(recorder.log, (Log{"1", "3"}));

    // Completion waits for the latest inner stream; an inner error ends everything.
    taps.onCompleted();
    EXPECT_EQ(recorder.log, (Log{"1", "3"}));
    requests[1].onCompleted();
    EXPECT_EQ(recorder.log, (Log{"1", "3", "completed", "disposed"}));

    rx::PublishSubject<int> outer;
    Recorder<int> failing;
    failing.subscribe(outer.flatMapLatest([](int) { return rx::Observable<int>::error(TestError{"inner"}); }));
    outer.onNext(1);
    EXPECT_EQ(failing.log, (Log{"error:inner", "disposed"}));
    EXPECT_FALSE(outer.hasObservers());
}

TEST_F(RxObservableTest, ShareReplaysToLaterSubscribersAndStartsAnewAfterAllLeave) {
    int connections = 0;
    rx::PublishSubject<int> upstream;
    auto shared = rx::Observable<int>::deferred([&] {
                      ++connections;
                      return upstream.asObservable();
                  }).share(1, rx::SubjectLifetimeScope::whileConnected);

    Recorder<int> first, second, third;
    auto s1 = first.subscribe(shared);
    upstream.onNext(1);
    upstream.onNext(2);
    auto s2 = second.subscribe(shared);
    EXPECT_EQ(connections, 1) << "one upstream subscription is shared";
    EXPECT_EQ(second.log, (Log{"2"})) << "the last element is replayed";
    upstream.onNext(3);
    EXPECT_EQ(first.log, (Log{"1", "2", "3"}));
    EXPECT_EQ(second.log, (Log{"2", "3"}));

    s1.dispose();
    s2.dispose();
    EXPECT_FALSE(upstream.hasObservers()) << "the upstream subscription ends when the last subscriber leaves";
    auto s3 = third.subscribe(shared);
    EXPECT_EQ(connections, 2);
    EXPECT_TRUE(third.log.empty()) << "a new connection has nothing to replay";
    upstream.onNext(4);
    EXPECT_EQ(third.log, (Log{"4"}));

    // Completion ends the connection too; the next subscriber starts anew.
    upstream.onCompleted();
    EXPECT_EQ(third.log, (Log{"4", "completed", "disposed"}));
}

TEST_F(RxObservableTest, ShareOfASynchronousSourceRestartsForEachSubscriber) {
    int runs = 0;
    auto shared = rx::Observable<int>::deferred([&] {
                      ++runs;
                      return rx::Observable<int>::of({1, 2});
                  }).share(1);
    Recorder<int> a, b;
    a.subscribe(shared);
    b.subscribe(shared);
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(a.log, (Log{"1", "2", "completed", "disposed"}));
    EXPECT_EQ(b.log, a.log);
}

}  // namespace
