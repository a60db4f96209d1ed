#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/Error.h"
#include "foundation/PropertyList.h"
#include "foundation/URL.h"

namespace foundation {

// A folder of resources with an "Info.plist" describing it. A cheap-to-copy value: the Info.plist is read
// once when the bundle is made and shared by the copies.
//
// The main bundle is the folder named by the environment variable LUMORA_MAIN_BUNDLE when it is set and
// not empty, else the folder of the running executable. A missing Info.plist gives an empty dictionary;
// an unreadable one gives an empty dictionary too, with the reason in `infoPlistError()`.
class Bundle {
  public:
    explicit Bundle(std::string path);

    // Resolved once, on first use.
    static const Bundle& main();
    // Resolves the main bundle again on its next use (tests that change LUMORA_MAIN_BUNDLE).
    static void resetMainForTesting();

    const std::string& bundlePath() const;
    URL bundleURL() const;
    // "CFBundleIdentifier" when it is text.
    std::optional<std::string> bundleIdentifier() const;
    const PropertyList::Dictionary& infoDictionary() const;
    // A value of the Info.plist.
    const PropertyList* object(std::string_view key) const;
    const std::optional<Error>& infoPlistError() const;

    // The file `name` + "." + `extension` (just `name` when the extension is empty) in the bundle folder or
    // its "Resources" folder; nothing when there is no such file or the name tries to leave the bundle
    // ("..", an absolute path).
    std::optional<URL> url(std::string_view name, std::string_view extension) const;
    std::optional<std::string> path(std::string_view name, std::string_view type) const;

    friend bool operator==(const Bundle& a, const Bundle& b) { return a.bundlePath() == b.bundlePath(); }

  private:
    struct Contents;
    std::shared_ptr<const Contents> contents_;
};

}  // namespace foundation
