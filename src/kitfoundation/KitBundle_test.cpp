#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "dispatch/testing/EnvironmentScope.h"
#include "foundation/Bundle.h"
#include "kitfoundation/KitBundle.h"
#include "kitfoundation/Log.h"

namespace {

using namespace lumora;
namespace fs = std::filesystem;

// A scratch folder of its own for each test, under the system's temporary folder.
class ScratchFolder {
  public:
    ScratchFolder() {
        path_ = fs::temp_directory_path() /
                ("lumora-kitbundle-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }
    fs::path folder(const fs::path& relative) const {
        fs::create_directories(path_ / relative);
        return path_ / relative;
    }
    void write(const fs::path& relative, const std::string& text) const {
        fs::create_directories((path_ / relative).parent_path());
        std::ofstream(path_ / relative) << text;
    }

  private:
    static inline int counter_ = 0;
    fs::path path_;
};

std::string infoPlist(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + body + "</dict></plist>\n";
}

TEST(KitBundleTest, TheEnvironmentThenBesideTheProgramThenTheBuildThenTheInstallPrefix) {
    ScratchFolder scratch;
    KitBundle::Places places;
    places.environment = (scratch.path() / "env/LumoraKit.bundle").string();
    places.executableFolder = (scratch.path() / "prefix/bin").string();
    places.buildFolder = (scratch.path() / "build/LumoraKit.bundle").string();
    places.installFolder = (scratch.path() / "install/share/lumora/LumoraKit.bundle").string();

    const auto candidates = KitBundle::candidates(places);
    ASSERT_EQ(candidates.size(), 5u);
    EXPECT_EQ(candidates[0], *places.environment);
    EXPECT_EQ(candidates[1], (scratch.path() / "prefix/bin/LumoraKit.bundle").string());
    EXPECT_EQ(candidates[2], (scratch.path() / "prefix/share/lumora/LumoraKit.bundle").string());
    EXPECT_EQ(candidates[3], places.buildFolder);
    EXPECT_EQ(candidates[4], places.installFolder);

    // Nothing exists yet: no bundle.
    EXPECT_EQ(KitBundle::locate(places), std::nullopt);
    // Each place, once it exists, wins over those after it.
    scratch.folder("install/share/lumora/LumoraKit.bundle");
    EXPECT_EQ(KitBundle::locate(places), candidates[4]);
    scratch.folder("build/LumoraKit.bundle");
    EXPECT_EQ(KitBundle::locate(places), candidates[3]);
    scratch.folder("prefix/share/lumora/LumoraKit.bundle");
    EXPECT_EQ(KitBundle::locate(places), candidates[2]);
    scratch.folder("prefix/bin/LumoraKit.bundle");
    EXPECT_EQ(KitBundle::locate(places), candidates[1]);
    scratch.folder("env/LumoraKit.bundle");
    EXPECT_EQ(KitBundle::locate(places), candidates[0]);

    // A file where a folder should be does not count; an empty environment value is no place.
    scratch.write("file/LumoraKit.bundle", "not a folder");
    KitBundle::Places odd;
    odd.environment = (scratch.path() / "file/LumoraKit.bundle").string();
    EXPECT_EQ(KitBundle::locate(odd), std::nullopt);
    odd.environment = "";
    EXPECT_TRUE(KitBundle::candidates(odd).empty());
}

TEST(KitBundleTest, ThisProcessReadsTheEnvironmentVariable) {
    {
        dispatch::testing::EnvironmentScope env(KitBundle::environmentVariable, "/somewhere/LumoraKit.bundle");
        EXPECT_EQ(KitBundle::currentPlaces().environment, "/somewhere/LumoraKit.bundle");
        env.set(KitBundle::environmentVariable, "");
        EXPECT_EQ(KitBundle::currentPlaces().environment, std::nullopt);
    }
    EXPECT_FALSE(KitBundle::currentPlaces().executableFolder.empty());
}

TEST(KitBundleTest, TheBuildMakesTheBundleWithTheProjectsVersion) {
    // Tests run from the build tree: the bundle the build made is the kit's bundle.
    const foundation::Bundle& kit = KitBundle::shared();
    EXPECT_EQ(fs::path(kit.bundlePath()).filename(), "LumoraKit.bundle");
    EXPECT_EQ(kit.bundleURL().lastPathComponent(), "LumoraKit.bundle");
    EXPECT_FALSE(kit.infoPlistError());
    EXPECT_EQ(kit.bundleIdentifier(), "dev.lumora.kit");
    EXPECT_EQ(sdkVersion(), LUMORA_PROJECT_VERSION);
    EXPECT_EQ(&KitBundle::shared(), &kit);  // found once
}

TEST(KitBundleTest, VersionIsTheBundlesTextOrZero) {
    ScratchFolder scratch;
    scratch.write("versioned/Info.plist", infoPlist("<key>CFBundleShortVersionString</key><string>2.3.4</string>"));
    scratch.write("empty/Info.plist", infoPlist("<key>CFBundleShortVersionString</key><string></string>"));
    scratch.write("number/Info.plist", infoPlist("<key>CFBundleShortVersionString</key><integer>7</integer>"));
    scratch.write("broken/Info.plist", "<plist><dict><key>CFBundle");
    scratch.folder("bare");

    EXPECT_EQ(resolveSdkVersion(foundation::Bundle((scratch.path() / "versioned").string())), "2.3.4");
    // No version, an empty one, a number, a damaged Info.plist, no Info.plist at all: "0.0.0".
    for (const char* name : {"empty", "number", "broken", "bare", "missing"}) {
        EXPECT_EQ(resolveSdkVersion(foundation::Bundle((scratch.path() / name).string())), "0.0.0") << name;
    }
    EXPECT_EQ(resolveSdkVersion(nullptr), "0.0.0");
}

}  // namespace
