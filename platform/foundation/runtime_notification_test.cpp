#include "foundation/NotificationCenter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "dispatch/DispatchQueue.h"
#include "dispatch/testing/ManualClockScope.h"

using foundation::AnyObject;
using foundation::Notification;
using foundation::NotificationCenter;

namespace {

struct Sender {
    virtual ~Sender() = default;
    int value = 0;
};
struct Item : Sender {};

}  // namespace

TEST(RuntimeNotificationCenter, FiltersByNameAndSenderIdentity) {
    NotificationCenter center;
    auto a = std::make_shared<Item>();
    auto b = std::make_shared<Item>();  // equal in value to `a`, but another object
    std::vector<std::string> log;
    auto fromA = center.addObserver("End", a, nullptr, [&](const Notification& n) {
        EXPECT_TRUE(n.object.isIdenticalTo(AnyObject(a)));
        log.push_back("fromA");
    });
    auto fromAny = center.addObserver("End", nullptr, nullptr, [&](const Notification&) { log.push_back("fromAny"); });
    auto allNames = center.addObserver(std::nullopt, nullptr, nullptr,
                                       [&](const Notification& n) { log.push_back("all:" + n.name); });

    center.post("End", b);
    EXPECT_EQ(log, (std::vector<std::string>{"fromAny", "all:End"}));
    log.clear();
    center.post("End", a);
    EXPECT_EQ(log, (std::vector<std::string>{"fromA", "fromAny", "all:End"}));
    log.clear();
    // The same object through a base-class pointer is the same sender.
    center.post("End", std::shared_ptr<Sender>(a));
    EXPECT_EQ(log, (std::vector<std::string>{"fromA", "fromAny", "all:End"}));
    log.clear();
    center.post("Other");
    EXPECT_EQ(log, (std::vector<std::string>{"all:Other"}));

    // The centre does not keep an observed sender alive, and a later object is not mistaken for it.
    std::weak_ptr<Item> weakA = a;
    a.reset();
    EXPECT_TRUE(weakA.expired());
    log.clear();
    center.post("End", std::make_shared<Item>());
    EXPECT_EQ(log, (std::vector<std::string>{"fromAny", "all:End"}));
}

TEST(RuntimeNotificationCenter, CarriesUserInfoAndTypedObjects) {
    NotificationCenter center;
    auto sender = std::make_shared<Item>();
    sender->value = 7;
    int seen = 0;
    auto token = center.addObserver("Failed", nullptr, nullptr, [&](const Notification& n) {
        EXPECT_EQ(n.object.as<Sender>(), nullptr);  // read back as the type it was posted as
        seen = n.object.as<Item>()->value;
        EXPECT_EQ(std::any_cast<std::string>(n.userInfo.at("reason")), "network");
    });
    center.post("Failed", sender, {{"reason", std::string("network")}});
    EXPECT_EQ(seen, 7);
    EXPECT_TRUE(AnyObject().isIdenticalTo(AnyObject(nullptr)));
    EXPECT_EQ(&NotificationCenter::defaultCenter(), &NotificationCenter::defaultCenter());
}

TEST(RuntimeNotificationCenter, RemovalStopsDeliveryEvenDuringAPost) {
    NotificationCenter center;
    std::vector<std::string> log;
    std::shared_ptr<foundation::NotificationObserverToken> second;
    auto first = center.addObserver("N", nullptr, nullptr, [&](const Notification&) {
        log.push_back("first");
        center.removeObserver(second);  // a later observer of the same post
    });
    second = center.addObserver("N", nullptr, nullptr, [&](const Notification&) { log.push_back("second"); });
    center.post("N");
    center.post("N");
    EXPECT_EQ(log, (std::vector<std::string>{"first", "first"}));

    // Releasing a token does not remove the registration (as on the platform); removeObserver does.
    int count = 0;
    (void)center.addObserver("M", nullptr, nullptr, [&](const Notification&) { ++count; });
    center.post("M");
    EXPECT_EQ(count, 1);
    center.removeObserver(first);
    EXPECT_EQ(center.observerCount(), 1u);

    // An observer that removes itself.
    std::shared_ptr<foundation::NotificationObserverToken> self;
    int selfCount = 0;
    self = center.addObserver("S", nullptr, nullptr, [&](const Notification&) {
        ++selfCount;
        center.removeObserver(self);
    });
    center.post("S");
    center.post("S");
    EXPECT_EQ(selfCount, 1);
}

