#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <unordered_map>
#include <vector>

#include "avfoundation/HLS.h"
#include "coremedia/CMTime.h"

namespace avfoundation::detail {

// Identifies a content key of an item (ContentKeySession hands them out).
using KeyId = std::uint32_t;

// The segments of an item's media playlist laid end to end on the item's time line, with their keys and
// what is loaded. Main thread only (the player item's).
//
// The loaded stretches are kept as runs of neighbouring loaded segments, so that a segment that arrives,
// the question "how far is the media loaded from here" and the published loaded ranges cost the same
// whether the playlist has a thousand segments or a million: a look-up by position or sequence is a
// binary search, an arrival merges at most two runs, and the ranges are one entry per run.
class MediaTimeline {
  public:
    bool empty() const { return segments_.empty(); }
    std::size_t size() const { return segments_.size(); }
    // The segment at `index` (its `key` is an index of the playlist it came from: use `keyOf`).
    const hls::Segment& segment(std::size_t index) const { return segments_[index]; }
    std::int64_t sequenceOf(std::size_t index) const { return segments_[index].mediaSequence; }
    std::int64_t lastSequence() const { return segments_.back().mediaSequence; }
    double startOf(std::size_t index) const { return states_[index].start; }
    std::optional<KeyId> keyOf(std::size_t index) const;
    // Whether a segment of the timeline is encrypted with `key` (counted as segments come and go, so the
    // question costs the same however long the timeline is).
    bool usesKey(KeyId key) const { return segmentsByKey_.contains(key); }
    bool isLoaded(std::size_t index) const { return states_[index].loaded; }
    // Counts a failed fetch of the segment; returns how many failed in a row.
    int recordFailure(std::size_t index) { return ++states_[index].failures; }

    // Where the first segment starts and the last one ends (0 and 0 when empty).
    double start() const;
    double end() const;

    // Takes the segments of a first playlist as they are (moved, never copied: a long playlist is most of
    // an item's memory), laid end to end from 0. `keyIds` gives the key of each of the playlist's key
    // indexes.
    void adopt(std::vector<hls::Segment> segments, const std::vector<KeyId>& keyIds);
    // Appends a segment after the last one (its sequence above the last's), starting where that one ends.
    void append(hls::Segment segment, std::optional<KeyId> keyId);
    // Drops the segments numbered below `sequence` (a live window that slid on).
    void dropBefore(std::int64_t sequence);

    // The segment that holds `position` (the first one before the timeline starts); nothing at or past
    // the end.
    std::optional<std::size_t> indexAt(double position) const;
    std::optional<std::size_t> indexOf(std::int64_t sequence) const;

    // The segment arrived (its failures are forgotten).
    void markLoaded(std::size_t index);
    // The end of the loaded stretch that holds `position`; `position` itself when nothing is loaded there.
    double contiguousLoadedEnd(double position) const;
    // The first segment from `index` on that is not loaded; nothing when all are.
    std::optional<std::size_t> firstUnloadedFrom(std::size_t index) const;
    // The loaded stretches, in order.
    std::vector<coremedia::CMTimeRange> loadedRanges() const;

    // Segments read to keep and publish the loaded stretches (for tests: it grows with the stretches, never
    // with the length of the timeline).
    std::uint64_t entriesRead() const { return entriesRead_; }

  private:
    static constexpr KeyId kNoKey = ~KeyId{0};
    // What the timeline knows of a segment beside the segment itself.
    struct State {
        double start = 0;
        KeyId key = kNoKey;
        bool loaded = false;
        std::uint8_t failures = 0;  // failed fetches in a row
    };

    // The run holding `sequence` (first and last sequence), when that segment is loaded.
    std::map<std::int64_t, std::int64_t>::const_iterator runHolding(std::int64_t sequence) const;
    double endOf(std::size_t index) const;
    // Counted reads of the loaded-stretch bookkeeping.
    bool loadedRead(std::size_t index) const;
    std::int64_t sequenceRead(std::size_t index) const;
    void countKey(KeyId key);
    void uncountKey(KeyId key);

    std::vector<hls::Segment> segments_;
    std::vector<State> states_;                             // one per segment
    std::map<std::int64_t, std::int64_t> runs_;             // first sequence -> last sequence of each loaded stretch
    std::unordered_map<KeyId, std::size_t> segmentsByKey_;  // keys in use -> how many segments use each
    mutable std::uint64_t entriesRead_ = 0;
};

}  // namespace avfoundation::detail
