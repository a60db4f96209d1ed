#pragma once

#include <functional>
#include <memory>
#include <string>

#include "dispatch/RunLoop.h"

namespace quartzcore {

// A timer tied to the display's frames: once added to the main run loop it calls its handler at every
// frame boundary of the one clock (multiples of 1/60 s by default), unless paused. Frames missed while
// the loop was busy are not replayed: the next call is at the next boundary after the clock's time.
//
// The link holds its target weakly: the handler of the target form does nothing and invalidates the link
// once the target is gone; a handler given as a closure should capture its owner weakly. The run loop keeps
// an added link alive until `invalidate()`.
class CADisplayLink : public std::enable_shared_from_this<CADisplayLink> {
  public:
    using Handler = std::function<void(CADisplayLink&)>;

    static std::shared_ptr<CADisplayLink> create(Handler handler);

    // The platform's target / selector form.
    template <class T>
    static std::shared_ptr<CADisplayLink> create(const std::shared_ptr<T>& target,
                                                 void (T::*selector)(CADisplayLink&)) {
        std::weak_ptr<T> weak = target;
        return create([weak, selector](CADisplayLink& link) {
            if (auto strong = weak.lock()) {
                ((*strong).*selector)(link);
            } else {
                link.invalidate();
            }
        });
    }
    template <class T>
    static std::shared_ptr<CADisplayLink> create(const std::shared_ptr<T>& target, void (T::*selector)()) {
        std::weak_ptr<T> weak = target;
        return create([weak, selector](CADisplayLink& link) {
            if (auto strong = weak.lock()) {
                ((*strong).*selector)();
            } else {
                link.invalidate();
            }
        });
    }

    ~CADisplayLink();
    CADisplayLink(const CADisplayLink&) = delete;
    CADisplayLink& operator=(const CADisplayLink&) = delete;

    // Starts delivering frames on `to` (the main loop). The mode is accepted for the platform's form.
    void add(dispatch::RunLoop& to, const std::string& forMode = "default");
    bool isPaused() const { return paused_; }
    void setIsPaused(bool paused);
    // Stops for good and lets the run loop release the link.
    void invalidate();
    bool isValid() const { return valid_; }

    // Clock seconds of the frame being delivered, and of the next one.
    double timestamp() const { return timestamp_; }
    double targetTimestamp() const { return targetTimestamp_; }
    // Seconds between frames.
    double duration() const;
    // Frames per second, 1 to 60; 0 (the default) means 60.
    int preferredFramesPerSecond() const { return preferredFramesPerSecond_; }
    void setPreferredFramesPerSecond(int fps);

  private:
    explicit CADisplayLink(Handler handler) : handler_(std::move(handler)) {}
    void scheduleNext();
    void fire(std::int64_t frame);
    std::int64_t fps() const { return preferredFramesPerSecond_ > 0 ? preferredFramesPerSecond_ : 60; }
    dispatch::Nanoseconds frameTime(std::int64_t frame) const;

    Handler handler_;
    dispatch::RunLoop* runLoop_ = nullptr;
    bool paused_ = false;
    bool valid_ = true;
    dispatch::RunLoop::TimerId timer_ = 0;
    double timestamp_ = 0;
    double targetTimestamp_ = 0;
    int preferredFramesPerSecond_ = 0;
    std::shared_ptr<CADisplayLink> selfWhileAdded_;
};

}  // namespace quartzcore
