#include "coregraphics/FontEngine.h"

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <unordered_map>

#include "coregraphics/RecentlyUsed.h"
#include "coregraphics/detail/TextRenderer.h"

namespace coregraphics {

namespace {

// The files of the system faces, in the order they are added (fonts-dejavu-core).
constexpr std::array<const char*, 4> kSystemFiles = {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSansMono.ttf",
                                                     "DejaVuSansMono-Bold.ttf"};
constexpr const char* kDebianFontFolder = "/usr/share/fonts/truetype/dejavu/";

// Sizes beyond these are clamped: pango counts in 1/1024 of a point in 32-bit integers.
constexpr CGFloat kLargestSize = 4096;
constexpr CGFloat kLargestWidth = 1e6;
// Widths kept; past this many, the least recently used go first.
constexpr std::size_t kCacheLimit = 50'000;
// Shaped lines kept for drawing (each a pango layout of a few kilobytes).
constexpr std::size_t kLineCacheLimit = 2'000;
// Fonts whose pango description and metrics are kept (each size of a face is a font).
constexpr std::size_t kFontCacheLimit = 512;

CGFloat usableSize(CGFloat size) {
    return std::isfinite(size) && size > 0 ? std::min(size, kLargestSize) : 0;
}

CGFloat usableKern(CGFloat kern) {
    return std::isfinite(kern) ? std::clamp(kern, -kLargestSize, kLargestSize) : 0;
}

// Valid UTF-8 without NUL: malformed sequences and NUL become U+FFFD, so pango never refuses the text.
std::string sanitized(std::string_view text) {
    auto valid = [&](std::size_t i, std::size_t& length) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == 0) return false;
        if (c < 0x80) return length = 1, true;
        int extra = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= text.size()) return false;
        char32_t cp = c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        const char32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (cp < least[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        length = static_cast<std::size_t>(extra) + 1;
        return true;
    };
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::size_t length = 0;
        if (valid(i, length)) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

// What the engine knows a font by: the family, weight, figures and usable size (the name plays no part).
struct FontKey {
    std::string family;
    int weight = 400;
    bool monospacedDigits = false;
    CGFloat size = 0;

    explicit FontKey(const CGFont& font)
        : family(font.family),
          weight(font.weight),
          monospacedDigits(font.monospacedDigits),
          size(usableSize(font.pointSize)) {}
    friend bool operator==(const FontKey&, const FontKey&) = default;
};

std::size_t mix(std::size_t seed, std::size_t value) {
    return seed ^ (value + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2));
}

std::size_t hashOf(const FontKey& font) {
    std::size_t h = std::hash<std::string>{}(font.family);
    h = mix(h, std::hash<int>{}(font.weight * 2 + (font.monospacedDigits ? 1 : 0)));
    return mix(h, std::hash<CGFloat>{}(font.size));
}

struct FontKeyHash {
    std::size_t operator()(const FontKey& font) const { return hashOf(font); }
};

// A line of text in a font with a kern: what a width or a shaped line is kept by. Looked up without copying
// the text (`LineKeyView`).
struct LineKey {
    FontKey font;
    CGFloat kern = 0;
    std::string text;
};

struct LineKeyView {
    const FontKey& font;
    CGFloat kern;
    std::string_view text;
};

struct LineKeyHash {
    using is_transparent = void;
    std::size_t operator()(const LineKeyView& key) const {
        return mix(mix(hashOf(key.font), std::hash<CGFloat>{}(key.kern)), std::hash<std::string_view>{}(key.text));
    }
    std::size_t operator()(const LineKey& key) const { return (*this)(LineKeyView{key.font, key.kern, key.text}); }
};

struct LineKeyEqual {
    using is_transparent = void;
    static LineKeyView view(const LineKey& key) { return {key.font, key.kern, key.text}; }
    static LineKeyView view(const LineKeyView& key) { return key; }
    template <class A, class B>
    bool operator()(const A& a, const B& b) const {
        const LineKeyView x = view(a), y = view(b);
        return x.kern == y.kern && x.text == y.text && x.font == y.font;
    }
};

int toOpenTypeWeight(FcPattern* pattern) {
    double weight = FC_WEIGHT_REGULAR;
    int integer = 0;
    if (FcPatternGetDouble(pattern, FC_WEIGHT, 0, &weight) != FcResultMatch &&
        FcPatternGetInteger(pattern, FC_WEIGHT, 0, &integer) == FcResultMatch)
        weight = integer;
    return static_cast<int>(std::lround(FcWeightToOpenTypeDouble(weight)));
}

std::string patternString(FcPattern* pattern, const char* object) {
    FcChar8* value = nullptr;
    if (FcPatternGetString(pattern, object, 0, &value) != FcResultMatch || !value) return {};
    return reinterpret_cast<const char*>(value);
}

}  // namespace

