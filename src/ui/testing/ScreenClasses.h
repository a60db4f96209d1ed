#pragma once

// The screen classes the kit's screens are tested on: a phone on its side as small as they come (the
// player's tests have always used it), a phone in portrait and in landscape, and a tablet both ways.
//
//   class MyTest : public ::testing::TestWithParam<lumora::testing::ScreenClass> { ... };
//   INSTANTIATE_TEST_SUITE_P(EveryScreen, MyTest, ::testing::ValuesIn(lumora::testing::screenClasses()),
//                            lumora::testing::screenClassName);
//   // in SetUp: device.emplace(GetParam().width, GetParam().height, GetParam().idiom, GetParam().scale);
//   EXPECT_SNAPSHOT(*window, GetParam().golden("login_filled"));   // "login_filled_phone_390x844"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "uikit/UIGeometry.h"
#include "uikit/UITraitCollection.h"

namespace lumora::testing {

struct ScreenClass {
    std::string name;  // "phone_390x844": the device and its size in points
    uikit::CGFloat width = 0;
    uikit::CGFloat height = 0;
    uikit::UIUserInterfaceIdiom idiom = uikit::UIUserInterfaceIdiom::phone;
    uikit::CGFloat scale = 1;

    bool isPhone() const { return idiom == uikit::UIUserInterfaceIdiom::phone; }
    bool isLandscape() const { return width > height; }
    // The golden of `picture` on this screen class.
    std::string golden(const std::string& picture) const { return picture + "_" + name; }
};

inline std::ostream& operator<<(std::ostream& os, const ScreenClass& screen) {
    return os << screen.name;
}

inline const std::vector<ScreenClass>& screenClasses() {
    static const std::vector<ScreenClass> classes = {
        {"phone_640x360", 640, 360, uikit::UIUserInterfaceIdiom::phone, 1},
        {"phone_390x844", 390, 844, uikit::UIUserInterfaceIdiom::phone, 3},
        {"phone_844x390", 844, 390, uikit::UIUserInterfaceIdiom::phone, 3},
        {"tablet_1024x768", 1024, 768, uikit::UIUserInterfaceIdiom::pad, 2},
        {"tablet_820x1180", 820, 1180, uikit::UIUserInterfaceIdiom::pad, 2},
    };
    return classes;
}

inline std::string screenClassName(const ::testing::TestParamInfo<ScreenClass>& info) {
    return info.param.name;
}

}  // namespace lumora::testing
