// The array diff (PHDiff) on lists of 1e4 and 1e5 elements, and on identifiers chosen against its table.
//
// Growth: lists of 1e4 and 1e5 elements with about 10% deleted, 10% inserted, 10% updated and a tenth of
// the list shuffled; time per diff of 1e5 over time per diff of 1e4, interleaved rounds after a warm-up
// (warm heap). Linear would be 10x; goal: within 11x. Instructions likewise (callgrind).
//
// Adversarial identifiers: the same lists of 1e5 with distinct identifiers that are all multiples of a
// table's bucket count (the prime count a std::unordered_map sized for the lists has, and the power of two
// an open-addressing table sized for them has), against the same lists with random distinct identifiers.
// Goal: within 2x.
//
// Run: build/release/bench/diff/diff_bench [--rounds N] [--adversarial-rounds N]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "BenchSupport.h"
#include "kitfoundation/PHDiff.h"

namespace {

struct Item {
    std::int64_t id = 0;
    int payload = 0;
    std::int64_t diffIdentifier() const { return id; }
    friend bool operator==(const Item&, const Item&) = default;
};

struct Lists {
    std::vector<Item> from;
    std::vector<Item> to;
};

// The edited pair of lists of n elements; `identifier(k)` names the k-th distinct element (k < 2n).
template <class Identifier>
Lists makeLists(int n, Identifier identifier) {
    Lists lists;
    lists.from.reserve(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) lists.from.push_back({identifier(k), 0});
    std::mt19937 rng(42);
    std::vector<Item> to = lists.from;
    std::shuffle(to.begin() + n / 3, to.begin() + n / 3 + n / 10, rng);
    for (int k = 0; k < n / 10; ++k) to[static_cast<std::size_t>((k * 7919) % to.size())].payload = 1;
    for (std::size_t k = 0; k < to.size(); ++k) {
        if (k % 10 == 3) continue;
        lists.to.push_back(to[k]);
        if (k % 10 == 5) lists.to.push_back({identifier(n + static_cast<int>(k)), 0});
    }
    return lists;
}

Lists plain(int n) {
    return makeLists(n, [](int k) { return std::int64_t{k}; });
}

std::size_t diff(const Lists& lists) {
    return lumora::PHDiff::steps(lists.from, lists.to).size();
}

bench::Side side(std::string name, const Lists& lists) {
    return {std::move(name), [&lists](int n) {
                for (int i = 0; i < n; ++i) {
                    if (diff(lists) == 0) std::abort();
                }
            }};
}

}  // namespace

int main(int argc, char** argv) {
    const Lists small = plain(10'000);
    const Lists large = plain(100'000);
    if (bench::instructionMode(argc, argv)) {
        diff(small);
        diff(large);
        bench::countInstructions("diff of 1e5", [&] { diff(large); });
        bench::countInstructions("diff of 1e4", [&] { diff(small); });
        return 0;
    }
    const int rounds = std::stoi(bench::option(argc, argv, "--rounds").value_or("11"));
    const int adversarialRounds = std::stoi(bench::option(argc, argv, "--adversarial-rounds").value_or("5"));

    {
        const std::vector<bench::Side> sides{side("diff of 1e5 elements", large), side("diff of 1e4 elements", small)};
        const auto perOp = bench::interleave(sides, rounds, 4);
        bench::printWall("Array diff growth, 1e5 against 1e4 elements, warm heap", sides, perOp, 0, 1, 11.0, "ms",
                         1e3);
    }
    if (auto counts = bench::runUnderCallgrind({"--instructions"})) {
        bench::printInstructions("Array diff growth, instructions", *counts, "diff of 1e5", "diff of 1e4", 1, 11.0);
    } else {
        std::printf("Instructions: not counted (valgrind is not installed or its run failed)\n");
    }

    // Identifiers against the table: multiples of the bucket count a table sized for these lists has.
    const std::size_t elements = large.from.size() + large.to.size();
    std::unordered_map<std::int64_t, int> sized;
    sized.reserve(elements);
    const auto primeBuckets = static_cast<std::int64_t>(sized.bucket_count());
    std::int64_t powerOfTwo = 16;
    while (powerOfTwo < static_cast<std::int64_t>(2 * elements)) powerOfTwo <<= 1;
    std::mt19937_64 rng(7);
    std::vector<std::int64_t> randomIds(2 * 100'000);
    for (auto& id : randomIds) id = static_cast<std::int64_t>(rng() >> 1);
    std::sort(randomIds.begin(), randomIds.end());
    randomIds.erase(std::unique(randomIds.begin(), randomIds.end()), randomIds.end());
    std::shuffle(randomIds.begin(), randomIds.end(), rng);
    const Lists shuffled = makeLists(100'000, [&](int k) { return randomIds[static_cast<std::size_t>(k)]; });
    for (const std::int64_t bucket : {primeBuckets, powerOfTwo}) {
        const Lists adversarial = makeLists(100'000, [bucket](int k) { return bucket * (k + 1); });
        const std::vector<bench::Side> sides{
            side("identifiers all multiples of " + std::to_string(bucket), adversarial),
            side("random distinct identifiers", shuffled)};
        const auto perOp = bench::interleave(sides, adversarialRounds, 1);
        bench::printWall("Array diff of 1e5 elements, adversarial identifiers", sides, perOp, 0, 1, 2.0, "ms", 1e3);
    }
    return 0;
}
