#pragma once

#include <optional>
#include <string>
#include <vector>

#include "foundation/Bundle.h"

namespace lumora {

// The kit's own resource bundle: the folder "LumoraKit.bundle" holding the kit's Info.plist (whose
// "CFBundleShortVersionString" is the kit's version), its icons and artwork, and a "Fonts" folder for any
// font files. Every part of the kit that needs "the kit's bundle" asks `KitBundle::shared()`.
//
// The build makes the bundle in the build folder and `cmake --install` puts it under
// <prefix>/share/lumora. It is found, first match wins, at:
//   1. the folder named by the environment variable LUMORA_KIT_BUNDLE (when set and not empty);
//   2. beside the running executable: <exe folder>/LumoraKit.bundle, then <exe folder>/../share/lumora/
//      LumoraKit.bundle (an installed program, wherever the prefix was moved);
//   3. the build folder the kit was built in;
//   4. the install prefix the kit was configured with.
// A candidate counts only when it is a folder. When none is, the bundle is the install location (which does
// not exist): no version, no images.
class KitBundle {
  public:
    static constexpr const char* folderName = "LumoraKit.bundle";
    static constexpr const char* environmentVariable = "LUMORA_KIT_BUNDLE";

    // Where to look.
    struct Places {
        std::optional<std::string> environment;  // the value of LUMORA_KIT_BUNDLE
        std::string executableFolder;            // the folder of the running program
        std::string buildFolder;                 // <build>/LumoraKit.bundle
        std::string installFolder;               // <prefix>/share/lumora/LumoraKit.bundle
    };

    // The places of this process: its environment, executable and the folders the kit was built for.
    static Places currentPlaces();
    // The candidates of `places`, in the order they are tried.
    static std::vector<std::string> candidates(const Places& places);
    // The first candidate that is a folder, else nothing.
    static std::optional<std::string> locate(const Places& places);

    // The kit's bundle, found once (thread-safe) and shared.
    static const foundation::Bundle& shared();
};

}  // namespace lumora
