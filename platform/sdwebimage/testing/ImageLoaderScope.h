#pragma once

#include <memory>
#include <mutex>
#include <utility>

#include "sdwebimage/SDWebImageManager.h"

namespace sdwebimage::testing {

// Makes `loader` the loader of the shared manager for the lifetime of the scope, then puts the previous
// one back. For tests of code that loads through `SDWebImageManager::shared()`.
class ImageLoaderScope {
  public:
    explicit ImageLoaderScope(std::shared_ptr<SDImageLoader> loader) {
        auto manager = SDWebImageManager::shared();
        std::lock_guard lock(manager->mutex_);
        previous_ = std::exchange(manager->loader_, std::move(loader));
    }
    ~ImageLoaderScope() {
        auto manager = SDWebImageManager::shared();
        std::lock_guard lock(manager->mutex_);
        manager->loader_ = std::move(previous_);
    }
    ImageLoaderScope(const ImageLoaderScope&) = delete;
    ImageLoaderScope& operator=(const ImageLoaderScope&) = delete;

  private:
    std::shared_ptr<SDImageLoader> previous_;
};

}  // namespace sdwebimage::testing
