#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "coregraphics/CGContext.h"
#include "coregraphics/FontEngine.h"
#include "uikit/NSStringDrawing.h"
#include "uikit/UIColor.h"
#include "uikit/UIFont.h"

using namespace uikit;

TEST(UIColorValueTest, ComponentsNamedColoursAndEquality) {
    const UIColor grey(0.8, 1.0);
    CGFloat r = -1, g = -1, b = -1, a = -1;
    EXPECT_TRUE(grey.getRedGreen(&r, &g, &b, &a));
    EXPECT_EQ(r, 0.8);
    EXPECT_EQ(g, 0.8);
    EXPECT_EQ(b, 0.8);
    EXPECT_EQ(a, 1.0);
    CGFloat w = 0;
    EXPECT_TRUE(grey.getWhiteAlpha(&w, nullptr));
    EXPECT_EQ(w, 0.8);
    EXPECT_FALSE(UIColor::red().getWhiteAlpha(&w, &a));
    EXPECT_TRUE(UIColor::red().getRedGreen(nullptr, nullptr, nullptr, nullptr));  // null outputs are skipped

    const UIColor lightGrey(210 / 255.0, 210 / 255.0, 219 / 255.0, 1);
    EXPECT_EQ(lightGrey.withAlphaComponent(0.5).components(),
              (UIColor::Components{210 / 255.0, 210 / 255.0, 219 / 255.0, 0.5}));
    EXPECT_EQ(UIColor::white().withAlphaComponent(0.15).alpha(), 0.15);

    EXPECT_EQ(UIColor::white(), UIColor(1, 1, 1, 1));
    EXPECT_EQ(UIColor::clear(), UIColor(0, 0, 0, 0));
    EXPECT_NE(UIColor::black(), UIColor::clear());
    EXPECT_EQ(UIColor::gray(), UIColor(0.5, 1));
    EXPECT_EQ(UIColor(), UIColor::black());
    EXPECT_EQ(UIColor::systemBlue().cgColor(), (coregraphics::CGColor{0, 122 / 255.0, 1, 1}));
    EXPECT_EQ(UIColor(UIColor::orange().cgColor()), UIColor::orange());
}

TEST(UIColorValueTest, SetFillAndStrokeReachOnlyTheCurrentContext) {
    UIColor::red().setFill();  // no context: nothing happens
    auto ctx = coregraphics::CGContext::create();
    {
        coregraphics::GraphicsContextScope scope(ctx);
        UIColor::red().setFill();
        UIColor::blue().setStroke();
    }
    EXPECT_EQ(ctx->fillColor(), UIColor::red().cgColor());
    EXPECT_EQ(ctx->strokeColor(), UIColor::blue().cgColor());
    EXPECT_EQ(ctx->commands().size(), 2u);
}

class UIFontRegistryTest : public ::testing::Test {
  protected:
    void SetUp() override { UIFont::unregisterAllFonts(); }
    void TearDown() override {
        UIFont::unregisterAllFonts();
        std::filesystem::remove_all(dir_);
    }
    std::filesystem::path makeFile(const std::string& name) {
        std::filesystem::create_directories(dir_);
        const auto path = dir_ / name;
        std::ofstream(path) << "font bytes";
        return path;
    }
    // A copy of one of the fonts that come with the system faces (fonts-dejavu-core) under another name.
    std::filesystem::path copyFont(const std::string& installed, const std::string& name) {
        const auto system = coregraphics::FontEngine::shared().face("DejaVuSans");
        EXPECT_TRUE(system.has_value()) << "fonts-dejavu-core is required";
        const auto source = system ? system->file.parent_path() / installed : std::filesystem::path(installed);
        std::filesystem::create_directories(dir_);
        std::filesystem::copy_file(source, dir_ / name, std::filesystem::copy_options::overwrite_existing);
        return dir_ / name;
    }
    // One folder per process: ctest runs tests of this fixture in parallel processes.
    std::filesystem::path dir_ =
        std::filesystem::temp_directory_path() / ("lumora-font-test-" + std::to_string(::getpid()));
};

