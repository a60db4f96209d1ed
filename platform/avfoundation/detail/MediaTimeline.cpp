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
    return states_.empty() ? 0 : states_.front().start;
}

double MediaTimeline::end() const {
    return segments_.empty() ? 0 : endOf(segments_.size() - 1);
}

double MediaTimeline::endOf(std::size_t index) const {
    return states_[index].start + segments_[index].duration;
}

std::optional<KeyId> MediaTimeline::keyOf(std::size_t index) const {
    const KeyId key = states_[index].key;
    return key == kNoKey ? std::nullopt : std::optional(key);
}

bool MediaTimeline::loadedRead(std::size_t index) const {
    ++entriesRead_;
    return states_[index].loaded;
}

std::int64_t MediaTimeline::sequenceRead(std::size_t index) const {
    ++entriesRead_;
    return segments_[index].mediaSequence;
}

void MediaTimeline::countKey(KeyId key) {
    if (key != kNoKey) ++segmentsByKey_[key];
}

void MediaTimeline::uncountKey(KeyId key) {
    if (key == kNoKey) return;
    const auto it = segmentsByKey_.find(key);
    if (--it->second == 0) segmentsByKey_.erase(it);
}

void MediaTimeline::adopt(std::vector<hls::Segment> segments, const std::vector<KeyId>& keyIds) {
    segments_ = std::move(segments);
    runs_.clear();
    states_.clear();
    states_.reserve(segments_.size());
    segmentsByKey_.clear();
    double start = 0;
    for (const auto& segment : segments_) {
        states_.push_back(State{.start = start, .key = segment.key ? keyIds[*segment.key] : kNoKey});
        countKey(states_.back().key);
        start += segment.duration;
    }
}

void MediaTimeline::append(hls::Segment segment, std::optional<KeyId> keyId) {
    const double start = end();
    segments_.push_back(std::move(segment));
    states_.push_back(State{.start = start, .key = keyId.value_or(kNoKey)});
    countKey(states_.back().key);
}

void MediaTimeline::dropBefore(std::int64_t sequence) {
    const auto firstKept =
        std::lower_bound(segments_.begin(), segments_.end(), sequence,
                         [](const hls::Segment& s, std::int64_t value) { return s.mediaSequence < value; });
    const auto dropped = std::distance(segments_.begin(), firstKept);
    if (dropped == 0) return;
    segments_.erase(segments_.begin(), firstKept);
    for (auto state = states_.begin(); state != states_.begin() + dropped; ++state) uncountKey(state->key);
    states_.erase(states_.begin(), states_.begin() + dropped);
    // Runs wholly before the window go; one that straddles its start now begins at the first segment kept.
    while (!runs_.empty() && (segments_.empty() || runs_.begin()->second < segments_.front().mediaSequence)) {
        runs_.erase(runs_.begin());
    }
    if (!runs_.empty() && runs_.begin()->first < segments_.front().mediaSequence) {
        const std::int64_t last = runs_.begin()->second;
        runs_.erase(runs_.begin());
        runs_.emplace(segments_.front().mediaSequence, last);
    }
}

std::optional<std::size_t> MediaTimeline::indexAt(double position) const {
    if (states_.empty() || position >= end() - kEpsilon) return std::nullopt;
    if (position < start()) return 0;
    auto it = std::upper_bound(states_.begin(), states_.end(), position + kEpsilon,
                               [](double p, const State& s) { return p < s.start; });
    if (it == states_.begin()) return 0;
    return static_cast<std::size_t>(std::distance(states_.begin(), it) - 1);
}

std::optional<std::size_t> MediaTimeline::indexOf(std::int64_t sequence) const {
    auto it = std::lower_bound(segments_.begin(), segments_.end(), sequence,
                               [](const hls::Segment& s, std::int64_t value) { return s.mediaSequence < value; });
    if (it == segments_.end() || it->mediaSequence != sequence) return std::nullopt;
    return static_cast<std::size_t>(std::distance(segments_.begin(), it));
}

std::map<std::int64_t, std::int64_t>::const_iterator MediaTimeline::runHolding(std::int64_t sequence) const {
    auto it = runs_.upper_bound(sequence);
    if (it == runs_.begin()) return runs_.end();
    --it;
    return it->second >= sequence ? it : runs_.end();
}

void MediaTimeline::markLoaded(std::size_t index) {
    State& state = states_[index];
    state.failures = 0;
    if (state.loaded) return;
    state.loaded = true;
    const std::int64_t sequence = segments_[index].mediaSequence;
    std::int64_t first = sequence;
    std::int64_t last = sequence;
    // Joins the run that ends just before it and the one that starts just after it.
    if (index > 0 && loadedRead(index - 1)) {
        auto before = runHolding(sequenceRead(index - 1));
        first = before->first;
        runs_.erase(before);
    }
    if (index + 1 < segments_.size() && loadedRead(index + 1)) {
        auto after = runs_.find(sequenceRead(index + 1));
        last = after->second;
        runs_.erase(after);
    }
    runs_.emplace(first, last);
}

double MediaTimeline::contiguousLoadedEnd(double position) const {
    const auto index = indexAt(position);
    if (!index || !states_[*index].loaded) return position;
    const auto run = runHolding(segments_[*index].mediaSequence);
    return std::max(position, endOf(*indexOf(run->second)));
}

std::optional<std::size_t> MediaTimeline::firstUnloadedFrom(std::size_t index) const {
    if (index >= segments_.size()) return std::nullopt;
    if (!states_[index].loaded) return index;
    const std::size_t last = *indexOf(runHolding(segments_[index].mediaSequence)->second);
    if (last + 1 >= segments_.size()) return std::nullopt;
    return last + 1;
}

std::vector<coremedia::CMTimeRange> MediaTimeline::loadedRanges() const {
    std::vector<coremedia::CMTimeRange> ranges;
    ranges.reserve(runs_.size());
    for (const auto& [first, last] : runs_) {
        const std::size_t begin = *indexOf(first);
        const std::size_t end = *indexOf(last);
        entriesRead_ += 2;
        ranges.push_back(coremedia::CMTimeRangeFromTimeToTime(timeAt(states_[begin].start), timeAt(endOf(end))));
    }
    return ranges;
}

}  // namespace avfoundation::detail
