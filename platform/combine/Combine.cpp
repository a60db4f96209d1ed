#include "combine/Combine.h"

namespace combine {

AnyCancellable::AnyCancellable(std::function<void()> cancel) : box_(std::make_shared<Box>(std::move(cancel))) {}

AnyCancellable::Box::~Box() {
    run();
}

void AnyCancellable::Box::run() {
    if (cancelled.exchange(true)) return;
    // Only the first caller gets here, so taking the action needs no lock; releasing it with the call
    // frees whatever it captured.
    auto taken = std::move(action);
    action = nullptr;
    if (taken) taken();
}

void AnyCancellable::cancel() const {
    if (box_) box_->run();  // a moved-from cancellable has nothing left to cancel
}

bool AnyCancellable::isCancelled() const {
    return !box_ || box_->cancelled.load();
}

void AnyCancellable::store(std::set<AnyCancellable>& set) const {
    set.insert(*this);
}

void AnyCancellable::store(std::vector<AnyCancellable>& vector) const {
    vector.push_back(*this);
}

}  // namespace combine
