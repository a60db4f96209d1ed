// The test scopes put back exactly what they found, however the scope ends.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

#include "dispatch/testing/EnvironmentScope.h"
#include "dispatch/testing/ManualClockScope.h"
#include "dispatch/testing/RestoreOnExit.h"
#include "dispatch/testing/TemporaryFolder.h"

namespace {

using namespace dispatch::testing;

std::optional<std::string> variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

TEST(TestScopes, EnvironmentVariablesComeBackAsTheyWereBeforeTheirFirstChange) {
    ::setenv("LUMORA_SCOPE_SET", "before", 1);
    ::unsetenv("LUMORA_SCOPE_UNSET");
    ::setenv("LUMORA_SCOPE_EMPTY", "", 1);
    {
        EnvironmentScope env("LUMORA_SCOPE_SET", "first");
        env.set("LUMORA_SCOPE_SET", "second");  // still "before" at the end, not "first"
        env.set("LUMORA_SCOPE_UNSET", "now set");
        env.unset("LUMORA_SCOPE_EMPTY");
        EXPECT_EQ(variable("LUMORA_SCOPE_SET"), "second");
        EXPECT_EQ(variable("LUMORA_SCOPE_UNSET"), "now set");
        EXPECT_EQ(variable("LUMORA_SCOPE_EMPTY"), std::nullopt);
        {
            const EnvironmentScope inner("LUMORA_SCOPE_SET", std::nullopt);
            EXPECT_EQ(variable("LUMORA_SCOPE_SET"), std::nullopt);
        }
        EXPECT_EQ(variable("LUMORA_SCOPE_SET"), "second");
    }
    EXPECT_EQ(variable("LUMORA_SCOPE_SET"), "before");
    EXPECT_EQ(variable("LUMORA_SCOPE_UNSET"), std::nullopt);
    EXPECT_EQ(variable("LUMORA_SCOPE_EMPTY"), "");  // set but empty is not unset
    ::unsetenv("LUMORA_SCOPE_SET");
    ::unsetenv("LUMORA_SCOPE_EMPTY");
}

TEST(TestScopes, RestoringRunsWhenTheScopeIsLeftEarly) {
    std::atomic<bool> flag{false};
    int value = 1;
    int restored = 0;
    auto leaveEarly = [&] {
        const ValueScope keepFlag(flag);
        const ValueScope keepValue(value);
        const RestoreOnExit restore([&] { ++restored; });
        flag = true;
        value = 2;
        throw std::runtime_error("left early");
    };
    EXPECT_THROW(leaveEarly(), std::runtime_error);
    EXPECT_FALSE(flag);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(restored, 1);
}

TEST(TestScopes, TemporaryFoldersAreTheirOwnAndGoWithTheirContents) {
    std::filesystem::path kept;
    {
        const TemporaryFolder a("scope"), b("scope");
        EXPECT_NE(a.path(), b.path());
        EXPECT_TRUE(std::filesystem::is_empty(a.path()));
        std::filesystem::create_directories(a / "inner");
        std::ofstream(a / "inner" / "file") << "x";
        kept = a.path();
    }
    EXPECT_FALSE(std::filesystem::exists(kept));
}

TEST(TestScopes, AClockScopePutsThePreviousClockBack) {
    const ManualClockScope outer;
    const auto before = dispatch::Clock::current();
    {
        const ClockScope real(std::make_shared<dispatch::RealClock>());
        EXPECT_FALSE(dispatch::Clock::current()->isManual());
    }
    EXPECT_EQ(dispatch::Clock::current(), before);
}

}  // namespace
