#include "avfoundation/detail/MediaTimeline.h"

#include <algorithm>
#include <iterator>

namespace avfoundation::detail {

namespace {

// Positions closer than this count as the same place (the clock has nanosecond steps).
constexpr double kEpsilon = 1e-6;

coremedia::CMTime timeAt(double seconds) {
    return coremedia::CMTime::fromSeconds(seconds, coremedia::kPreferredTimescale);
}

}  // namespace

double MediaTimeline::start() const {
    return entries_.empty() ? 0 : entries_.front().start;
}

double MediaTimeline::end() const {
    return entries_.empty() ? 0 : endOf(entries_.size() - 1);
}

double MediaTimeline::endOf(std::size_t index) const {
    return entries_[index].start + entries_[index].segment.duration;
}

const MediaTimeline::Entry& MediaTimeline::read(std::size_t index) const {
    ++entriesRead_;
    return entries_[index];
}

void MediaTimeline::append(hls::Segment segment, std::optional<KeyId> keyId) {
    const double start = end();
    entries_.push_back(Entry{.segment = std::move(segment), .start = start, .keyId = keyId});
}

void MediaTimeline::dropBefore(std::int64_t sequence) {
    const auto firstKept = std::lower_bound(entries_.begin(), entries_.end(), sequence,
                                            [](const Entry& e, std::int64_t s) { return e.segment.mediaSequence < s; });
    if (firstKept == entries_.begin()) return;
    entries_.erase(entries_.begin(), firstKept);
    // Runs wholly before the window go; one that straddles its start now begins at the first segment kept.
    while (!runs_.empty() && (entries_.empty() || runs_.begin()->second < entries_.front().segment.mediaSequence)) {
        runs_.erase(runs_.begin());
    }
    if (!runs_.empty() && runs_.begin()->first < entries_.front().segment.mediaSequence) {
        const std::int64_t last = runs_.begin()->second;
        runs_.erase(runs_.begin());
        runs_.emplace(entries_.front().segment.mediaSequence, last);
    }
}

std::optional<std::size_t> MediaTimeline::indexAt(double position) const {
    if (entries_.empty() || position >= end() - kEpsilon) return std::nullopt;
    if (position < start()) return 0;
    auto it = std::upper_bound(entries_.begin(), entries_.end(), position + kEpsilon,
                               [](double p, const Entry& e) { return p < e.start; });
    if (it == entries_.begin()) return 0;
    return static_cast<std::size_t>(std::distance(entries_.begin(), it) - 1);
}

std::optional<std::size_t> MediaTimeline::indexOf(std::int64_t sequence) const {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), sequence,
                               [](const Entry& e, std::int64_t s) { return e.segment.mediaSequence < s; });
    if (it == entries_.end() || it->segment.mediaSequence != sequence) return std::nullopt;
    return static_cast<std::size_t>(std::distance(entries_.begin(), it));
}

std::map<std::int64_t, std::int64_t>::const_iterator MediaTimeline::runHolding(std::int64_t sequence) const {
    auto it = runs_.upper_bound(sequence);
    if (it == runs_.begin()) return runs_.end();
    --it;
    return it->second >= sequence ? it : runs_.end();
}

void MediaTimeline::markLoaded(std::size_t index) {
    Entry& entry = entries_[index];
    if (entry.loaded) return;
    entry.loaded = true;
    const std::int64_t sequence = entry.segment.mediaSequence;
    std::int64_t first = sequence;
    std::int64_t last = sequence;
    // Joins the run that ends just before it and the one that starts just after it.
    if (index > 0 && read(index - 1).loaded) {
        auto before = runHolding(read(index - 1).segment.mediaSequence);
        first = before->first;
        runs_.erase(before);
    }
    if (index + 1 < entries_.size() && read(index + 1).loaded) {
        auto after = runs_.find(read(index + 1).segment.mediaSequence);
        last = after->second;
        runs_.erase(after);
    }
    runs_.emplace(first, last);
}

double MediaTimeline::contiguousLoadedEnd(double position) const {
    const auto index = indexAt(position);
    if (!index || !entries_[*index].loaded) return position;
    const auto run = runHolding(entries_[*index].segment.mediaSequence);
    return std::max(position, endOf(*indexOf(run->second)));
}

std::optional<std::size_t> MediaTimeline::firstUnloadedFrom(std::size_t index) const {
    if (index >= entries_.size()) return std::nullopt;
    if (!entries_[index].loaded) return index;
    const std::size_t last = *indexOf(runHolding(entries_[index].segment.mediaSequence)->second);
    if (last + 1 >= entries_.size()) return std::nullopt;
    return last + 1;
}

std::vector<coremedia::CMTimeRange> MediaTimeline::loadedRanges() const {
    std::vector<coremedia::CMTimeRange> ranges;
    ranges.reserve(runs_.size());
    for (const auto& [first, last] : runs_) {
        const std::size_t begin = *indexOf(first);
        const std::size_t end = *indexOf(last);
        const double from = read(begin).start;
        const Entry& tail = read(end);
        ranges.push_back(
            coremedia::CMTimeRangeFromTimeToTime(timeAt(from), timeAt(tail.start + tail.segment.duration)));
    }
    return ranges;
}

}  // namespace avfoundation::detail