TEST_F(UIFontRegistryTest, SystemFontsAndWeights) {
    const UIFont regular = UIFont::systemFont(16, UIFont::Weight::regular);
    EXPECT_EQ(regular.fontName(), "System-Regular");
    EXPECT_EQ(regular.familyName(), "System");
    EXPECT_EQ(regular.pointSize(), 16);
    EXPECT_FALSE(regular.isBold());
    EXPECT_EQ(UIFont::boldSystemFont(16).weight(), UIFont::Weight::bold);
    EXPECT_TRUE(UIFont::boldSystemFont(16).isBold());
    EXPECT_EQ(UIFont::systemFont(25, UIFont::Weight::semibold).fontName(), "System-Semibold");
    EXPECT_EQ(UIFont::Weight::medium.rawValue, 0.23);
    EXPECT_LT(UIFont::Weight::ultraLight, UIFont::Weight::black);

    const UIFont mono = UIFont::monospacedDigitSystemFont(16, UIFont::Weight::regular);
    EXPECT_TRUE(mono.hasMonospacedDigits());
    EXPECT_EQ(mono.fontName(), "System-Regular-MonospacedDigits");
    EXPECT_NE(mono, regular);
    // System faces are found by name, with their traits.
    EXPECT_EQ(UIFont::named("System-Regular-MonospacedDigits", 16), mono);
    EXPECT_EQ(UIFont::named("System-Bold", 12), UIFont::boldSystemFont(12));
    EXPECT_EQ(regular.cgFont().weight, 400);
    EXPECT_EQ(UIFont::systemFont(16, UIFont::Weight::semibold).cgFont().weight, 600);
    EXPECT_TRUE(mono.cgFont().monospacedDigits);

    // Metrics of the system face (DejaVu Sans), unrounded and proportional to the size.
    EXPECT_NEAR(regular.lineHeight(), 18.6, 0.1);
    EXPECT_DOUBLE_EQ(regular.ascender() - regular.descender(), regular.lineHeight());
    EXPECT_LT(regular.descender(), 0);
    EXPECT_GT(regular.ascender(), regular.capHeight());
    EXPECT_GT(regular.capHeight(), regular.xHeight());
    EXPECT_NEAR(UIFont::systemFont(32).lineHeight(), 2 * regular.lineHeight(), 1e-2);
    EXPECT_EQ(regular.leading(), 0);
    EXPECT_EQ(UIFont::systemFont(-3).pointSize(), 0);
    EXPECT_EQ(UIFont::systemFont(NAN).pointSize(), 0);
    EXPECT_EQ(UIFont::systemFont(0).lineHeight(), 0);
    EXPECT_EQ(regular.withSize(18).pointSize(), 18);
}

