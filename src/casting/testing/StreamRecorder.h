#pragma once

// Records what a stream delivers, for tests: its elements in order, and whether it completed or failed.

#include <memory>
#include <vector>

#include "rx/Disposables.h"
#include "rx/Observable.h"

namespace lumora::testing {

template <class T>
class StreamRecorder {
  public:
    explicit StreamRecorder(const rx::Observable<T>& stream) : state_(std::make_shared<State>()) {
        auto state = state_;
        subscription_ = stream.subscribe([state](const T& value) { state->elements.push_back(value); },
                                         [state](const foundation::Error&) { ++state->errors; },
                                         [state] { state->completed = true; });
    }
    ~StreamRecorder() { subscription_.dispose(); }
    StreamRecorder(const StreamRecorder&) = delete;
    StreamRecorder& operator=(const StreamRecorder&) = delete;

    const std::vector<T>& elements() const { return state_->elements; }
    bool completed() const { return state_->completed; }
    int errors() const { return state_->errors; }
    // Nothing delivered, and ended by completion: what an absent plug-in's stream does.
    bool isEmptyAndCompleted() const { return state_->elements.empty() && state_->completed && state_->errors == 0; }

  private:
    struct State {
        std::vector<T> elements;
        bool completed = false;
        int errors = 0;
    };
    std::shared_ptr<State> state_;
    rx::Disposable subscription_;
};

}  // namespace lumora::testing
