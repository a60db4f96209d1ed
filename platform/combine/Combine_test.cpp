#include "combine/Combine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace combine;

TEST(PassthroughSubject, DeliversSynchronouslyInSubscriptionOrder) {
    PassthroughSubject<int> subject;
    std::vector<std::string> log;
    auto a = subject.sink([&](int v) { log.push_back("a" + std::to_string(v)); });
    auto b = subject.eraseToAnyPublisher().sink([&](int v) { log.push_back("b" + std::to_string(v)); });
    subject.send(1);
    EXPECT_EQ(log, (std::vector<std::string>{"a1", "b1"}));  // before send returns
    subject.send(2);
    EXPECT_EQ(log, (std::vector<std::string>{"a1", "b1", "a2", "b2"}));

    // A value sent from inside a delivery is delivered at once, to everyone, before the outer one goes on.
    log.clear();
    auto c = subject.sink([&](int v) {
        if (v == 3) subject.send(4);
    });
    PassthroughSubject<int> copy = subject;  // copies are the same subject
    copy.send(3);
    EXPECT_EQ(log, (std::vector<std::string>{"a3", "b3", "a4", "b4"}));
}

TEST(PassthroughSubject, CancellingStopsDeliveryAtOnce) {
    PassthroughSubject<int> subject;
    std::vector<int> first, second;
    std::optional<AnyCancellable> secondToken;
    auto firstToken = subject.sink([&](int v) {
        first.push_back(v);
        if (v == 2) secondToken->cancel();  // cancels a later subscriber during this delivery
    });
    secondToken = subject.sink([&](int v) { second.push_back(v); });
    subject.send(1);
    subject.send(2);
    subject.send(3);
    EXPECT_EQ(first, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(second, (std::vector<int>{1}));
    EXPECT_EQ(subject.subscriberCount(), 1u);

    // Cancelling itself, and releasing the last copy of a cancellable, both stop delivery.
    std::vector<int> self;
    std::optional<AnyCancellable> selfToken;
    selfToken = subject.sink([&](int v) {
        self.push_back(v);
        selfToken->cancel();
    });
    subject.send(4);
    subject.send(5);
    EXPECT_EQ(self, (std::vector<int>{4}));
    firstToken = AnyCancellable([] {});  // drops the only copy of the first subscription
    subject.send(6);
    EXPECT_EQ(first.back(), 5);
    EXPECT_EQ(subject.subscriberCount(), 0u);
}

TEST(PassthroughSubject, SubscriberAddedDuringDeliveryStartsWithTheNextValue) {
    PassthroughSubject<int> subject;
    std::vector<int> late;
    std::vector<AnyCancellable> bag;
    subject
        .sink([&](int v) {
            if (v == 1) subject.sink([&](int w) { late.push_back(w); }).store(bag);
        })
        .store(bag);
    subject.send(1);
    subject.send(2);
    EXPECT_EQ(late, (std::vector<int>{2}));
}

TEST(PassthroughSubject, CompletionEndsEverySubscription) {
    PassthroughSubject<std::string> subject;
    int finished = 0;
    std::vector<std::string> values;
    std::set<AnyCancellable> set;
    subject.sink([&](Subscribers::Completion) { ++finished; }, [&](const std::string& v) { values.push_back(v); })
        .store(set);
    subject.send("a");
    subject.send(Subscribers::Completion::finished);
    subject.send(Subscribers::Completion::finished);
    subject.send("b");
    EXPECT_EQ(values, (std::vector<std::string>{"a"}));
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(subject.subscriberCount(), 0u);

    // A late subscriber hears at once that the subject has finished, and nothing else.
    int lateFinished = 0;
    auto late = subject.eraseToAnyPublisher().sink([&](Subscribers::Completion) { ++lateFinished; },
                                                   [&](const std::string&) { ADD_FAILURE(); });
    EXPECT_EQ(lateFinished, 1);
}

TEST(AnyCancellable, CopiesShareOneCancellationAndStoreKeepsItAlive) {
    int cancels = 0;
    std::set<AnyCancellable> set;
    {
        AnyCancellable c([&] { ++cancels; });
        AnyCancellable copy = c;
        EXPECT_EQ(c, copy);
        c.store(set);
        copy.store(set);  // the same cancellable: stored once
        EXPECT_EQ(set.size(), 1u);
    }
    EXPECT_EQ(cancels, 0);  // the set still holds it
    set.clear();
    EXPECT_EQ(cancels, 1);

    AnyCancellable twice([&] { ++cancels; });
    twice.cancel();
    twice.cancel();
    EXPECT_TRUE(twice.isCancelled());
    EXPECT_EQ(cancels, 2);

    AnyCancellable moved([&] { ++cancels; });
    AnyCancellable target = std::move(moved);
    moved.cancel();  // NOLINT(bugprone-use-after-move): a moved-from cancellable is inert
    EXPECT_EQ(cancels, 2);
}

TEST(PassthroughSubject, ConcurrentSendSubscribeAndCancel) {
    PassthroughSubject<int> subject;
    std::atomic<long> received{0};
    auto keeper = subject.sink([&](int v) { received += v; });
    std::atomic<bool> stop{false};
    std::thread churn([&] {
        while (!stop) {
            auto t = subject.sink([&](int) {});
            t.cancel();
        }
    });
    std::vector<std::thread> senders;
    for (int i = 0; i < 4; ++i) {
        senders.emplace_back([&] {
            for (int n = 0; n < 2000; ++n) subject.send(1);
        });
    }
    for (auto& t : senders) t.join();
    stop = true;
    churn.join();
    EXPECT_EQ(received.load(), 8000);
}
