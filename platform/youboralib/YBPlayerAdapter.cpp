#include "youboralib/YBPlayerAdapter.h"

#include <any>
#include <cmath>
#include <optional>

namespace youboralib {

namespace {

// The rate in a change record, whatever floating or integer type the player keeps it in.
std::optional<double> rateValue(const std::any& value) {
    if (const auto* f = std::any_cast<float>(&value)) return *f;
    if (const auto* d = std::any_cast<double>(&value)) return *d;
    if (const auto* i = std::any_cast<int>(&value)) return *i;
    return std::nullopt;
}

}  // namespace

bool YBPlayerAdapter::isPlaying() const {
    std::lock_guard lock(mutex_);
    return playing_;
}

void YBPlayerAdapter::beginMonitoring(std::function<void()> onStart) {
    endMonitoring();
    auto observable = source_.observable ? source_.observable() : nullptr;
    {
        std::lock_guard lock(mutex_);
        playing_ = false;
        onStart_ = std::move(onStart);
    }
    if (!observable) return;
    std::weak_ptr<YBPlayerAdapter> weak = weak_from_this();
    // The initial value counts: a player that already plays has started.
    auto observation = observable->observe(
        "rate", foundation::NSKeyValueObservingOptions::initial | foundation::NSKeyValueObservingOptions::new_,
        [weak](const foundation::KeyValueChange& change) {
            auto self = weak.lock();
            if (!self) return;
            const auto rate = rateValue(change.newValue);
            if (!rate || !std::isfinite(*rate) || *rate <= 0) return;
            std::function<void()> start;
            {
                std::lock_guard lock(self->mutex_);
                if (self->playing_ || !self->onStart_) return;
                self->playing_ = true;
                start = self->onStart_;
            }
            start();
        });
    if (!observation) return;  // a player without a rate: nothing to watch
    std::lock_guard lock(mutex_);
    if (onStart_) rateObservation_ = std::move(*observation);
}

void YBPlayerAdapter::endMonitoring() {
    foundation::NSKeyValueObservation ended;  // invalidated outside the lock
    std::lock_guard lock(mutex_);
    ended = std::move(rateObservation_);
    onStart_ = nullptr;
}

}  // namespace youboralib
