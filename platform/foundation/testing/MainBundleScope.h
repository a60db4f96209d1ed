#pragma once

#include <optional>
#include <string>

#include "dispatch/testing/EnvironmentScope.h"
#include "foundation/Bundle.h"

namespace foundation::testing {

// Makes `folder` the main bundle (through LUMORA_MAIN_BUNDLE) for the life of the scope; no folder makes it
// the executable's folder. At the end the variable is as it was, and the main bundle is resolved from it
// again on its next use.
class MainBundleScope {
  public:
    explicit MainBundleScope(const std::optional<std::string>& folder) {
        environment_.emplace("LUMORA_MAIN_BUNDLE", folder);
        Bundle::resetMainForTesting();
    }
    ~MainBundleScope() {
        environment_.reset();
        Bundle::resetMainForTesting();
    }
    MainBundleScope(const MainBundleScope&) = delete;
    MainBundleScope& operator=(const MainBundleScope&) = delete;

  private:
    std::optional<dispatch::testing::EnvironmentScope> environment_;
};

}  // namespace foundation::testing
