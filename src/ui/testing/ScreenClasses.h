#pragma once

// The screen classes the kit's screens are tested on: a phone on its side as small as they come (the screen
// of the first goldens), a phone in portrait and in landscape, and a tablet both ways, each with the unsafe
// edges of its screen; and a scope that makes the main screen one of them. Header-only.
//
//   class MyTest : public ::testing::TestWithParam<lumora::testing::ScreenClass> { ... };
//   INSTANTIATE_TEST_SUITE_P(EveryScreen, MyTest, ::testing::ValuesIn(lumora::testing::screens::all()),
//                            lumora::testing::screens::name);
//   EXPECT_SNAPSHOT(*window, GetParam().golden("login_filled"));   // "login_filled_phone_portrait"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "ui/testing/DeviceScope.h"
#include "uikit/UIEdgeInsets.h"
#include "uikit/UITraitCollection.h"
#include "uikit/UIWindow.h"

namespace lumora::testing {

// A device held one way: its screen in points, its idiom, its scale and the edges of the screen a window keeps
// clear (sensor housing, home indicator, status bar).
struct ScreenClass {
    const char* name = "";  // in test names and golden names
    uikit::CGFloat width = 0;
    uikit::CGFloat height = 0;
    uikit::UIUserInterfaceIdiom idiom = uikit::UIUserInterfaceIdiom::phone;
    uikit::UIEdgeInsets safeArea;
    uikit::CGFloat scale = 3;

    bool isPortrait() const { return height > width; }
    bool isLandscape() const { return width > height; }
    bool isTablet() const { return idiom == uikit::UIUserInterfaceIdiom::pad; }
    bool isPhone() const { return idiom == uikit::UIUserInterfaceIdiom::phone; }
    // The same device turned a quarter: sides swapped, the unsafe edges where they go on that device.
    ScreenClass rotated() const;
    // The suffix of a golden's name: nothing on the screen a test's first golden was made on (`original`).
    std::string goldenSuffix(const ScreenClass& original) const;
    std::string goldenSuffix() const;
    // The golden of `picture` on this screen class: the picture's own name on the first goldens' screen.
    std::string golden(const std::string& picture) const { return picture + goldenSuffix(); }

    friend std::ostream& operator<<(std::ostream& os, const ScreenClass& screen) { return os << screen.name; }
};

namespace screens {

// A small phone on its side, no unsafe edges: the screen of the first goldens.
inline const ScreenClass smallPhoneLandscape{
    "small_phone_landscape", 640, 360, uikit::UIUserInterfaceIdiom::phone, {}, 1};
// A phone with a sensor housing and a home indicator, upright and on its side.
inline const ScreenClass phonePortrait{"phone_portrait", 390, 844, uikit::UIUserInterfaceIdiom::phone,
                                       {47, 0, 34, 0},   3};
inline const ScreenClass phoneLandscape{"phone_landscape", 844, 390, uikit::UIUserInterfaceIdiom::phone,
                                        {0, 47, 21, 47},   3};
// Tablets: one with a home button on its side (the status bar only), one without held upright.
inline const ScreenClass tabletLandscape{"tablet_landscape", 1024, 768, uikit::UIUserInterfaceIdiom::pad,
                                         {20, 0, 0, 0},      2};
inline const ScreenClass tabletPortrait{"tablet_portrait", 820, 1180, uikit::UIUserInterfaceIdiom::pad,
                                        {24, 0, 20, 0},    2};

// Every screen class, the first goldens' one first.
inline const std::vector<ScreenClass>& all() {
    static const std::vector<ScreenClass> every{smallPhoneLandscape, phonePortrait, phoneLandscape, tabletLandscape,
                                                tabletPortrait};
    return every;
}

// The name of a parametrised test on a screen class.
inline std::string name(const ::testing::TestParamInfo<ScreenClass>& info) {
    return info.param.name;
}

}  // namespace screens

inline ScreenClass ScreenClass::rotated() const {
    ScreenClass turned = *this;
    turned.width = height;
    turned.height = width;
    if (idiom == uikit::UIUserInterfaceIdiom::phone && safeArea != uikit::UIEdgeInsets{}) {
        turned.safeArea = isPortrait() ? screens::phoneLandscape.safeArea : screens::phonePortrait.safeArea;
    }
    return turned;
}

inline std::string ScreenClass::goldenSuffix(const ScreenClass& original) const {
    return std::string(name) == original.name ? std::string() : "_" + std::string(name);
}

inline std::string ScreenClass::goldenSuffix() const {
    return goldenSuffix(screens::smallPhoneLandscape);
}

// Makes the main screen `screen` for the life of the scope; `show` gives a window its size and unsafe
// edges, and `turn` rotates the device with the window on it.
class ScreenClassScope {
  public:
    explicit ScreenClassScope(const ScreenClass& screen)
        : screen_(screen), device_(screen.width, screen.height, screen.idiom, screen.scale) {}

    const ScreenClass& screen() const { return screen_; }

    // The window fills the screen and keeps clear of its unsafe edges.
    void show(uikit::UIWindow& window) const {
        window.setFrame(uikit::CGRect(0, 0, screen_.width, screen_.height));
        window.setSafeAreaInsets(screen_.safeArea);
    }
    // The device turned a quarter, the screen and `window` with it.
    void turn(uikit::UIWindow& window) {
        screen_ = screen_.rotated();
        device_.screen()->setBounds(uikit::CGRect(0, 0, screen_.width, screen_.height));
        show(window);
    }

  private:
    ScreenClass screen_;
    DeviceScope device_;
};

}  // namespace lumora::testing
