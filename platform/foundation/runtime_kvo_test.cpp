#include "foundation/KeyValueObserving.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace foundation;
using Options = NSKeyValueObservingOptions;

namespace {

constexpr auto kNewInitial = Options::new_ | Options::initial;

// A player item and a player in miniature: the item's status, the player's replaceable current item.
class Item : public KVOObservable {
  public:
    explicit Item(int status) : status_(status) {
        registerKey("status", status_);
        registerKey("name", name_);
    }
    void setStatus(int s) { status_.set(s); }
    const KVOProperty<int>& statusProperty() const { return status_; }

  private:
    KVOProperty<int> status_;
    KVOProperty<std::string> name_{"item"};
};

struct Player {
    KVOProperty<std::shared_ptr<Item>> currentItem;
};

}  // namespace

TEST(RuntimeKVOProperty, OptionsDecideWhatIsReported) {
    KVOProperty<int> rate(1);
    std::vector<std::string> log;
    auto describe = [](const NSKeyValueObservedChange<int>& c) {
        return (c.newValue ? std::to_string(*c.newValue) : "-") + "/" +
               (c.oldValue ? std::to_string(*c.oldValue) : "-");
    };
    auto initialNew = rate.observe(kNewInitial, [&](const auto& c) { log.push_back("in " + describe(c)); });
    auto newOld =
        rate.observe(Options::new_ | Options::old, [&](const auto& c) { log.push_back("no " + describe(c)); });
    auto initialOnly = rate.observe(Options::initial, [&](const auto& c) { log.push_back("i " + describe(c)); });
    EXPECT_EQ(static_cast<int>(kNewInitial), 5);
    EXPECT_EQ(log, (std::vector<std::string>{"in 1/-", "i -/-"}));

    log.clear();
    rate.set(2);
    rate.set(2);  // setting an equal value notifies too
    EXPECT_EQ(log, (std::vector<std::string>{"in 2/-", "no 2/1", "i -/-", "in 2/-", "no 2/2", "i -/-"}));
}

TEST(RuntimeKVOProperty, NotifiesInsideTheSetterAfterStoring) {
    KVOProperty<std::string> name("a");
    std::vector<std::string> seen;
    auto observation = name.observe(Options::new_, [&](const auto& change) {
        seen.push_back(*change.newValue + "=" + name.value());
        if (*change.newValue == "b") name.set("c");  // a nested set is reported at once, in order
    });
    name.set("b");
    EXPECT_EQ(seen, (std::vector<std::string>{"b=b", "c=c"}));
    EXPECT_EQ(name.value(), "c");
}

TEST(RuntimeKVOProperty, InvalidationStopsAtOnceWhereverItHappens) {
    KVOProperty<int> value(0);
    std::vector<std::string> log;
    NSKeyValueObservation second;
    NSKeyValueObservation self;
    auto first = value.observe(Options::new_, [&](const auto& c) {
        log.push_back("first" + std::to_string(*c.newValue));
        if (*c.newValue == 1) second.invalidate();  // a later observer of this very change
    });
    second =
        value.observe(Options::new_, [&](const auto& c) { log.push_back("second" + std::to_string(*c.newValue)); });
    self = value.observe(Options::new_, [&](const auto& c) {
        log.push_back("self" + std::to_string(*c.newValue));
        self = NSKeyValueObservation();  // destroyed from inside its own handler
    });
    value.set(1);
    value.set(2);
    EXPECT_EQ(log, (std::vector<std::string>{"first1", "self1", "first2"}));
    EXPECT_FALSE(second.isValid());
    EXPECT_EQ(value.observerCount(), 1u);
    {
        auto scoped = value.observe(Options::new_, [&](const auto&) { log.push_back("scoped"); });
        NSKeyValueObservation moved = std::move(scoped);
        EXPECT_TRUE(moved.isValid());
    }
    value.set(3);
    EXPECT_EQ(log.back(), "first3");
}

TEST(RuntimeKVOProperty, ObservationsOutliveTheProperty) {
    auto owner = std::make_unique<KVOProperty<int>>(0);
    int calls = 0;
    auto kept = owner->observe(Options::new_, [&](const auto&) { ++calls; });
    // The handler destroys the property's owner while the setter is still running.
    auto destroyer = owner->observe(Options::new_, [&](const auto&) { owner.reset(); });
    auto after = owner->observe(Options::new_, [&](const auto&) { ++calls; });
    owner->set(1);
    EXPECT_EQ(owner, nullptr);
    EXPECT_EQ(calls, 2);
    kept.invalidate();  // after the property is gone: nothing to do, nothing breaks
    EXPECT_FALSE(kept.isValid());
}

TEST(RuntimeKVOPath, FollowsReplacementOfTheInnerObject) {
    Player player;
    auto first = std::make_shared<Item>(0);
    player.currentItem.set(first);
    std::vector<std::optional<int>> seen;
    auto observation = observePath(player.currentItem, &Item::statusProperty, kNewInitial,
                                   [&](const auto& change) { seen.push_back(*change.newValue); });
    EXPECT_EQ(seen, (std::vector<std::optional<int>>{0}));

    first->setStatus(1);
    auto second = std::make_shared<Item>(2);
    player.currentItem.set(second);  // the new item's value
    first->setStatus(9);             // the old item is no longer followed
    second->setStatus(1);
    player.currentItem.set(nullptr);  // no item: no value
    second->setStatus(2);
    EXPECT_EQ(seen, (std::vector<std::optional<int>>{0, 1, 2, 1, std::nullopt}));

    // The path holds no item alive.
    std::weak_ptr<Item> weakSecond = second;
    player.currentItem.set(second);
    second.reset();
    player.currentItem.set(nullptr);
    EXPECT_TRUE(weakSecond.expired());

    observation.invalidate();
    player.currentItem.set(first);
    EXPECT_EQ(seen.size(), 7u);
    EXPECT_EQ(player.currentItem.observerCount(), 0u);
    EXPECT_EQ(first->statusProperty().observerCount(), 0u);
}

