#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "adsupport/ASIdentifierManager.h"
#include "dispatch/testing/TemporaryFolder.h"
#include "foundation/Bundle.h"
#include "foundation/JSON.h"
#include "foundation/testing/MainBundleScope.h"
#include "kitfoundation/AppVersion.h"
#include "kitfoundation/Configuration.h"
#include "playservice/AssetInfoFactory.h"

using namespace lumora;
using uikit::UIUserInterfaceIdiom;

namespace {

DeviceInfo messyDevice() {
    DeviceInfo d;
    d.identifier = "8C3A0D52-5A8E-4E43-9D2B-3E1F0A6B7C11";
    d.manufacturer = " Lumora Devices\n";
    d.internalModelName = "\tModel-X 2 ";
    d.systemName = "Lumora OS";
    d.systemVersion = " 17.4 ";
    return d;
}

std::string encoded(const AssetInfo& info) {
    auto data = foundation::JSONEncoder().encode(info);
    EXPECT_TRUE(data.has_value());
    return data ? foundation::stringFromData(*data) : std::string();
}

class AssetInfoFactoryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ConfigurationKey::setSourceForTesting([](std::string_view) { return std::nullopt; });
    }
    void TearDown() override {
        ConfigurationKey::setSourceForTesting(nullptr);
        adsupport::ASIdentifierManager::shared().setAdvertisingIdentifier(std::nullopt);
    }
};

}  // namespace

TEST_F(AssetInfoFactoryTest, FillsEveryFieldOfTheBody) {
    auto factory = AssetInfoFactory::create(messyDevice(), false, UIUserInterfaceIdiom::phone);
    const AssetInfo info = factory->makeAssetInfo("  asset 42 ");

    EXPECT_EQ(info.assetId, "  asset 42 ");  // unchanged
    EXPECT_EQ(info.application.name, "");    // no SDK_PlayServiceAppName
    EXPECT_EQ(info.application.version, AppVersion::current().text());
    EXPECT_EQ(info.device.id, "8C3A0D52-5A8E-4E43-9D2B-3E1F0A6B7C11");
    EXPECT_EQ(info.device.type, "phone");
    EXPECT_EQ(info.device.brand, "lumora devices");
    EXPECT_EQ(info.device.model, "model-x 2");
    EXPECT_EQ(info.os.name, "lumora os");
    EXPECT_EQ(info.os.version, "17.4");
    // The player's name and version keep the system's spelling, blanks included.
    EXPECT_EQ(info.player.name, "Lumora OSPlayer");
    EXPECT_EQ(info.player.version, "Lumora OS- 17.4 ");
    EXPECT_EQ(info.capabilities.codecs, (std::vector<std::string>{"avc"}));
    EXPECT_FALSE(info.capabilities.drm);
    EXPECT_FALSE(info.preference);
    EXPECT_TRUE(info.ads.optOut);
    EXPECT_FALSE(info.ads.csai);
    EXPECT_EQ(info.ads.ifa, "00000000-0000-0000-0000-000000000000");
    EXPECT_EQ(info.ads.ifaType, "idfa");

    // Absent optionals are left out of the body, and keys keep their order.
    const std::string json = encoded(info);
    EXPECT_EQ(json.find("\"drm\""), std::string::npos);
    EXPECT_EQ(json.find("\"preference\""), std::string::npos);
    EXPECT_EQ(json.find("\"csai\""), std::string::npos);
    EXPECT_EQ(json.find("null"), std::string::npos);
    EXPECT_NE(
        json.find(
            R"("capabilities":{"codecs":["avc"]},"ads":{"optOut":true,"ifa":"00000000-0000-0000-0000-000000000000","ifaType":"idfa"}})"),
        std::string::npos)
        << json;
}

TEST_F(AssetInfoFactoryTest, DeviceTypeFollowsTheIdiomAndHEVCIsAppendedAfterAVC) {
    EXPECT_EQ(AssetInfoFactory::create(messyDevice(), true, UIUserInterfaceIdiom::pad)->makeAssetInfo("a").device.type,
              "tablet");
    EXPECT_EQ(AssetInfoFactory::create(messyDevice(), true, UIUserInterfaceIdiom::tv)->makeAssetInfo("a").device.type,
              "tv");
    EXPECT_EQ(
        AssetInfoFactory::create(messyDevice(), true, UIUserInterfaceIdiom::carPlay)->makeAssetInfo("a").device.type,
        "");
    EXPECT_EQ(AssetInfoFactory::create(messyDevice(), true, UIUserInterfaceIdiom::unspecified)
                  ->makeAssetInfo("a")
                  .device.type,
              "");
    EXPECT_EQ(AssetInfoFactory::create(messyDevice(), true, UIUserInterfaceIdiom::mac)->makeAssetInfo("a").device.type,
              "");
    EXPECT_EQ(AssetInfoFactory::create(messyDevice(), true, UIUserInterfaceIdiom::phone)
                  ->makeAssetInfo("a")
                  .capabilities.codecs,
              (std::vector<std::string>{"avc", "hevc"}));
}

