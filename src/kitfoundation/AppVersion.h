#pragma once

#include <string>
#include <string_view>

namespace lumora {

// The host application's version, from the main bundle's "CFBundleShortVersionString".
struct AppVersion {
    int major = 0;
    int minor = 0;
    int patch = 0;

    // "major.minor.patch".
    std::string text() const;

    // Read once per process from the main bundle; 0.0.0 when the value is missing or not text.
    static const AppVersion& current();

    // The numbers of a version text, leniently: blanks around the text are ignored; the text is split
    // at "."; each of the first three parts gives the number its leading digits spell ("3-beta" is 3), and
    // a part without leading digits, a part beyond `int`, or a missing part gives 0. So "1.2" is 1.2.0,
    // "1.2.3-beta" is 1.2.3, "1.2.3.4" is 1.2.3 and "garbage" is 0.0.0.
    static AppVersion parse(std::string_view text);

    friend bool operator==(const AppVersion&, const AppVersion&) = default;
};

}  // namespace lumora