TEST(RuntimeKVOPath, OptionsAndNestedReplacement) {
    Player player;
    auto a = std::make_shared<Item>(5);
    auto b = std::make_shared<Item>(6);
    std::vector<std::string> log;
    // Without `initial` nothing is reported at once, but a replacement is; `old` reports the previous value.
    auto observation =
        observePath(player.currentItem, &Item::statusProperty, Options::new_ | Options::old, [&](const auto& c) {
            auto show = [](const std::optional<std::optional<int>>& v) {
                if (!v) return std::string("absent");
                return *v ? std::to_string(**v) : std::string("none");
            };
            log.push_back(show(c.newValue) + "<" + show(c.oldValue));
            // Seeing `a`'s value 7 swaps in `b` from inside the notification.
            if (c.newValue && *c.newValue == 7) player.currentItem.set(b);
        });
    EXPECT_TRUE(log.empty());
    player.currentItem.set(a);
    a->setStatus(7);
    b->setStatus(8);
    a->setStatus(10);  // `a` was replaced from inside the handler: not followed any more
    EXPECT_EQ(log, (std::vector<std::string>{"5<none", "7<5", "6<7", "8<6"}));
}

namespace {

class StatusWatcher : public KVOObserver {
  public:
    void observeValue(const std::string& keyPath, KVOObservable& object, const KeyValueChange& change,
                      void* context) override {
        EXPECT_NE(dynamic_cast<Item*>(&object), nullptr);
        entries.push_back(keyPath + ":" + std::to_string(std::any_cast<int>(change.newValue)) +
                          (context == &tag ? "+ctx" : ""));
    }
    std::vector<std::string> entries;
    int tag = 0;
};

}  // namespace

TEST(RuntimeKVOObservable, LooksPropertiesUpByName) {
    auto item = std::make_shared<Item>(1);
    EXPECT_EQ(std::any_cast<int>(*item->value("status")), 1);
    EXPECT_EQ(std::any_cast<std::string>(*item->value("name")), "item");
    const auto missing = item->value("presentationSize");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().localizedDescription(),
              "this class is not key value coding-compliant for the key presentationSize.");
    EXPECT_TRUE(missing.error().is<KeyValueCodingError>());
    EXPECT_FALSE(item->observe("status.rawValue", Options::new_, [](const KeyValueChange&) {}));

    std::vector<int> seen;
    auto observation = item->observe("status", kNewInitial, [&](const KeyValueChange& change) {
        EXPECT_FALSE(change.oldValue.has_value());
        seen.push_back(std::any_cast<int>(change.newValue));
    });
    ASSERT_TRUE(observation);
    item->setStatus(2);
    EXPECT_EQ(seen, (std::vector<int>{1, 2}));
}

TEST(RuntimeKVOObservable, TargetObserversUntilRemovedOrGone) {
    auto item = std::make_shared<Item>(0);
    auto watcher = std::make_shared<StatusWatcher>();
    ASSERT_TRUE(item->addObserver(watcher, "status", Options::new_, &watcher->tag));
    EXPECT_FALSE(item->addObserver(watcher, "bogus", Options::new_));
    item->setStatus(2);
    EXPECT_EQ(watcher->entries, (std::vector<std::string>{"status:2+ctx"}));
    EXPECT_TRUE(item->removeObserver(watcher, "status"));
    EXPECT_FALSE(item->removeObserver(watcher, "status"));
    item->setStatus(1);
    EXPECT_EQ(watcher->entries.size(), 1u);

    // A watcher released without removing itself is skipped; an item released with watchers is fine.
    ASSERT_TRUE(item->addObserver(watcher, "status", Options::new_));
    watcher.reset();
    item->setStatus(3);
    auto other = std::make_shared<StatusWatcher>();
    ASSERT_TRUE(item->addObserver(other, "status", Options::new_));
    auto byName = item->observe("status", Options::new_, [](const KeyValueChange&) {});
    item.reset();
    byName->invalidate();
    EXPECT_TRUE(other->entries.empty());
}

TEST(RuntimeKVOProperty, ConcurrentSettersAndObservers) {
    KVOProperty<int> counter(0);
    std::atomic<int> notified{0};
    auto steady = counter.observe(Options::new_, [&](const auto&) { ++notified; });
    std::atomic<bool> stop{false};
    std::thread churn([&] {
        while (!stop) {
            auto o = counter.observe(kNewInitial, [](const auto&) {});
            (void)counter.value();
        }
    });
    std::vector<std::thread> setters;
    for (int i = 0; i < 4; ++i) {
        setters.emplace_back([&, i] {
            for (int n = 0; n < 500; ++n) counter.set(i * 1000 + n);
        });
    }
    for (auto& t : setters) t.join();
    stop = true;
    churn.join();
    EXPECT_EQ(notified.load(), 2000);
    EXPECT_EQ(counter.observerCount(), 1u);
}

TEST(RuntimeKVOObservable, DeallocationHandlersRunOnceUnlessInvalidated) {
    auto item = std::make_shared<Item>(0);
    int told = 0, cancelled = 0;
    auto observation = item->observeDeallocation([&] { ++told; });
    auto invalidated = item->observeDeallocation([&] { ++cancelled; });
    invalidated.invalidate();
    EXPECT_EQ(told, 0);
    item.reset();
    EXPECT_EQ(told, 1);
    EXPECT_EQ(cancelled, 0);
    observation.invalidate();  // after the object: nothing to do, nothing breaks
    EXPECT_EQ(told, 1);
}
