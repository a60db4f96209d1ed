#pragma once

#include <expected>
#include <memory>
#include <string>

#include "devserver/Backend.h"

namespace demoharness {

using EmbeddedBackend = devserver::Backend;

// Starts the whole local back end in this process with its live window on the process's clock, so an
// accelerated clock accelerates live streams too.
std::expected<std::shared_ptr<EmbeddedBackend>, std::string> startEmbeddedBackend(
    devserver::BackendOptions options = {});

}  // namespace demoharness