struct FontEngine::Impl {
    std::mutex mutex;                   // guards everything below, and every call into pango or fontconfig
    FcConfig* config = nullptr;         // the engine's own configuration: the system files and registered ones
    PangoFontMap* fontMap = nullptr;    // over `config`
    PangoContext* context = nullptr;    // unhinted, unrounded, grey anti-aliasing
    PangoLayout* layout = nullptr;      // scratch: line breaking and metrics
    std::vector<FontFace> systemFaces;  // found at start
    std::vector<FontFace> registered;   // in registration order
    // Caches, each forgetting the least recently used entry first.
    RecentlyUsed<LineKey, PangoLayout*, LineKeyHash, LineKeyEqual> lines{
        kLineCacheLimit, [](PangoLayout*& line) { g_object_unref(line); }};  // shaped lines
    RecentlyUsed<FontKey, PangoFontDescription*, FontKeyHash> descriptions{
        kFontCacheLimit, [](PangoFontDescription*& d) { pango_font_description_free(d); }};
    RecentlyUsed<FontKey, CGFontMetrics, FontKeyHash> metrics{kFontCacheLimit};
    RecentlyUsed<LineKey, CGFloat, LineKeyHash, LineKeyEqual> widths{kCacheLimit};
    FontEngine::Statistics statistics;

