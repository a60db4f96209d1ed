#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "avfoundation/HLS.h"
#include "coremedia/CMTime.h"

namespace avfoundation::detail {

// Identifies a content key of an item (ContentKeySession hands them out).
using KeyId = std::uint32_t;

// The segments of an item's media playlist laid end to end on the item's time line, with what is loaded.
// Main thread only (the player item's).
//
// The loaded stretches are kept as runs of neighbouring loaded segments, so that a segment that arrives,
// the question "how far is the media loaded from here" and the published loaded ranges cost the same
// whether the playlist has a thousand segments or a million: a look-up by position or sequence is a
// binary search, an arrival merges at most two runs, and the ranges are one entry per run.
class MediaTimeline {
  public:
    struct Entry {
        hls::Segment segment;  // its `key` index belongs to the playlist it came from: use `keyId`
        double start = 0;
        std::optional<KeyId> keyId;
        bool loaded = false;
        int failures = 0;  // failed fetches in a row
    };

    bool empty() const { return entries_.empty(); }
    std::size_t size() const { return entries_.size(); }
    const Entry& operator[](std::size_t index) const { return entries_[index]; }
    Entry& operator[](std::size_t index) { return entries_[index]; }
    std::int64_t lastSequence() const { return entries_.back().segment.mediaSequence; }

    // Where the first segment starts and the last one ends (0 and 0 when empty).
    double start() const;
    double end() const;

    // Appends a segment after the last one (its sequence above the last's), starting where that one ends.
    void append(hls::Segment segment, std::optional<KeyId> keyId);
    // Drops the segments numbered below `sequence` (a live window that slid on).
    void dropBefore(std::int64_t sequence);

    // The segment that holds `position` (the first one before the timeline starts); nothing at or past
    // the end.
    std::optional<std::size_t> indexAt(double position) const;
    std::optional<std::size_t> indexOf(std::int64_t sequence) const;

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
    // The run holding `sequence` (first and last sequence), when that segment is loaded.
    std::map<std::int64_t, std::int64_t>::const_iterator runHolding(std::int64_t sequence) const;
    double endOf(std::size_t index) const;
    const Entry& read(std::size_t index) const;

    std::vector<Entry> entries_;
    std::map<std::int64_t, std::int64_t> runs_;  // first sequence -> last sequence of each loaded stretch
    mutable std::uint64_t entriesRead_ = 0;
};

}  // namespace avfoundation::detail
