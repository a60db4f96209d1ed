#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "dispatch/testing/TemporaryFolder.h"
#include "kitfoundation/KitBundle.h"
#include "ui/KitFonts.h"

namespace {

using namespace lumora;
namespace fs = std::filesystem;
using uikit::UIFont;

// Leaves the process's font registry as it found it: empty of the faces a test registers.
class FontRegistryScope {
  public:
    FontRegistryScope() { UIFont::unregisterAllFonts(); }
    ~FontRegistryScope() { UIFont::unregisterAllFonts(); }
};

TEST(KitFontsTest, GibsonFallsBackToTheSystemFaceOfTheSameSizeAndWeight) {
    FontRegistryScope registry;
    EXPECT_EQ(gibsonFont(16, UIFont::Weight::regular), UIFont::systemFont(16, UIFont::Weight::regular));
    EXPECT_EQ(gibsonFont(26, UIFont::Weight::semibold), UIFont::systemFont(26, UIFont::Weight::semibold));
    EXPECT_EQ(gibsonFont(12, UIFont::Weight::light), UIFont::systemFont(12, UIFont::Weight::light));
}

TEST(KitFontsTest, FaceNamesFollowTheNearestWeight) {
    EXPECT_EQ(gibsonFaceName(UIFont::Weight::ultraLight), "Gibson-Light");
    EXPECT_EQ(gibsonFaceName(UIFont::Weight::light), "Gibson-Light");
    EXPECT_EQ(gibsonFaceName(UIFont::Weight::regular), "Gibson-Regular");
    EXPECT_EQ(gibsonFaceName(UIFont::Weight::medium), "Gibson-Medium");
    EXPECT_EQ(gibsonFaceName(UIFont::Weight::semibold), "Gibson-SemiBold");
    EXPECT_EQ(gibsonFaceName(UIFont::Weight::bold), "Gibson-Bold");
    EXPECT_EQ(gibsonFaceName(UIFont::Weight::black), "Gibson-Bold");
}

TEST(KitFontsTest, TheKitsBundleHoldsNoFontsAndLoadingThemIsHarmless) {
    FontRegistryScope registry;
    EXPECT_TRUE(loadAllFonts().empty());
    EXPECT_TRUE(loadAllFonts().empty());  // again
    EXPECT_EQ(gibsonFont(16, UIFont::Weight::regular), UIFont::systemFont(16, UIFont::Weight::regular));
    // A bundle that does not exist holds no fonts either.
    EXPECT_TRUE(loadAllFonts(foundation::Bundle("/nonexistent/LumoraKit.bundle")).empty());
}

TEST(KitFontsTest, RegistersTheFontFilesOfABundleAndSkipsTheRest) {
    FontRegistryScope registry;
    const dispatch::testing::TemporaryFolder scratch("kitfonts");
    const fs::path& root = scratch.path();
    fs::create_directories(root / "Fonts" / "Gibson-Bold.otf");  // a folder with a font's name
    const fs::path fontFile = fs::path(LUMORA_TEST_FONT_FILE);
    fs::copy_file(fontFile, root / "Fonts" / ("Gibson-Regular" + fontFile.extension().string()),
                  fs::copy_options::overwrite_existing);
    std::ofstream(root / "Fonts" / "README.txt") << "not a font";
    std::ofstream(root / "Info.plist") << "<plist><dict/></plist>";

    const foundation::Bundle bundle(root.string());
    const auto faces = loadAllFonts(bundle);
    ASSERT_EQ(faces.size(), 1u);
    EXPECT_TRUE(UIFont::isRegistered(faces.front()));
    EXPECT_EQ(gibsonFont(16, UIFont::Weight::regular).fontName(), "Gibson-Regular");
    EXPECT_EQ(gibsonFont(16, UIFont::Weight::regular).pointSize(), 16);
    // The other weights are not there: the system face.
    EXPECT_EQ(gibsonFont(16, UIFont::Weight::bold), UIFont::systemFont(16, UIFont::Weight::bold));
    // Loading again keeps the faces registered and reports them again.
    EXPECT_EQ(loadAllFonts(bundle), faces);
}

}  // namespace