    Impl() {
        config = FcConfigCreate();
        FcConfigBuildFonts(config);
        addSystemFaces();
        fontMap = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
        pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(fontMap), config);
        context = pango_font_map_create_context(fontMap);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        pango_cairo_context_set_font_options(context, options);
        cairo_font_options_destroy(options);
        pango_context_set_round_glyph_positions(context, FALSE);
        pango_context_set_base_dir(context, PANGO_DIRECTION_LTR);
        layout = pango_layout_new(context);
    }

    // Finds the system files through the machine's fontconfig (so a moved font folder is still found), then
    // adds them to the engine's configuration in a fixed order.
    void addSystemFaces() {
        std::array<std::string, kSystemFiles.size()> paths;
        if (FcConfig* system = FcInitLoadConfigAndFonts()) {
            FcPattern* pattern = FcPatternCreate();
            FcObjectSet* objects = FcObjectSetBuild(FC_FILE, nullptr);
            if (FcFontSet* set = FcFontList(system, pattern, objects)) {
                for (int i = 0; i < set->nfont; ++i) {
                    const std::string file = patternString(set->fonts[i], FC_FILE);
                    const std::string name = std::filesystem::path(file).filename().string();
                    for (std::size_t k = 0; k < kSystemFiles.size(); ++k)
                        if (name == kSystemFiles[k] && paths[k].empty()) paths[k] = file;
                }
                FcFontSetDestroy(set);
            }
            FcObjectSetDestroy(objects);
            FcPatternDestroy(pattern);
            FcConfigDestroy(system);
        }
        bool any = false;
        for (std::size_t k = 0; k < kSystemFiles.size(); ++k) {
            std::error_code ec;
            if (paths[k].empty() && std::filesystem::exists(std::string(kDebianFontFolder) + kSystemFiles[k], ec))
                paths[k] = std::string(kDebianFontFolder) + kSystemFiles[k];
            if (paths[k].empty()) continue;
            if (auto face = query(paths[k]); face && FcConfigAppFontAddFile(config, toFc(paths[k]))) {
                systemFaces.push_back(*face);
                any = true;
            }
        }
        if (!any) {
            static std::once_flag warned;
            std::call_once(warned, [] {
                std::fprintf(stderr,
                             "lumora: the DejaVu fonts (Debian package fonts-dejavu-core) were not found; text is "
                             "drawn with boxes for glyphs\n");
            });
        }
    }

    static const FcChar8* toFc(const std::string& s) { return reinterpret_cast<const FcChar8*>(s.c_str()); }

    // The first face of a font file, or nothing when fontconfig cannot read it as a font.
    static std::optional<FontFace> query(const std::filesystem::path& path) {
        int count = 0;
        FcPattern* pattern = FcFreeTypeQuery(toFc(path.string()), 0, nullptr, &count);
        if (!pattern) return std::nullopt;
        FontFace face{patternString(pattern, FC_FAMILY), toOpenTypeWeight(pattern),
                      patternString(pattern, FC_POSTSCRIPT_NAME), path};
        FcPatternDestroy(pattern);
        if (face.family.empty()) return std::nullopt;
        return face;
    }

    void configurationChanged() {
        pango_fc_font_map_config_changed(PANGO_FC_FONT_MAP(fontMap));
        pango_layout_context_changed(layout);
        metrics.clear();
        widths.clear();
        lines.clear();
    }

    // Layouts copy the description they are given, so one may be forgotten while lines made with it live on.
    PangoFontDescription* description(const FontKey& font) {
        if (auto found = descriptions.find(font)) return *found;
        PangoFontDescription* d = pango_font_description_new();
        pango_font_description_set_family(d, font.family.empty() ? kSystemFamily : font.family.c_str());
        pango_font_description_set_weight(d, static_cast<PangoWeight>(std::clamp(font.weight, 100, 1000)));
        pango_font_description_set_style(d, PANGO_STYLE_NORMAL);
        pango_font_description_set_stretch(d, PANGO_STRETCH_NORMAL);
        pango_font_description_set_absolute_size(d, font.size * PANGO_SCALE);
        return descriptions.insert(font, d);
    }

    // Sets a layout up for one line of `text` (already valid UTF-8).
    void prepare(PangoLayout* target, std::string_view text, const FontKey& font, CGFloat kern) {
        pango_layout_set_font_description(target, description(font));
        PangoAttrList* attributes = pango_attr_list_new();
        // Lines are drawn one by one from their text: a break inside a word must not count a hyphen.
        pango_attr_list_insert(attributes, pango_attr_insert_hyphens_new(FALSE));
        if (kern != 0)
            pango_attr_list_insert(attributes, pango_attr_letter_spacing_new(static_cast<int>(kern * PANGO_SCALE)));
        if (font.monospacedDigits) pango_attr_list_insert(attributes, pango_attr_font_features_new("tnum"));
        pango_layout_set_attributes(target, attributes);
        pango_attr_list_unref(attributes);
        pango_layout_set_width(target, -1);
        pango_layout_set_text(target, text.data(), static_cast<int>(text.size()));
    }

    // The line shaped once and kept: drawing a line again (every frame) does not shape it again.
    PangoLayout* line(const LineKeyView& key) {
        if (auto found = lines.find(key)) return *found;
        PangoLayout* shaped = pango_layout_new(context);
        prepare(shaped, key.text, key.font, key.kern);
        ++statistics.linesShaped;
        return lines.insert(LineKey{key.font, key.kern, std::string(key.text)}, shaped);
    }

    CGFloat measure(const std::string& text, const FontKey& font, CGFloat kern) {
        if (text.empty() || font.size == 0) return 0;
        ++statistics.widthLookups;
        const LineKeyView key{font, kern, text};
        if (auto found = widths.find(key)) return *found;
        PangoRectangle logical;
        pango_layout_get_extents(line(key), nullptr, &logical);
        // Pango spaces letters between characters; the platform's kern also follows the last one.
        const CGFloat width = static_cast<CGFloat>(logical.width) / PANGO_SCALE + kern;
        widths.insert(LineKey{font, kern, text}, width);
        return width;
    }

    // Height above the baseline of the ink of `text`.
    CGFloat inkHeight(const char* text, const FontKey& font) {
        prepare(layout, text, font, 0);
        PangoRectangle ink;
        pango_layout_get_extents(layout, &ink, nullptr);
        return static_cast<CGFloat>(pango_layout_get_baseline(layout) - ink.y) / PANGO_SCALE;
    }
};

