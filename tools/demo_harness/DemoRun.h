#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "DemoHarness.h"
#include "ScaledClock.h"

namespace demoharness::detail {

// What one run is given by `runDemoHost`.
struct RunSetup {
    Options options;
    TimelineSink* sink = nullptr;
    std::shared_ptr<ScaledClock> clock;
    // The embedded back end, when the run uses it (analytics beacons are read from it).
    std::shared_ptr<EmbeddedBackend> backend;
    std::string backendText;
    // Where the host's own back end serves ad breaks, key moments and thumbnails ("http://host:port").
    std::string serviceBase;
    // Where the kit's licence requests for 127.0.0.1 go instead (a local back end); nothing: nowhere else.
    std::optional<std::string> loopbackLicenceBase;
};

// One run on the main thread: the example host with the player screen in its window, the scripted viewer
// in front of it, and the timeline of what the host and the kit did.
class DemoRun {
  public:
    static std::shared_ptr<DemoRun> create(RunSetup setup);
    virtual ~DemoRun() = default;

    virtual void setDeadlineWatch(DeadlineWatch* watch) = 0;
    virtual void start() = 0;
    virtual void interrupt() = 0;
    virtual void timedOut() = 0;
    // Stops everything the run started, once the run loop has returned.
    virtual void cleanUp() = 0;
    virtual ExitStatus status() const = 0;
    // Whether the run has ended (its status is final).
    virtual bool isDone() const = 0;
    // A pass of the main loop held the clock this long: the step under way gets that much longer.
    virtual void passTook(std::chrono::steady_clock::duration held) = 0;
};

// Drives the main run loop until `isDone()`: the clock runs while the loop waits for its next timer or
// block and is held while the loop works, so every block and timer of one pass sees one moment. A slow
// machine (or a sanitizer build) then plays the same story, only more slowly, instead of watching the
// stream run on while its main thread is busy.
// `passTook` hears how long each pass held the clock.
void runPaced(ScaledClock& clock, const std::function<bool()>& isDone,
              const std::function<void(std::chrono::steady_clock::duration)>& passTook = {});

}  // namespace demoharness::detail
