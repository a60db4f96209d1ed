#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "DemoHarness.h"
#include "RequestWatch.h"
#include "playback/AdModels.h"
#include "playservice/AssetStreamContent.h"

namespace lumora {
class ZuPlayerViewController;
}  // namespace lumora

namespace demoharness::detail {

// `value` with `decimals` digits after the point.
std::string fixed(double value, int decimals);
// "mm:ss" of whole seconds ("h:mm:ss" past an hour).
std::string clockText(double seconds);
// The items separated by ", ".
std::string join(const std::vector<std::string>& items);
// The screen's playhead and the duration of its player's item, in seconds (0 while there is none).
double playheadOf(const lumora::ZuPlayerViewController* screen);
double streamDurationOf(const lumora::ZuPlayerViewController* screen);

// What the host sees the kit do, as timeline lines: the stream the play service chose, the content keys
// fetched and renewed, the player events and how each was answered, the beacons the analytics collector
// took and the player's ads; with the counts the run's summary gives. Used on the main thread, looked at
// on each of the run's ticks.
class TimelineWatch {
  public:
    using Record = std::function<void(TimelineEvent)>;

    // `backend`: the embedded back end whose analytics collector is read (none: beacons are not watched).
    // `record` stamps and writes each line.
    TimelineWatch(std::shared_ptr<EmbeddedBackend> backend, Record record);
    TimelineWatch(const TimelineWatch&) = delete;
    TimelineWatch& operator=(const TimelineWatch&) = delete;

    // The kit's licence requests and player events as they go out (the run installs it and hands it to
    // the player events' session, so that it hears their answers).
    const std::shared_ptr<RequestWatch>& requests() const { return requests_; }
    // The stream the screen was given, once it has one.
    const std::shared_ptr<const lumora::AssetStreamContent>& content() const { return content_; }

    // Reports the screen's stream the first time there is one; whether that was now.
    bool noticeStreamContent(const lumora::ZuPlayerViewController& screen);
    // Reports the licence requests made since the last look, with when the keys fall due for renewal as the
    // embedded back end's licence server sets it (nothing is said of another back end's).
    void reportKeys();
    // Notes the playhead for the player events posted since the last look: the kit's bodies carry no
    // VOD position.
    void notePostedEvents(double playhead);
    // Reports how the player events were answered since the last look.
    void reportEventAnswers();
    // Reports the beacons the analytics collector took since the last look.
    void reportBeacons();
    // Reports an ad's start or end; `playhead` is on the stream's timeline (ads counted).
    void reportAd(const lumora::AdEvent& event, double playhead);

    // Whether the end event and every event sent before it have their answers, however they were answered
    // (always, for a stream that reports no player events). The screen's ticks go on after the end; their
    // events are not waited for.
    bool eventsAnswered() const;
    // The summary's counts: keys (protected streams), player events, ads, analytics beacons.
    std::string counts() const;

  private:
    void report(TimelineEvent::Kind kind, std::string text);

    std::shared_ptr<EmbeddedBackend> backend_;
    Record record_;
    std::shared_ptr<RequestWatch> requests_;
    std::shared_ptr<const lumora::AssetStreamContent> content_;
    std::set<std::string> keysSeen_;
    std::map<std::int64_t, double> eventPositions_;
    int keysFetched_ = 0;
    int keysRenewed_ = 0;
    int eventsSent_ = 0;
    int adsStarted_ = 0;
    std::size_t beaconsSeen_ = 0;
    int beaconsTaken_ = 0;
    // The end event's number, once it has its answer.
    std::optional<std::int64_t> endAnswered_;
};

}  // namespace demoharness::detail
