#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "coregraphics/CGFont.h"

namespace coregraphics {

namespace detail {
struct TextRenderer;
}

// A face the engine can use: from a registered font file, or one of the system faces.
struct FontFace {
    std::string family;
    int weight = 400;  // OpenType weight class
    std::string postScriptName;
    std::filesystem::path file;

    friend bool operator==(const FontFace&, const FontFace&) = default;
};

// The one font engine of the process: pango shaping over fontconfig, drawing with cairo. Text is measured
// and drawn by the same engine with the same settings, so what layout measures is what is drawn.
//
// Determinism: the engine sees only the fonts it is given, never the machine's whole font collection. At start
// it asks the system's fontconfig for DejaVu Sans and DejaVu Sans Mono (regular and bold; Debian package
// `fonts-dejavu-core`) and builds its own fontconfig configuration from those files alone; files registered
// later join them. Glyphs are unhinted, metrics unhinted and glyph positions unrounded, anti-aliased in grey:
// the same text measures and draws the same on every machine with the same packages. Characters the
// fonts lack show as boxes (no fallback to other installed fonts). Without the DejaVu files, text still
// measures and draws, in whatever face fontconfig gives.
//
// Thread-safe: one lock guards pango and fontconfig, which are not safe to share between threads; results
// are cached (metrics by font; widths and shaped lines by font, spacing and text), so measuring or drawing the
// same text again does not shape it again. Each cache is bounded and forgets the least recently used entry
// first (50,000 widths, 2,000 shaped lines, 512 fonts), so a screen with more text than that still finds what
// it measured last.
class FontEngine {
  public:
    static constexpr const char* kSystemFamily = "DejaVu Sans";
    static constexpr const char* kMonospacedFamily = "DejaVu Sans Mono";

    static FontEngine& shared();

    CGFontMetrics metrics(const CGFont& font);
    // The advance of `text` on one line, white space included, with `kern` points of extra space after every
    // character. Malformed UTF-8 measures as replacement characters. Empty text measures 0.
    CGFloat width(std::string_view text, const CGFont& font, CGFloat kern = 0);
    // Where one paragraph breaks into lines of at most `width` points: the byte offset at which each line
    // starts (the first is 0; the white space at a break stays at the end of the line before). Lines break
    // between words (Unicode line-breaking rules), inside a word only when it alone is wider than a line, and
    // anywhere when `byCharacter`. At least one character goes on each line.
    std::vector<std::size_t> lineStarts(std::string_view paragraph, const CGFont& font, CGFloat kern, CGFloat width,
                                        bool byCharacter);

    // What the engine has done since the process started: width look-ups (answered from the cache or not),
    // lines shaped by pango to measure or draw them, and paragraphs broken into lines. Shaping and breaking
    // are the costly part; tests count them.
    struct Statistics {
        std::uint64_t widthLookups = 0;
        std::uint64_t linesShaped = 0;
        std::uint64_t paragraphsBroken = 0;
    };
    Statistics statistics();

    // Adds a TrueType / OpenType file to the engine's fonts; the face it holds, or why it cannot be used.
    // Registering a file again gives its face again.
    std::expected<FontFace, std::string> registerFontFile(const std::filesystem::path& path);
    // The face of a registered file or a system face with this PostScript name ("DejaVuSans-Bold").
    std::optional<FontFace> face(const std::string& postScriptName);
    // True for the system families and those of registered files.
    bool hasFamily(const std::string& family);
    // Forgets the registered files (the system faces stay). For tests.
    void unregisterFontFiles();

  private:
    friend struct detail::TextRenderer;
    struct Impl;

    FontEngine();
    Impl* impl_;  // lives as long as the process: pango's font map is never torn down
};

}  // namespace coregraphics
