#include "EmbeddedBackend.h"

#include "dispatch/Clock.h"

namespace demoharness {

std::expected<std::shared_ptr<EmbeddedBackend>, std::string> startEmbeddedBackend(devserver::BackendOptions options) {
    if (!options.liveClockSeconds) {
        options.liveClockSeconds = [] { return dispatch::secondsFromNanoseconds(dispatch::Clock::current()->now()); };
    }
    return devserver::Backend::start(std::move(options));
}

}  // namespace demoharness