TEST_F(UIFontRegistryTest, RegisteredFilesAreFoundByNameOthersFallBack) {
    EXPECT_EQ(UIFont::named("Gibson-Regular", 16), std::nullopt);
    EXPECT_EQ(UIFont::namedOrSystemFont("Gibson-Regular", 16, UIFont::Weight::medium),
              UIFont::systemFont(16, UIFont::Weight::medium));

    const auto regular = UIFont::registerFontFile(copyFont("DejaVuSerif.ttf", "Kit-Regular.ttf"));
    ASSERT_TRUE(regular.has_value()) << regular.error().localizedDescription();
    EXPECT_EQ(*regular, "Kit-Regular");
    ASSERT_TRUE(UIFont::registerFontFile(copyFont("DejaVuSerif-Bold.ttf", "Kit-SemiBold.otf")).has_value());

    // The family and weight are the font's own.
    const auto semibold = UIFont::named("Kit-SemiBold", 18);
    ASSERT_TRUE(semibold.has_value());
    EXPECT_EQ(semibold->familyName(), "DejaVu Serif");
    EXPECT_EQ(semibold->weight(), UIFont::Weight::bold);
    EXPECT_EQ(semibold->pointSize(), 18);
    EXPECT_EQ(semibold->cgFont().family, "DejaVu Serif");
    EXPECT_EQ(UIFont::named("Kit-Regular", 16)->weight(), UIFont::Weight::regular);
    EXPECT_EQ(UIFont::familyNames(), (std::vector<std::string>{"DejaVu Serif"}));
    EXPECT_EQ(UIFont::fontNames("DejaVu Serif"), (std::vector<std::string>{"Kit-Regular", "Kit-SemiBold"}));

    // The face is really used: it measures and draws unlike the system font, and by the same engine.
    const UIFont kit = *UIFont::named("Kit-Regular", 16);
    EXPECT_NE(TextMetrics::width("Welcome back", kit), TextMetrics::width("Welcome back", UIFont::systemFont(16)));

    // Installed faces are found by their PostScript names.
    ASSERT_TRUE(UIFont::named("DejaVuSansMono", 12).has_value());
    EXPECT_EQ(UIFont::named("DejaVuSansMono", 12)->familyName(), "DejaVu Sans Mono");
    EXPECT_EQ(TextMetrics::width("iiii", *UIFont::named("DejaVuSansMono", 12)),
              TextMetrics::width("MMMM", *UIFont::named("DejaVuSansMono", 12)));

    // A second registration keeps the first and reports it.
    const auto again = UIFont::registerFontFile(copyFont("DejaVuSerif.ttf", "Kit-Regular.ttf"));
    ASSERT_FALSE(again.has_value());
    EXPECT_EQ(again.error().localizedDescription(), "Font already registered: Kit-Regular");
    EXPECT_FALSE(UIFont::registerFont("System-Bold", "Other", UIFont::Weight::black));
    EXPECT_TRUE(UIFont::registerFont("Plain", "", UIFont::Weight::regular));
    EXPECT_EQ(UIFont::named("Plain", 10)->familyName(), "Plain");
    // A face without a file draws with the system font's shapes.
    EXPECT_EQ(TextMetrics::width("Plain", *UIFont::named("Plain", 10)),
              TextMetrics::width("Plain", UIFont::systemFont(10)));
}

TEST_F(UIFontRegistryTest, BadFontFilesGiveClearErrorsAndRegisterNothing) {
    const auto missing = UIFont::registerFontFile(dir_ / "Nope-Bold.ttf");
    ASSERT_FALSE(missing.has_value());
    const auto* error = missing.error().as<UIFontRegistrationError>();
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->code, UIFontRegistrationError::Code::fileNotFound);
    EXPECT_EQ(missing.error().localizedDescription(), "Font file not found: " + (dir_ / "Nope-Bold.ttf").string());

    std::filesystem::create_directories(dir_ / "Folder-Bold.ttf");
    const auto folder = UIFont::registerFontFile(dir_ / "Folder-Bold.ttf");
    ASSERT_FALSE(folder.has_value());
    EXPECT_EQ(folder.error().as<UIFontRegistrationError>()->code, UIFontRegistrationError::Code::unreadableFile);

    const auto fake = UIFont::registerFontFile(makeFile("Gibson-Light.otf"));
    ASSERT_FALSE(fake.has_value());
    EXPECT_EQ(fake.error().as<UIFontRegistrationError>()->code, UIFontRegistrationError::Code::notAFont);
    EXPECT_EQ(fake.error().localizedDescription(),
              "Not a TrueType or OpenType font: " + (dir_ / "Gibson-Light.otf").string());
    EXPECT_TRUE(UIFont::familyNames().empty());
    EXPECT_FALSE(UIFont::isRegistered("Nope-Bold"));
    EXPECT_FALSE(UIFont::isRegistered("Gibson-Light"));
    EXPECT_EQ(UIFont::namedOrSystemFont("Gibson-Light", 16, UIFont::Weight::light),
              UIFont::systemFont(16, UIFont::Weight::light));
}