FontEngine& FontEngine::shared() {
    static FontEngine* engine = new FontEngine();  // never destroyed: threads may measure during exit
    return *engine;
}

FontEngine::FontEngine() : impl_(new Impl()) {}

CGFontMetrics FontEngine::metrics(const CGFont& font) {
    if (usableSize(font.pointSize) == 0) return {};
    const FontKey key(font);
    std::lock_guard lock(impl_->mutex);
    if (auto found = impl_->metrics.find(key)) return *found;
    CGFontMetrics m;
    PangoFont* loaded = pango_font_map_load_font(impl_->fontMap, impl_->context, impl_->description(key));
    if (loaded) {
        PangoFontMetrics* pm = pango_font_get_metrics(loaded, nullptr);
        m.ascent = static_cast<CGFloat>(pango_font_metrics_get_ascent(pm)) / PANGO_SCALE;
        m.descent = static_cast<CGFloat>(pango_font_metrics_get_descent(pm)) / PANGO_SCALE;
        pango_font_metrics_unref(pm);
        g_object_unref(loaded);
    }
    m.lineHeight = m.ascent + m.descent;
    m.capHeight = impl_->inkHeight("H", key);
    m.xHeight = impl_->inkHeight("x", key);
    impl_->metrics.insert(key, m);
    return m;
}

CGFloat FontEngine::width(std::string_view text, const CGFont& font, CGFloat kern) {
    if (text.empty()) return 0;
    const std::string clean = sanitized(text);
    const FontKey key(font);
    std::lock_guard lock(impl_->mutex);
    return impl_->measure(clean, key, usableKern(kern));
}

std::vector<std::size_t> FontEngine::lineStarts(std::string_view paragraph, const CGFont& font, CGFloat kern,
                                                CGFloat width, bool byCharacter) {
    std::vector<std::size_t> starts{0};
    if (paragraph.empty() || usableSize(font.pointSize) == 0 || !(width > 0) || width > kLargestWidth) return starts;
    const std::string clean = sanitized(paragraph);
    const CGFloat spacing = usableKern(kern);
    std::lock_guard lock(impl_->mutex);
    Impl& impl = *impl_;
    ++impl.statistics.paragraphsBroken;
    impl.prepare(impl.layout, clean, FontKey(font), spacing);
    // The last character's kern is not part of pango's line, so it leaves room for it.
    const CGFloat room = std::max<CGFloat>(width - std::max<CGFloat>(spacing, 0), 1.0 / PANGO_SCALE);
    pango_layout_set_width(impl.layout, static_cast<int>(room * PANGO_SCALE));
    pango_layout_set_wrap(impl.layout, byCharacter ? PANGO_WRAP_CHAR : PANGO_WRAP_WORD_CHAR);
    for (GSList* line = pango_layout_get_lines_readonly(impl.layout); line; line = line->next) {
        auto start = static_cast<std::size_t>(static_cast<const PangoLayoutLine*>(line->data)->start_index);
        // White space hangs at the end of the line before: pango sometimes gives it a line of its own when
        // not even one character fits.
        while (start < clean.size() && (clean[start] == ' ' || clean[start] == '\t')) ++start;
        if (start > starts.back() && start < clean.size()) starts.push_back(start);
    }
    pango_layout_set_width(impl.layout, -1);
    return starts;
}

