#pragma once

#include <expected>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "coregraphics/CGFont.h"
#include "foundation/Error.h"
#include "uikit/UIGeometry.h"

namespace uikit {

// A font as a value: face name, family, point size, weight and whether digits are monospaced. Metrics and
// text are measured by the font engine (coregraphics/FontEngine.h: pango over fontconfig), which also draws
// the text, so layout and pixels agree. The system font is DejaVu Sans: regular and medium weights show its
// Book face, semibold and heavier its Bold face. Registered font files are used for their faces; a face
// that is not registered falls back to the system font (`namedOrSystemFont`).
//   lineHeight = ascender − descender (unrounded), leading = 0.
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

    // The platform's failable `UIFont(name:size:)`: the registered face of that name, else an installed
    // face of that PostScript name ("DejaVuSans-Bold", "DejaVuSansMono"), or nullopt when there is neither.
    // "System-…" faces are always found.
    static std::optional<UIFont> named(const std::string& name, CGFloat size);
    // `named`, falling back to the system font of `size` and `weight` when the face is not registered.
    static UIFont namedOrSystemFont(const std::string& name, CGFloat size, Weight weight = Weight::regular);

    // Registry of faces (process-wide, thread-safe). Registering a face name again keeps the first
    // registration and returns false. A face registered without a file draws with the system font's
    // shapes at its weight.
    static bool registerFont(const std::string& name, const std::string& family, Weight weight);
    // Registers a TrueType / OpenType file with the font engine (fontconfig) under its file-name stem
    // ("Fonts/Gibson-SemiBold.otf" → "Gibson-SemiBold"), the name a later `named` finds it by; its family
    // and weight are the font's own. Fails (registering nothing) for a missing or unreadable file, a file
    // that is not a font, or a face name already registered. Returns the face name.
    static std::expected<std::string, foundation::Error> registerFontFile(const std::filesystem::path& path);
    static bool isRegistered(const std::string& name);
    // Registered family names, sorted; and the face names of one family, sorted.
    static std::vector<std::string> familyNames();
    static std::vector<std::string> fontNames(const std::string& forFamilyName);
    // Forget every registered face and font file (for tests).
    static void unregisterAllFonts();

    const std::string& fontName() const { return fontName_; }
    const std::string& familyName() const { return familyName_; }
    CGFloat pointSize() const { return pointSize_; }
    Weight weight() const { return weight_; }
    bool isSystemFont() const { return familyName_ == "System"; }
    bool hasMonospacedDigits() const { return monospacedDigits_; }
    // Semibold or heavier.
    bool isBold() const { return weight_ >= Weight::semibold; }
    // The font as the font engine measures and draws it.
    coregraphics::CGFont cgFont() const;

    // The same face at another size.
    UIFont withSize(CGFloat size) const;

    CGFloat lineHeight() const;
    CGFloat ascender() const;
    // Negative: below the baseline.
    CGFloat descender() const;
    CGFloat capHeight() const;
    CGFloat xHeight() const;
    CGFloat leading() const { return 0; }

    friend bool operator==(const UIFont&, const UIFont&) = default;

  private:
    UIFont(std::string name, std::string family, CGFloat size, Weight weight, bool monospacedDigits,
           std::string engineFamily = {});

    std::string fontName_;
    std::string familyName_;
    std::string engineFamily_;  // the family the font engine draws with; empty for the system font
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
    enum class Code { fileNotFound, unreadableFile, alreadyRegistered, notAFont };
    Code code = Code::fileNotFound;
    std::string path;
    // "Font file not found: <path>", "Font file cannot be read: <path>", "Font already registered: <name>",
    // "Not a TrueType or OpenType font: <path>".
    std::string localizedDescription() const;
    std::string domain() const { return "UIFontRegistrationError"; }
};

// "System-Regular 16", for test messages.
std::ostream& operator<<(std::ostream& os, const UIFont& f);

}  // namespace uikit