TEST_F(AssetInfoFactoryTest, HostSettingsBundleAndAdvertisingIdentifierAreRead) {
    ConfigurationKey::setSourceForTesting([](std::string_view key) -> std::optional<std::string> {
        if (key == "SDK_PlayServiceAppName") return "Harbour Sport";
        return std::nullopt;
    });
    adsupport::ASIdentifierManager::shared().setAdvertisingIdentifier(
        foundation::UUID::fromString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f"));

    // A host bundle with an identifier; the identifier is read on every call.
    const dispatch::testing::TemporaryFolder folder("play-bundle");
    std::ofstream(folder / "Info.plist") << R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict><key>CFBundleIdentifier</key><string>com.example.harbour</string></dict></plist>
)";
    auto hostBundle = std::make_optional<foundation::testing::MainBundleScope>(folder.path().string());

    auto factory = AssetInfoFactory::create(messyDevice(), false, UIUserInterfaceIdiom::phone);
    AssetInfo info = factory->makeAssetInfo("a");
    EXPECT_EQ(info.application.name, "Harbour Sport");
    EXPECT_EQ(info.application.appId, "com.example.harbour");
    EXPECT_EQ(info.ads.ifa, "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");

    hostBundle.reset();
    info = factory->makeAssetInfo("a");
    EXPECT_EQ(info.application.appId, foundation::Bundle::main().bundleIdentifier().value_or(""));
}

TEST(AssetInfoText, TrimsUnicodeBlanksAndLowersLettersOfSeveralScripts) {
    EXPECT_EQ(AssetInfoFactory::trimmed("\u00A0\u2003 Lumora\r\n\u2028"), "Lumora");
    EXPECT_EQ(AssetInfoFactory::trimmed(" \t\n "), "");
    EXPECT_EQ(AssetInfoFactory::trimmed("a b"), "a b");
    EXPECT_EQ(AssetInfoFactory::lowercased("ÄÖÜ Straße ΣΩ ПРИВЕТ Łódź MiXeD"), "äöü straße σω привет łódź mixed");
    // A malformed byte is kept, not dropped.
    EXPECT_EQ(AssetInfoFactory::lowercased(std::string("A\xFF"
                                                       "B")),
              std::string("a\xFF"
                          "b"));
}

TEST(AssetInfoEncoding, OptionalPartsAppearOnlyWhenSet) {
    AssetInfo info;
    info.assetId = "x";
    info.capabilities.codecs = {"avc"};
    info.capabilities.drm = std::vector<std::string>{"fairplay"};
    info.preference = AssetInfo::Preference{.streamingFormat = "hls", .codec = std::nullopt};
    info.ads = {.optOut = false, .csai = true, .ifa = std::nullopt, .ifaType = std::nullopt};
    const std::string json = encoded(info);
    EXPECT_NE(
        json.find(
            R"("capabilities":{"codecs":["avc"],"drm":["fairplay"]},"preference":{"streamingFormat":"hls"},"ads":{"optOut":false,"csai":true}})"),
        std::string::npos)
        << json;
}

TEST(AssetInfoEncoding, TheWholeBodyIsWrittenByteForByte) {
    // Every part, in the order the play service reads it, with text that needs escapes and text beyond ASCII.
    AssetInfo info;
    info.assetId = "vod \"derby\"\n";
    info.application = {.name = "Harbour Sport", .version = "4.2.0", .appId = "com.example.harbour"};
    info.device = {.id = "8C3A0D52-5A8E-4E43-9D2B-3E1F0A6B7C11", .type = "tv", .brand = "lumora", .model = "Ågir\\1"};
    info.os = {.name = "linux", .version = "6.1"};
    info.player = {.name = "LinuxPlayer", .version = "Linux-6.1"};
    info.capabilities = {.codecs = {"avc", "hevc"}, .drm = std::vector<std::string>{}};
    info.preference = AssetInfo::Preference{.streamingFormat = std::nullopt, .codec = "hevc"};
    info.ads = {.optOut = false, .csai = false, .ifa = "00000000-0000-0000-0000-000000000000", .ifaType = "idfa"};
    EXPECT_EQ(encoded(info),
              R"({"assetId":"vod \"derby\"\n","application":{"name":"Harbour Sport","version":"4.2.0",)"
              R"("appId":"com.example.harbour"},"device":{"id":"8C3A0D52-5A8E-4E43-9D2B-3E1F0A6B7C11","type":"tv",)"
              R"("brand":"lumora","model":"Ågir\\1"},"os":{"name":"linux","version":"6.1"},)"
              R"("player":{"name":"LinuxPlayer","version":"Linux-6.1"},"capabilities":{"codecs":["avc","hevc"],)"
              R"("drm":[]},"preference":{"codec":"hevc"},"ads":{"optOut":false,"csai":false,)"
              R"("ifa":"00000000-0000-0000-0000-000000000000","ifaType":"idfa"}})");
}