FontEngine::Statistics FontEngine::statistics() {
    std::lock_guard lock(impl_->mutex);
    return impl_->statistics;
}

std::expected<FontFace, std::string> FontEngine::registerFontFile(const std::filesystem::path& path) {
    std::error_code ec;
    const std::filesystem::path file = std::filesystem::weakly_canonical(path, ec);
    if (ec || !std::filesystem::is_regular_file(file, ec)) return std::unexpected("not a readable file");
    std::lock_guard lock(impl_->mutex);
    for (const FontFace& face : impl_->registered)
        if (face.file == file) return face;
    auto face = Impl::query(file);
    if (!face) return std::unexpected("not a TrueType or OpenType font");
    if (!FcConfigAppFontAddFile(impl_->config, Impl::toFc(file.string())))
        return std::unexpected("fontconfig could not add the font");
    impl_->registered.push_back(*face);
    impl_->configurationChanged();
    return *face;
}

std::optional<FontFace> FontEngine::face(const std::string& postScriptName) {
    if (postScriptName.empty()) return std::nullopt;
    std::lock_guard lock(impl_->mutex);
    for (const auto* faces : {&impl_->registered, &impl_->systemFaces})
        for (const FontFace& face : *faces)
            if (face.postScriptName == postScriptName) return face;
    return std::nullopt;
}

bool FontEngine::hasFamily(const std::string& family) {
    std::lock_guard lock(impl_->mutex);
    for (const auto* faces : {&impl_->registered, &impl_->systemFaces})
        for (const FontFace& face : *faces)
            if (face.family == family) return true;
    return false;
}

void FontEngine::unregisterFontFiles() {
    std::lock_guard lock(impl_->mutex);
    if (impl_->registered.empty()) return;
    impl_->registered.clear();
    // fontconfig forgets added files all at once: the system faces are added again.
    FcConfigAppFontClear(impl_->config);
    impl_->systemFaces.clear();
    impl_->addSystemFaces();
    impl_->configurationChanged();
}

void detail::TextRenderer::drawLine(cairo_t* cr, std::string_view text, const CGFont& font, CGFloat kern, CGFloat x,
                                    CGFloat y, const CGColor& color, CGFloat alpha) {
    if (text.empty() || usableSize(font.pointSize) == 0) return;
    const std::string clean = sanitized(text);
    FontEngine::Impl& impl = *FontEngine::shared().impl_;
    const CGFloat spacing = usableKern(kern);
    const FontKey key(font);
    std::lock_guard lock(impl.mutex);
    PangoLayout* shaped = impl.line(LineKeyView{key, spacing, clean});
    PangoLayoutLine* line = pango_layout_get_line_readonly(shaped, 0);
    if (!line) return;
    auto unit = [](CGFloat v) { return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0; };
    cairo_set_source_rgba(cr, unit(color.red), unit(color.green), unit(color.blue), unit(color.alpha) * unit(alpha));
    cairo_new_path(cr);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout_line(cr, line);
}

}  // namespace coregraphics

#if defined(__SANITIZE_THREAD__)
// Pango matches fonts on a worker thread of its own and hands the result over with GLib's futex-based locks,
// which the race detector does not see; the engine's own lock orders every call into pango and fontconfig.
// A process has one list, so it also carries the local back end's line (its HTTP library is not instrumented)
// for the test programs that draw and serve at once; the back end's own definition is weak and gives way.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libfontconfig.so\nrace:libpango-1.0.so\nrace:libpangoft2-1.0.so\nrace:libglib-2.0.so\n"
           "called_from_lib:libcpp-httplib.so\n";
}
#endif

#if defined(__SANITIZE_ADDRESS__)
// Fontconfig keeps the values of its patterns behind offset-encoded pointers, which the leak checker cannot
// follow: everything reachable from the engine's configuration would be reported as lost at exit.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}
#endif
