#include "playback/AdSignallingService.h"

#include <string_view>

namespace lumora {

namespace {

// [startTime, startTime + duration): the start belongs to the ad, the end does not.
bool spanContains(const AdInfo& ad, double time) {
    return ad.startTime <= time && time < ad.startTime + ad.duration;
}

std::string trimmedBlanks(std::string_view text) {
    constexpr std::string_view blanks = " \t";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(blanks);
    return std::string(text.substr(first, last - first + 1));
}

}  // namespace

std::shared_ptr<AdSignallingService> AdSignallingService::create() {
    return std::shared_ptr<AdSignallingService>(new AdSignallingService());
}

void AdSignallingService::check(double time, const AdGroups& adGroups, const StartCallback& startCallback,
                                const FinishCallback& finishCallback) {
    if (currentDisplayAds_.empty()) {
        startBreak(time, adGroups, startCallback);
    } else {
        advanceBreak(time, adGroups, startCallback, finishCallback);
    }
}

void AdSignallingService::reset() {
    currentDisplayAds_.clear();
}

std::deque<AdSignallingService::DisplayAd> AdSignallingService::makeDisplayQueue(const std::vector<AdInfo>& group,
                                                                                 const std::string& suffix) {
    std::deque<DisplayAd> queue;
    for (std::size_t i = 0; i < group.size(); ++i) {
        const int index = static_cast<int>(i);
        std::string title = trimmedBlanks("Ad " + std::to_string(index + 1) + " " + suffix);
        queue.push_back(DisplayAd{index, AdDisplayInfo(group[i].id, std::move(title), group[i].duration)});
    }
    return queue;
}

void AdSignallingService::startBreak(double time, const AdGroups& adGroups, const StartCallback& startCallback) {
    // The latest ad containing the time picks its group; later groups and later ads win.
    const std::vector<AdInfo>* picked = nullptr;
    for (auto group = adGroups.rbegin(); group != adGroups.rend() && !picked; ++group) {
        for (auto ad = group->rbegin(); ad != group->rend(); ++ad) {
            if (spanContains(*ad, time)) {
                picked = &*group;
                break;
            }
        }
    }
    if (!picked) return;

    const std::string suffix = picked->size() >= 2 ? "of " + std::to_string(picked->size()) : std::string();
    currentDisplayAds_ = makeDisplayQueue(*picked, suffix);

    // A break always starts at its first ad, even when the time lies in a later one; the earlier ads then
    // finish one per check.
    const DisplayAd head = currentDisplayAds_.front();
    if (startCallback) startCallback(head.info, head.index);
}

void AdSignallingService::advanceBreak(double time, const AdGroups& adGroups, const StartCallback& startCallback,
                                       const FinishCallback& finishCallback) {
    const DisplayAd head = currentDisplayAds_.front();

    const AdInfo* headAd = nullptr;
    for (const auto& group : adGroups) {
        for (const auto& ad : group) {
            if (ad.id == head.info.id) {
                headAd = &ad;
                break;
            }
        }
        if (headAd) break;
    }
    // Groups replaced under a shown break without a reset: keep the queue until reset.
    if (!headAd) return;

    // A playhead before the head ad's end (even one moved back before its start) changes nothing.
    if (!(time >= headAd->startTime + headAd->duration)) return;

    currentDisplayAds_.pop_front();
    const bool hasAdCompleted = currentDisplayAds_.empty();
    if (finishCallback) finishCallback(head.info, head.index, hasAdCompleted);

    // The finish callback may have reset the service (new ad groups): then nothing more starts.
    if (!currentDisplayAds_.empty()) {
        const DisplayAd next = currentDisplayAds_.front();
        if (startCallback) startCallback(next.info, next.index);
    }
}

}  // namespace lumora
