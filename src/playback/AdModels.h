#pragma once

#include <string>
#include <variant>
#include <vector>

namespace lumora {

// An ad inserted into the stream by the server. Times are seconds on the stream timeline (ads counted).
// The ad occupies the half-open span [startTime, startTime + duration): its start belongs to it, its end
// does not.
struct AdInfo {
    std::string id;
    double startTime = 0;
    double duration = 0;

    AdInfo() = default;
    AdInfo(std::string id, double startTime, double duration)
        : id(std::move(id)), startTime(startTime), duration(duration) {}

    bool operator==(const AdInfo&) const = default;
};

// One inner list per ad break, in timeline order; the ads of a break play back to back.
using AdGroups = std::vector<std::vector<AdInfo>>;

// The ad as shown to the viewer: its id, a title such as "Ad 2 of 3", and its length in seconds.
struct AdDisplayInfo {
    std::string id;
    std::string title;
    double duration = 0;

    AdDisplayInfo() = default;
    AdDisplayInfo(std::string id, std::string title, double duration)
        : id(std::move(id)), title(std::move(title)), duration(duration) {}

    bool operator==(const AdDisplayInfo&) const = default;
};

// An ad begins to be shown, or has ended. `indexInGroup` counts from 0 within the ad's break;
// `hasAdCompleted` is true when the finished ad was the last one queued for its break.
class AdEvent {
  public:
    struct Start {
        AdDisplayInfo ad;
        int indexInGroup = 0;
        bool operator==(const Start&) const = default;
    };
    struct Finish {
        AdDisplayInfo ad;
        int indexInGroup = 0;
        bool hasAdCompleted = false;
        bool operator==(const Finish&) const = default;
    };

    static AdEvent start(AdDisplayInfo ad, int indexInGroup) { return AdEvent(Start{std::move(ad), indexInGroup}); }
    static AdEvent finish(AdDisplayInfo ad, int indexInGroup, bool hasAdCompleted) {
        return AdEvent(Finish{std::move(ad), indexInGroup, hasAdCompleted});
    }

    bool isStart() const { return std::holds_alternative<Start>(value_); }
    bool isFinish() const { return std::holds_alternative<Finish>(value_); }

    // Read by either case.
    const AdDisplayInfo& ad() const { return isStart() ? std::get<Start>(value_).ad : std::get<Finish>(value_).ad; }
    int indexInGroup() const {
        return isStart() ? std::get<Start>(value_).indexInGroup : std::get<Finish>(value_).indexInGroup;
    }
    // False for a start.
    bool hasAdCompleted() const { return isFinish() && std::get<Finish>(value_).hasAdCompleted; }

    const std::variant<Start, Finish>& value() const { return value_; }

    bool operator==(const AdEvent&) const = default;

  private:
    explicit AdEvent(std::variant<Start, Finish> value) : value_(std::move(value)) {}
    std::variant<Start, Finish> value_;
};

}  // namespace lumora
