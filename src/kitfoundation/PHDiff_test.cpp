#include "kitfoundation/PHDiff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>

namespace {

using lumora::DiffStep;
using lumora::PHDiff;

// A hashable element: matched by itself.
using Letter = std::string;

// An element matched by `id` whose payload may change between lists (an update).
struct Item {
    int id = 0;
    int payload = 0;
    int diffIdentifier() const { return id; }
    friend bool operator==(const Item&, const Item&) = default;
};

using LStep = DiffStep<Letter>;
using IStep = DiffStep<Item>;

std::vector<Letter> letters(const std::string& s) {
    std::vector<Letter> out;
    for (char c : s) out.emplace_back(1, c);
    return out;
}

// Applies steps as a list view's batch update does: deletes and moved-away elements leave their old
// positions; inserts and moves fill their new positions; the elements that stay keep their relative
// order and fill the remaining positions, taking an update's new value.
template <class T>
std::vector<T> apply(const std::vector<T>& from, const std::vector<DiffStep<T>>& steps, std::size_t newCount) {
    std::vector<bool> leaves(from.size(), false);
    std::vector<std::optional<T>> replaced(from.size());
    std::vector<std::optional<T>> placed(newCount);
    for (const auto& s : steps) {
        if (s.isDelete()) {
            EXPECT_TRUE(DiffStep<T>::delete_(from[s.index()], s.index()) == s);
            leaves[s.index()] = true;
        } else if (s.isMove()) {
            leaves[s.fromIndex()] = true;
            EXPECT_FALSE(placed[s.toIndex()].has_value());
            placed[s.toIndex()] = s.value();
        } else if (s.isInsert()) {
            EXPECT_FALSE(placed[s.index()].has_value());
            placed[s.index()] = s.value();
        } else {
            replaced[s.index()] = s.value();
        }
    }
    std::vector<T> stays;
    for (std::size_t i = 0; i < from.size(); ++i) {
        if (!leaves[i]) stays.push_back(replaced[i] ? *replaced[i] : from[i]);
    }
    std::vector<T> out;
    std::size_t next = 0;
    for (std::size_t j = 0; j < newCount; ++j) {
        if (placed[j]) {
            out.push_back(*placed[j]);
        } else if (next < stays.size()) {
            out.push_back(stays[next++]);
        }
    }
    EXPECT_EQ(next, stays.size()) << "elements left over";
    return out;
}

TEST(PHDiffTest, EmptyListsGiveOnlyInsertsOrOnlyDeletesOrNothing) {
    EXPECT_TRUE(PHDiff::steps(letters(""), letters("")).empty());
    EXPECT_EQ(PHDiff::steps(letters(""), letters("AB")),
              (std::vector<LStep>{LStep::insert("A", 0), LStep::insert("B", 1)}));
    EXPECT_EQ(PHDiff::steps(letters("AB"), letters("")),
              (std::vector<LStep>{LStep::delete_("A", 0), LStep::delete_("B", 1)}));
    EXPECT_TRUE(PHDiff::steps(letters("ABC"), letters("ABC")).empty());
}

TEST(PHDiffTest, MovesAreReducedOnlyByTheOffsetRule) {
    EXPECT_EQ(PHDiff::steps(letters("ABC"), letters("CAB")), (std::vector<LStep>{LStep::move("C", 2, 0)}));
    EXPECT_EQ(PHDiff::steps(letters("ABC"), letters("BCA")),
              (std::vector<LStep>{LStep::move("B", 1, 0), LStep::move("C", 2, 1)}));
    // The second move has equal indices, and is still reported.
    EXPECT_EQ(PHDiff::steps(letters("ABC"), letters("CBA")),
              (std::vector<LStep>{LStep::move("C", 2, 0), LStep::move("B", 1, 1)}));
}

TEST(PHDiffTest, RepeatedIdentifiersMatchOnlyNextToAMatchedNeighbour) {
    EXPECT_EQ(PHDiff::steps(letters("AA"), letters("AA")),
              (std::vector<LStep>{LStep::delete_("A", 0), LStep::delete_("A", 1), LStep::insert("A", 0),
                                  LStep::insert("A", 1)}));
    // B is unique and anchors its neighbours: forward (pass 4) and backward (pass 5).
    EXPECT_TRUE(PHDiff::steps(letters("BAA"), letters("BAA")).empty());
    EXPECT_TRUE(PHDiff::steps(letters("AAB"), letters("AAB")).empty());
}

TEST(PHDiffTest, DeletesComeFirstThenInsertsUpdatesAndMovesByNewIndex) {
    const std::vector<Item> from{{1, 0}, {2, 0}, {3, 0}, {4, 0}};
    const std::vector<Item> to{{5, 0}, {4, 9}, {1, 0}, {3, 7}};
    const auto steps = PHDiff::steps(from, to);
    const std::vector<IStep> expected{
        IStep::delete_({2, 0}, 1), IStep::insert({5, 0}, 0), IStep::update({4, 9}, 3),  // old index
        IStep::move({4, 9}, 3, 1),  // the update comes before the move of the same element
        IStep::update({3, 7}, 2),
    };
    EXPECT_EQ(steps, expected);
    EXPECT_EQ(apply(from, steps, to.size()), to);
}

TEST(PHDiffTest, StepAccessorsReadEachCase) {
    const auto move = LStep::move("X", 4, 2);
    EXPECT_EQ(move.kind(), LStep::Kind::move);
    EXPECT_EQ(move.fromIndex(), 4u);
    EXPECT_EQ(move.toIndex(), 2u);
    EXPECT_EQ(move.value(), "X");
    const auto update = LStep::update("Y", 3);
    EXPECT_TRUE(update.isUpdate());
    EXPECT_EQ(update.index(), 3u);
    EXPECT_FALSE(update == LStep::update("Y", 2));
    EXPECT_FALSE(LStep::insert("Y", 3) == LStep::delete_("Y", 3));
}

TEST(PHDiffTest, RandomListsRoundTrip) {
    std::mt19937 rng(20240611);
    for (int round = 0; round < 400; ++round) {
        // Small identifier ranges make repeats, moves and updates frequent.
        const int idRange = 2 + static_cast<int>(rng() % 40);
        const auto makeList = [&](std::size_t n) {
            std::vector<Item> v;
            for (std::size_t k = 0; k < n; ++k) {
                v.push_back({static_cast<int>(rng() % idRange), static_cast<int>(rng() % 3)});
            }
            return v;
        };
        const auto from = makeList(rng() % 60);
        std::vector<Item> to;
        if (round % 2 == 0) {
            to = makeList(rng() % 60);
        } else {
            // A shuffled, edited copy of the old list.
            to = from;
            std::shuffle(to.begin(), to.end(), rng);
            if (!to.empty()) to.erase(to.begin() + static_cast<long>(rng() % to.size()));
            for (auto& item : to) {
                if (rng() % 5 == 0) item.payload += 1;
            }
            to.push_back({1000 + round, 0});
        }
        const auto steps = PHDiff::steps(from, to);
        ASSERT_EQ(apply(from, steps, to.size()), to) << "round " << round;
    }
}

TEST(PHDiffTest, LargeShuffledListRoundTrips) {
    std::vector<Item> from;
    for (int k = 0; k < 20000; ++k) from.push_back({k, 0});
    std::vector<Item> to = from;
    std::mt19937 rng(7);
    std::shuffle(to.begin() + 5000, to.begin() + 15000, rng);
    to.erase(to.begin() + 100, to.begin() + 200);
    to.insert(to.begin() + 3000, Item{-1, 0});
    to[17000].payload = 5;
    const auto steps = PHDiff::steps(from, to);
    EXPECT_EQ(apply(from, steps, to.size()), to);
    EXPECT_EQ(std::count_if(steps.begin(), steps.end(), [](const IStep& s) { return s.isDelete(); }), 100);
    EXPECT_EQ(std::count_if(steps.begin(), steps.end(), [](const IStep& s) { return s.isUpdate(); }), 1);
}

struct Wide {
    std::int64_t id = 0;
    int payload = 0;
    std::int64_t diffIdentifier() const { return id; }
    friend bool operator==(const Wide&, const Wide&) = default;
};

// Identifiers that all share their low bits (multiples of a power of two, of a prime) give the same steps
// as small distinct identifiers in the same places: the diff depends on which elements are the same,
// never on the identifiers' values.
TEST(PHDiffTest, IdentifiersSharingTheirLowBitsGiveTheSameSteps) {
    std::mt19937 rng(11);
    std::vector<Item> from;
    for (int k = 0; k < 3000; ++k) from.push_back({k % 2500, 0});  // some identifiers twice
    std::vector<Item> to = from;
    std::shuffle(to.begin() + 500, to.begin() + 1500, rng);
    to.erase(to.begin() + 40, to.begin() + 90);
    for (int k = 0; k < 30; ++k) to.insert(to.begin() + (k * 97) % 2000, Item{5000 + k, 0});
    to[2100].payload = 1;
    const auto expected = PHDiff::steps(from, to);
    for (std::int64_t stride : {std::int64_t{1} << 16, std::int64_t{1} << 32, std::int64_t{262147}}) {
        auto widen = [stride](const std::vector<Item>& items) {
            std::vector<Wide> out;
            for (const auto& item : items) out.push_back({item.id * stride, item.payload});
            return out;
        };
        const auto wideFrom = widen(from);
        const auto wideTo = widen(to);
        const auto steps = PHDiff::steps(wideFrom, wideTo);
        ASSERT_EQ(steps.size(), expected.size()) << stride;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            EXPECT_EQ(steps[i].kind(), static_cast<DiffStep<Wide>::Kind>(expected[i].kind())) << stride << " " << i;
            EXPECT_EQ(steps[i].index(), expected[i].index()) << stride << " " << i;
            EXPECT_EQ(steps[i].fromIndex(), expected[i].fromIndex()) << stride << " " << i;
            EXPECT_EQ(steps[i].value().id, expected[i].value().id * stride) << stride << " " << i;
        }
        EXPECT_EQ(apply(wideFrom, steps, wideTo.size()), wideTo) << stride;
    }
}

}  // namespace