TEST(RuntimeNotificationCenter, QueueDeliveryIsAsynchronousOnThatQueue) {
    dispatch::testing::ManualClockScope scope;
    NotificationCenter center;
    std::vector<int> got;
    auto token = center.addObserver("Tick", nullptr, &dispatch::DispatchQueue::main(), [&](const Notification& n) {
        EXPECT_TRUE(dispatch::DispatchQueue::isMainThread());
        got.push_back(std::any_cast<int>(n.userInfo.at("n")));
    });
    center.post("Tick", nullptr, {{"n", 1}});
    center.post("Tick", nullptr, {{"n", 2}});
    EXPECT_TRUE(got.empty());
    scope.runUntilIdle();
    EXPECT_EQ(got, (std::vector<int>{1, 2}));

    // Posted from a worker, delivered on the main queue; removed before it runs: never delivered.
    std::thread([&] { center.post("Tick", nullptr, {{"n", 3}}); }).join();
    scope.runUntilIdle();
    center.post("Tick", nullptr, {{"n", 4}});
    center.removeObserver(token);
    scope.runUntilIdle();
    EXPECT_EQ(got, (std::vector<int>{1, 2, 3}));
}

TEST(RuntimeNotificationCenter, TargetObserversAreHeldWeakly) {
    NotificationCenter center;
    auto observer = std::make_shared<Sender>();
    auto other = std::make_shared<Sender>();
    auto itemA = std::make_shared<Item>();
    int log = 0;
    int errors = 0;
    center.addObserver(
        observer, [&](const Notification&) { ++log; }, "AccessLog", nullptr);
    center.addObserver(
        observer, [&](const Notification&) { ++errors; }, "ErrorLog", itemA);
    center.addObserver(
        other, [&](const Notification&) { ++log; }, "AccessLog", nullptr);
    center.post("AccessLog");
    center.post("ErrorLog", itemA);
    EXPECT_EQ(log, 2);
    EXPECT_EQ(errors, 1);

    center.removeObserver(observer, "ErrorLog", itemA);  // only that registration
    center.post("ErrorLog", itemA);
    center.post("AccessLog");
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(log, 4);

    other.reset();  // a released observer is skipped and forgotten
    center.post("AccessLog");
    EXPECT_EQ(log, 5);
    EXPECT_EQ(center.observerCount(), 1u);
    center.removeObserver(observer);
    EXPECT_EQ(center.observerCount(), 0u);
}

TEST(RuntimeNotificationCenter, ConcurrentPostsAndRegistrations) {
    NotificationCenter center;
    std::atomic<int> delivered{0};
    auto steady = center.addObserver("Load", nullptr, nullptr, [&](const Notification&) { ++delivered; });
    std::atomic<bool> stop{false};
    std::thread churn([&] {
        while (!stop) {
            auto t = center.addObserver("Load", nullptr, nullptr, [](const Notification&) {});
            center.removeObserver(t);
        }
    });
    std::vector<std::thread> posters;
    for (int i = 0; i < 4; ++i) {
        posters.emplace_back([&] {
            for (int n = 0; n < 500; ++n) center.post("Load", std::make_shared<Item>());
        });
    }
    for (auto& t : posters) t.join();
    stop = true;
    churn.join();
    EXPECT_EQ(delivered.load(), 2000);
    EXPECT_EQ(center.observerCount(), 1u);
}
