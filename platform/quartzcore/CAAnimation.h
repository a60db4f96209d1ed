#pragma once

#include <memory>
#include <string>

#include "coregraphics/CGGeometry.h"

namespace quartzcore {

class CALayer;

// Something a layer runs when one of its properties changes (an implicit animation, usually).
class CAAction {
  public:
    virtual ~CAAction() = default;
    virtual void run(const std::string& forKey, CALayer& object) = 0;
};

// An animation attached to a layer under a key. Layers here do not interpolate their own values: an
// attached animation records what would animate and for how long, on the process clock
// (dispatch::Clock). It stays attached until its duration has elapsed (when removed on completion).
class CAAnimation : public CAAction {
  public:
    // Seconds. Negative or non-finite durations count as 0.
    coregraphics::CGFloat duration = 0.25;
    // Clock time in seconds at which it starts; 0 means "when added".
    coregraphics::CGFloat beginTime = 0;
    bool isRemovedOnCompletion = true;

    // Attaches a copy of this animation to the layer under `forKey`.
    void run(const std::string& forKey, CALayer& object) override;
    virtual std::shared_ptr<CAAnimation> clone() const = 0;
};

// An animation of one property (its key path).
class CABasicAnimation : public CAAnimation {
  public:
    explicit CABasicAnimation(std::string keyPath_ = {}) : keyPath(std::move(keyPath_)) {}
    std::string keyPath;
    std::shared_ptr<CAAnimation> clone() const override { return std::make_shared<CABasicAnimation>(*this); }
};

}  // namespace quartzcore
