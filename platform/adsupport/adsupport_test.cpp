#include <gtest/gtest.h>

#include "adsupport/ASIdentifierManager.h"
#include "dispatch/testing/EnvironmentScope.h"
#include "dispatch/testing/RestoreOnExit.h"

using adsupport::ASIdentifierManager;

TEST(ASIdentifierManager, ZeroByDefaultThenConfiguredInUpperCase) {
    dispatch::testing::EnvironmentScope env;
    auto& manager = ASIdentifierManager::shared();
    const dispatch::testing::RestoreOnExit configured([&] { manager.setAdvertisingIdentifier(std::nullopt); });
    env.unset("LUMORA_ADVERTISING_IDENTIFIER");
    EXPECT_EQ(manager.advertisingIdentifier().uuidString(), "00000000-0000-0000-0000-000000000000");

    env.set("LUMORA_ADVERTISING_IDENTIFIER", "e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    EXPECT_EQ(manager.advertisingIdentifier().uuidString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    env.set("LUMORA_ADVERTISING_IDENTIFIER", "not a uuid");
    EXPECT_EQ(manager.advertisingIdentifier().uuidString(), "00000000-0000-0000-0000-000000000000");

    manager.setAdvertisingIdentifier(foundation::UUID::fromString("0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9"));
    EXPECT_EQ(manager.advertisingIdentifier().uuidString(), "0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9");
    manager.setAdvertisingIdentifier(std::nullopt);
    env.unset("LUMORA_ADVERTISING_IDENTIFIER");
    EXPECT_EQ(manager.advertisingIdentifier().uuidString(), "00000000-0000-0000-0000-000000000000");
}
