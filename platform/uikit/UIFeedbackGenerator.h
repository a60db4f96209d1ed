#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "uikit/UIGeometry.h"

namespace uikit {

// Haptics, recorded instead of felt. Every generator appends what it is asked to do to one process-wide
// log that tests read (`recordedEvents()`), as well as to its own.
class UIImpactFeedbackGenerator {
  public:
    // Raw values as on the platform.
    enum class FeedbackStyle { light = 0, medium = 1, heavy = 2, soft = 3, rigid = 4 };

    struct RecordedEvent {
        enum class Kind { prepare, impactOccurred };
        Kind kind;
        FeedbackStyle style;
        std::optional<CGFloat> intensity;  // for impacts given an intensity
        double timestamp;                  // seconds on the one clock
    };

    static std::shared_ptr<UIImpactFeedbackGenerator> create(FeedbackStyle style = FeedbackStyle::medium);

    FeedbackStyle style() const { return style_; }
    void prepare();
    void impactOccurred();
    // `intensity` is clamped to 0…1.
    void impactOccurred(CGFloat intensity);

    const std::vector<RecordedEvent>& events() const { return events_; }
    static std::vector<RecordedEvent> recordedEvents();
    static void clearRecordedEvents();

  private:
    explicit UIImpactFeedbackGenerator(FeedbackStyle style) : style_(style) {}
    void record(RecordedEvent::Kind kind, std::optional<CGFloat> intensity);

    FeedbackStyle style_;
    std::vector<RecordedEvent> events_;
};

}  // namespace uikit
