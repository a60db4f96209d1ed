#pragma once

#include <expected>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "foundation/Error.h"
#include "uikit/UIGeometry.h"

namespace uikit {

// A font as a value: face name, family, point size, weight and whether digits are monospaced.
// There is no glyph data; metrics follow fixed rules so that text lays out the same everywhere:
//   lineHeight  = ceil(1.2 × pointSize)
//   descender   = −0.25 × pointSize
//   ascender    = lineHeight + descender        (so ascender − descender = lineHeight)
//   capHeight   = 0.7 × pointSize,  xHeight = 0.5 × pointSize,  leading = 0
// Character advances are described in uikit/NSStringDrawing.h (TextMetrics).
class UIFont {
  public:
    // The platform's weight scale.
    struct Weight {
        CGFloat rawValue = 0;
        static const Weight ultraLight;  // −0.8
        static const Weight thin;        // −0.6
        static const Weight light;       // −0.4
        static const Weight regular;     //  0
        static const Weight medium;      //  0.23
        static const Weight semibold;    //  0.3
        static const Weight bold;        //  0.4
        static const Weight heavy;       //  0.56
        static const Weight black;       //  0.62
        friend constexpr auto operator<=>(const Weight&, const Weight&) = default;
    };

    // The system font of the given size and weight: family "System", face "System-<WeightName>"
    // (e.g. "System-Regular", "System-Semibold"). Sizes that are negative or not finite become 0.
    static UIFont systemFont(CGFloat ofSize, Weight weight);
    static UIFont systemFont(CGFloat ofSize);
    static UIFont boldSystemFont(CGFloat ofSize);
    // The system font whose digits all take the same advance (face "System-<WeightName>-MonospacedDigits").
    static UIFont monospacedDigitSystemFont(CGFloat ofSize, Weight weight);
    // Platform default sizes: system 14, label 17, button 18.
    static CGFloat systemFontSize() { return 14; }
    static CGFloat labelFontSize() { return 17; }
    static CGFloat buttonFontSize() { return 18; }

    // The platform's failable `UIFont(name:size:)`: the registered face of that name, or nullopt when no
    // such face is registered. "System-…" faces are always found.
    static std::optional<UIFont> named(const std::string& name, CGFloat size);
    // `named`, falling back to the system font of `size` and `weight` when the face is not registered.
    static UIFont namedOrSystemFont(const std::string& name, CGFloat size, Weight weight = Weight::regular);

    // Registry of faces (process-wide, thread-safe). Registering a face name again keeps the first
    // registration and returns false.
    static bool registerFont(const std::string& name, const std::string& family, Weight weight);
    // Registers a font file by its file-name stem ("Fonts/Gibson-SemiBold.otf" → "Gibson-SemiBold"). The
    // file is not parsed; it must exist and be a readable regular file. The family is the stem up to
    // the first '-' and the weight comes from the rest ("Light", "Regular", "Medium", "SemiBold",
    // "Bold", ... case-insensitive; anything else is regular). Returns the face name.
    static std::expected<std::string, foundation::Error> registerFontFile(const std::filesystem::path& path);
    static bool isRegistered(const std::string& name);
    // Registered family names, sorted; and the face names of one family, sorted.
    static std::vector<std::string> familyNames();
    static std::vector<std::string> fontNames(const std::string& forFamilyName);
    // Forget every registered face (for tests).
    static void unregisterAllFonts();

    const std::string& fontName() const { return fontName_; }
    const std::string& familyName() const { return familyName_; }
    CGFloat pointSize() const { return pointSize_; }
    Weight weight() const { return weight_; }
    bool isSystemFont() const { return familyName_ == "System"; }
    bool hasMonospacedDigits() const { return monospacedDigits_; }
    // "Bold" for the text metrics: semibold or heavier.
    bool isBold() const { return weight_ >= Weight::semibold; }

    // The same face at another size.
    UIFont withSize(CGFloat size) const;

    CGFloat lineHeight() const;
    CGFloat ascender() const;
    CGFloat descender() const;
    CGFloat capHeight() const;
    CGFloat xHeight() const;
    CGFloat leading() const { return 0; }

    friend bool operator==(const UIFont&, const UIFont&) = default;

  private:
    UIFont(std::string name, std::string family, CGFloat size, Weight weight, bool monospacedDigits);

    std::string fontName_;
    std::string familyName_;
    CGFloat pointSize_ = 0;
    Weight weight_;
    bool monospacedDigits_ = false;
};

inline constexpr UIFont::Weight UIFont::Weight::ultraLight{-0.8};
inline constexpr UIFont::Weight UIFont::Weight::thin{-0.6};
inline constexpr UIFont::Weight UIFont::Weight::light{-0.4};
inline constexpr UIFont::Weight UIFont::Weight::regular{0.0};
inline constexpr UIFont::Weight UIFont::Weight::medium{0.23};
inline constexpr UIFont::Weight UIFont::Weight::semibold{0.3};
inline constexpr UIFont::Weight UIFont::Weight::bold{0.4};
inline constexpr UIFont::Weight UIFont::Weight::heavy{0.56};
inline constexpr UIFont::Weight UIFont::Weight::black{0.62};

// Why registering a font file failed.
struct UIFontRegistrationError {
    enum class Code { fileNotFound, unreadableFile, alreadyRegistered };
    Code code = Code::fileNotFound;
    std::string path;
    // "Font file not found: <path>", "Font file cannot be read: <path>", "Font already registered: <name>".
    std::string localizedDescription() const;
    std::string domain() const { return "UIFontRegistrationError"; }
};

// "System-Regular 16", for test messages.
std::ostream& operator<<(std::ostream& os, const UIFont& f);

}  // namespace uikit
