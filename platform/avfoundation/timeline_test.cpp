#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "avfoundation/detail/MediaTimeline.h"

using avfoundation::detail::MediaTimeline;
using coremedia::CMTimeRange;

namespace {

// `count` segments of `duration` seconds numbered from `first`.
MediaTimeline timeline(int count, double duration, std::int64_t first = 0) {
    static const foundation::URL kURL = *foundation::URL::fromString("http://h/s.ts");
    MediaTimeline t;
    for (int i = 0; i < count; ++i) {
        t.append(avfoundation::hls::Segment{.duration = duration, .uri = kURL, .mediaSequence = first + i},
                 std::nullopt);
    }
    return t;
}

std::vector<std::pair<double, double>> ranges(const MediaTimeline& t) {
    std::vector<std::pair<double, double>> out;
    for (const CMTimeRange& r : t.loadedRanges()) out.emplace_back(r.start.seconds(), r.end().seconds());
    return out;
}

}  // namespace

// Generated here: 200,000 segments of 10 ms (about 45 MB with the sanitizers, built in well under a
// second). The arrivals and published ranges of the player item read the same few segments on it as on a
// timeline of 1,000; walking the timeline for each arrival read 200,000.
TEST(MediaTimeline, WhatAnArrivalCostsDoesNotGrowWithTheLengthOfTheTimeline) {
    std::vector<std::uint64_t> work;
    for (int length : {1000, 200000}) {
        MediaTimeline t = timeline(length, 0.01);
        const std::uint64_t before = t.entriesRead();
        // A stretch from the playhead, then another after a seek, each arrival followed by what the item
        // publishes.
        for (int i = 100; i < 200; ++i) {
            t.markLoaded(static_cast<std::size_t>(i));
            (void)t.loadedRanges();
        }
        for (int i = 500; i < 550; ++i) {
            t.markLoaded(static_cast<std::size_t>(i));
            (void)t.loadedRanges();
        }
        work.push_back(t.entriesRead() - before);
        EXPECT_EQ(ranges(t), (std::vector<std::pair<double, double>>{{1.0, 2.0}, {5.0, 5.5}})) << length;
        EXPECT_NEAR(t.contiguousLoadedEnd(1.234), 2.0, 1e-9);
        EXPECT_EQ(t.contiguousLoadedEnd(3.0), 3.0);  // nothing loaded there
        EXPECT_EQ(t.firstUnloadedFrom(150), 200u);
        EXPECT_EQ(t.firstUnloadedFrom(20), 20u);
    }
    EXPECT_EQ(work[0], work[1]);
    EXPECT_LE(work[1], 150u * 8);  // a handful of segments an arrival

    // Filling the gap joins the two stretches into one.
    MediaTimeline t = timeline(1000, 0.01);
    for (int i : {3, 5, 4, 2, 6}) t.markLoaded(static_cast<std::size_t>(i));
    EXPECT_EQ(ranges(t), (std::vector<std::pair<double, double>>{{0.02, 0.07}}));
    t.markLoaded(999);
    EXPECT_EQ(t.firstUnloadedFrom(999), std::nullopt);
    EXPECT_EQ(ranges(t).back(), (std::pair<double, double>{9.99, 10.0}));
}

TEST(MediaTimeline, ALiveWindowKeepsItsLoadedStretchesAsItSlides) {
    MediaTimeline t = timeline(10, 6.0, 40);  // sequences 40...49, 0...60 s
    for (std::size_t i : {2u, 3u, 4u, 5u, 7u}) t.markLoaded(i);
    EXPECT_EQ(ranges(t), (std::vector<std::pair<double, double>>{{12, 36}, {42, 48}}));
    t.dropBefore(44);  // the window starts inside the first stretch
    EXPECT_EQ(t.start(), 24);
    EXPECT_EQ(ranges(t), (std::vector<std::pair<double, double>>{{24, 36}, {42, 48}}));
    EXPECT_FALSE(t.indexOf(43));
    EXPECT_EQ(t.indexOf(47), 3u);
    EXPECT_EQ(t.indexAt(10), 0u);  // before the window: its first segment
    t.append(avfoundation::hls::Segment{.duration = 6, .uri = t.segment(0).uri, .mediaSequence = 50}, std::nullopt);
    t.markLoaded(*t.indexOf(48));
    t.markLoaded(*t.indexOf(49));
    t.markLoaded(*t.indexOf(50));
    t.markLoaded(*t.indexOf(46));  // joins everything after 44
    EXPECT_EQ(ranges(t), (std::vector<std::pair<double, double>>{{24, 66}}));
    t.dropBefore(51);
    EXPECT_TRUE(t.empty());
    EXPECT_TRUE(ranges(t).empty());
}

TEST(MediaTimeline, KnowsTheKeysItsSegmentsUseAsTheWindowSlides) {
    const foundation::URL url = *foundation::URL::fromString("http://h/s.ts");
    auto segment = [&](std::int64_t sequence, std::optional<std::size_t> key) {
        return avfoundation::hls::Segment{.duration = 6, .uri = url, .mediaSequence = sequence, .key = key};
    };
    // Keys 7 and 3 (the playlist's key indexes 0 and 1), a segment in the clear between them; then key 5.
    MediaTimeline t;
    t.adopt({segment(10, 0), segment(11, 0), segment(12, std::nullopt), segment(13, 1)}, {7, 3});
    t.append(segment(14, std::nullopt), 5);
    t.dropBefore(11);
    EXPECT_TRUE(t.usesKey(7));  // segment 11 still uses it
    t.dropBefore(13);
    EXPECT_FALSE(t.usesKey(7));
    EXPECT_TRUE(t.usesKey(3) && t.usesKey(5));
    t.dropBefore(15);
    EXPECT_FALSE(t.usesKey(3) || t.usesKey(5));
}
