#include "avfoundation/HLS.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <unordered_map>
#include <utility>

#include "avfoundation/AVError.h"
#include "avfoundation/detail/ReferenceResolver.h"

namespace avfoundation::hls {

namespace {

struct Value {
    std::string text;
    bool quoted = false;
};

// One attribute list: names in order of appearance (a repeated name keeps its first value).
class Attributes {
  public:
    const Value* find(std::string_view name) const {
        for (const auto& [n, v] : items_) {
            if (n == name) return &v;
        }
        return nullptr;
    }
    void add(std::string name, Value value) {
        if (!find(name)) items_.emplace_back(std::move(name), std::move(value));
    }

  private:
    std::vector<std::pair<std::string, Value>> items_;
};

std::string quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text.substr(0, 80)) out += (static_cast<unsigned char>(c) < 0x20) ? '?' : c;
    if (text.size() > 80) out += "...";
    return out + "\"";
}

// Parses `NAME=value,NAME="quoted",...`.
std::expected<Attributes, std::string> parseAttributes(std::string_view s) {
    Attributes out;
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t eq = s.find('=', i);
        if (eq == std::string_view::npos) return std::unexpected("attribute " + quote(s.substr(i)) + " has no value");
        std::string name(s.substr(i, eq - i));
        if (name.empty()) return std::unexpected(std::string("an attribute has no name"));
        for (char c : name) {
            if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-')) {
                return std::unexpected("attribute name " + quote(name) + " is not valid");
            }
        }
        i = eq + 1;
        Value value;
        if (i < s.size() && s[i] == '"') {
            const std::size_t close = s.find('"', i + 1);
            if (close == std::string_view::npos)
                return std::unexpected("quoted value of " + name + " is not terminated");
            value.text = std::string(s.substr(i + 1, close - i - 1));
            value.quoted = true;
            i = close + 1;
            if (i < s.size() && s[i] != ',')
                return std::unexpected("unexpected text after the quoted value of " + name);
        } else {
            const std::size_t comma = s.find(',', i);
            const std::size_t end = comma == std::string_view::npos ? s.size() : comma;
            value.text = std::string(s.substr(i, end - i));
            i = end;
        }
        out.add(std::move(name), std::move(value));
        if (i < s.size() && s[i] == ',') ++i;
    }
    return out;
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::int64_t value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

std::optional<double> parseDecimal(std::string_view text) {
    if (text.empty()) return std::nullopt;
    double value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(value) || value < 0)
        return std::nullopt;
    return value;
}

std::optional<Resolution> parseResolution(std::string_view text) {
    const std::size_t x = text.find('x');
    if (x == std::string_view::npos) return std::nullopt;
    const auto w = parseInteger(text.substr(0, x));
    const auto h = parseInteger(text.substr(x + 1));
    constexpr std::int64_t limit = std::numeric_limits<int>::max();
    if (!w || !h || *w > limit || *h > limit) return std::nullopt;
    return Resolution{static_cast<int>(*w), static_cast<int>(*h)};
}

std::optional<std::string> text(const Attributes& a, std::string_view name) {
    if (const Value* v = a.find(name)) return v->text;
    return std::nullopt;
}

bool yes(const Attributes& a, std::string_view name) {
    const Value* v = a.find(name);
    return v && v->text == "YES";
}

// The playlist split into lines (CR LF or LF), with a leading byte-order mark dropped.
class Lines {
  public:
    explicit Lines(std::string_view text) : text_(text) {
        if (text_.starts_with("\xEF\xBB\xBF")) text_.remove_prefix(3);
    }
    bool next(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        line = text_.substr(pos_, end - pos_);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos_ = end + 1;
        ++number_;
        return true;
    }
    std::size_t number() const { return number_; }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t number_ = 0;
};

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// The tag name of "#EXT-X-FOO:attrs" and what follows the colon.
std::pair<std::string_view, std::string_view> splitTag(std::string_view line) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return {line, {}};
    return {line.substr(0, colon), line.substr(colon + 1)};
}

bool isMediaTag(std::string_view tag) {
    return tag == "#EXTINF" || tag == "#EXT-X-TARGETDURATION" || tag == "#EXT-X-MEDIA-SEQUENCE" ||
           tag == "#EXT-X-ENDLIST" || tag == "#EXT-X-KEY" || tag == "#EXT-X-PLAYLIST-TYPE" ||
           tag == "#EXT-X-DISCONTINUITY" || tag == "#EXT-X-BYTERANGE" || tag == "#EXT-X-MAP" ||
           tag == "#EXT-X-I-FRAMES-ONLY" || tag == "#EXT-X-SKIP" || tag == "#EXT-X-GAP";
}
bool isMultivariantTag(std::string_view tag) {
    return tag == "#EXT-X-STREAM-INF" || tag == "#EXT-X-MEDIA";
}

std::unexpected<ParseError> fail(std::size_t line, std::string message) {
    return std::unexpected(ParseError{line, std::move(message)});
}

std::expected<void, ParseError> checkHeader(Lines& lines) {
    std::string_view first;
    if (!lines.next(first) || trim(first) != "#EXTM3U") return fail(1, "the first line is not #EXTM3U");
    return {};
}

// Tags that change what the segments or the playlist mean, in ways this player cannot honour: a playlist
// holding one is refused instead of being played as something it is not (whole files for byte ranges,
// segments without their initialization section, I-frames as ordinary media, a delta update numbered as a
// whole playlist, a missing segment fetched, references with their variables unexpanded). Tags that only
// inform (dates, date ranges, bitrates, the preferred start, session data, I-frame variants, session keys
// that the media playlists name again, the parts and hints of low-latency playlists, whose whole segments
// are listed as ever) are skipped, as are tags this reader does not know.
std::optional<std::string_view> unsupportedTag(std::string_view tag) {
    static constexpr std::pair<std::string_view, std::string_view> kUnsupported[] = {
        {"#EXT-X-BYTERANGE", "EXT-X-BYTERANGE is not supported (segments as byte ranges of a resource)"},
        {"#EXT-X-MAP", "EXT-X-MAP is not supported (media initialization sections)"},
        {"#EXT-X-I-FRAMES-ONLY", "EXT-X-I-FRAMES-ONLY is not supported (I-frame-only playlists)"},
        {"#EXT-X-SKIP", "EXT-X-SKIP is not supported (playlist delta updates)"},
        {"#EXT-X-GAP", "EXT-X-GAP is not supported (segments marked as missing)"},
        {"#EXT-X-DEFINE", "EXT-X-DEFINE is not supported (variable substitution)"},
    };
    for (const auto& [name, reason] : kUnsupported) {
        if (tag == name) return reason;
    }
    return std::nullopt;
}

// How often a long read looks whether it was cancelled, in lines.
constexpr std::size_t kLinesBetweenStopChecks = 4096;

// The skeleton both kinds of playlist share: the "#EXTM3U" header, then line by line with blank lines and
// comments skipped, each URI line handed to `onURI(line, number)` and each tag line ("#EXT...") to
// `onTag(tag, value, number)`. The first error of a handler ends the read; so does `stop`, a tag this
// player cannot honour and a second EXT-X-VERSION (a client must fail such a playlist).
template <class OnURI, class OnTag>
std::expected<void, ParseError> readLines(std::string_view body, const std::stop_token& stop, OnURI&& onURI,
                                          OnTag&& onTag) {
    Lines lines(body);
    if (auto ok = checkHeader(lines); !ok) return ok;
    std::size_t versionLine = 0;  // of the EXT-X-VERSION read, if any
    std::string_view raw;
    while (lines.next(raw)) {
        const std::size_t n = lines.number();
        if (n % kLinesBetweenStopChecks == 0 && stop.stop_requested()) return fail(n, "reading was cancelled");
        const std::string_view line = trim(raw);
        if (line.empty()) continue;
        if (line.front() != '#') {
            if (auto ok = onURI(line, n); !ok) return ok;
            continue;
        }
        if (!line.starts_with("#EXT")) continue;  // a comment
        const auto [tag, value] = splitTag(line);
        if (const auto reason = unsupportedTag(tag)) return fail(n, std::string(*reason));
        if (tag == "#EXT-X-VERSION") {
            if (versionLine) {
                return fail(n, "a second EXT-X-VERSION (the first is on line " + std::to_string(versionLine) + ")");
            }
            versionLine = n;
        }
        if (auto ok = onTag(tag, value, n); !ok) return ok;
    }
    return {};
}

// Keys are the same key when every attribute is the same.
struct KeyHash {
    std::size_t operator()(const Key& key) const noexcept {
        const std::hash<std::string_view> h;
        auto optional = [&](const std::optional<std::string>& v) { return v ? h(*v) : 0x9e3779b97f4a7c15ULL; };
        std::size_t seed = h(key.method);
        for (std::size_t part :
             {optional(key.uri), optional(key.iv), optional(key.keyFormat), optional(key.keyFormatVersions)}) {
            seed ^= part + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
        }
        return seed;
    }
};

std::expected<int, ParseError> parseVersion(std::string_view value, std::size_t line) {
    const auto v = parseInteger(trim(value));
    if (!v || *v > 1000) return fail(line, "EXT-X-VERSION " + quote(value) + " is not a version number");
    return static_cast<int>(*v);
}

}  // namespace

double MediaPlaylist::duration() const {
    double total = 0;
    for (const auto& s : segments) total += s.duration;
    return total;
}

std::string ParseError::localizedDescription() const {
    if (line == 0) return "Malformed playlist: " + message;
    return "Malformed playlist (line " + std::to_string(line) + "): " + message;
}
std::string ParseError::domain() const {
    return AVError::domain;
}
int ParseError::code() const {
    return AVError::malformedPlaylist;
}

std::optional<foundation::URL> resolve(std::string_view reference, const foundation::URL& base) {
    return detail::ReferenceResolver(base).resolve(reference);
}

std::expected<MultivariantPlaylist, ParseError> parseMultivariant(std::string_view body, const foundation::URL& base) {
    const detail::ReferenceResolver resolver(base);
    MultivariantPlaylist playlist;
    std::optional<Variant> pending;  // a STREAM-INF waiting for its URI line
    std::size_t pendingLine = 0;
    auto onURI = [&](std::string_view line, std::size_t n) -> std::expected<void, ParseError> {
        if (!pending) return fail(n, "URI line " + quote(line) + " does not follow an EXT-X-STREAM-INF");
        auto uri = resolver.resolve(line);
        if (!uri) return fail(n, "variant URI " + quote(line) + " is not a valid address");
        pending->uri = std::move(*uri);
        playlist.variants.push_back(std::move(*pending));
        pending.reset();
        return {};
    };
    auto onTag = [&](std::string_view tag, std::string_view value, std::size_t n) -> std::expected<void, ParseError> {
        if (isMediaTag(tag)) return fail(n, "a multivariant playlist cannot hold " + std::string(tag));
        if (tag == "#EXT-X-VERSION") {
            auto v = parseVersion(value, n);
            if (!v) return std::unexpected(v.error());
            playlist.version = *v;
        } else if (tag == "#EXT-X-INDEPENDENT-SEGMENTS") {
            playlist.independentSegments = true;
        } else if (tag == "#EXT-X-STREAM-INF") {
            if (pending) return fail(pendingLine, "EXT-X-STREAM-INF is not followed by a URI");
            auto attrs = parseAttributes(value);
            if (!attrs) return fail(n, attrs.error());
            Variant v{.uri = base};
            const auto bandwidth = text(*attrs, "BANDWIDTH");
            if (!bandwidth) return fail(n, "EXT-X-STREAM-INF has no BANDWIDTH");
            const auto bw = parseInteger(*bandwidth);
            if (!bw) return fail(n, "BANDWIDTH " + quote(*bandwidth) + " is not a number");
            v.bandwidth = *bw;
            if (auto avg = text(*attrs, "AVERAGE-BANDWIDTH")) {
                const auto a = parseInteger(*avg);
                if (!a) return fail(n, "AVERAGE-BANDWIDTH " + quote(*avg) + " is not a number");
                v.averageBandwidth = *a;
            }
            if (auto res = text(*attrs, "RESOLUTION")) {
                v.resolution = parseResolution(*res);
                if (!v.resolution) return fail(n, "RESOLUTION " + quote(*res) + " is not WIDTHxHEIGHT");
            }
            if (auto rate = text(*attrs, "FRAME-RATE")) {
                v.frameRate = parseDecimal(*rate);
                if (!v.frameRate) return fail(n, "FRAME-RATE " + quote(*rate) + " is not a number");
            }
            v.codecs = text(*attrs, "CODECS");
            v.audio = text(*attrs, "AUDIO");
            v.video = text(*attrs, "VIDEO");
            v.subtitles = text(*attrs, "SUBTITLES");
            v.closedCaptions = text(*attrs, "CLOSED-CAPTIONS");
            pending = std::move(v);
            pendingLine = n;
        } else if (tag == "#EXT-X-MEDIA") {
            auto attrs = parseAttributes(value);
            if (!attrs) return fail(n, attrs.error());
            Rendition r;
            const auto type = text(*attrs, "TYPE");
            if (!type) return fail(n, "EXT-X-MEDIA has no TYPE");
            if (*type == "AUDIO") {
                r.type = Rendition::Type::audio;
            } else if (*type == "VIDEO") {
                r.type = Rendition::Type::video;
            } else if (*type == "SUBTITLES") {
                r.type = Rendition::Type::subtitles;
            } else if (*type == "CLOSED-CAPTIONS") {
                r.type = Rendition::Type::closedCaptions;
            } else {
                return fail(n, "EXT-X-MEDIA TYPE " + quote(*type) + " is not known");
            }
            auto group = text(*attrs, "GROUP-ID");
            if (!group) return fail(n, "EXT-X-MEDIA has no GROUP-ID");
            auto name = text(*attrs, "NAME");
            if (!name) return fail(n, "EXT-X-MEDIA has no NAME");
            r.groupId = std::move(*group);
            r.name = std::move(*name);
            r.language = text(*attrs, "LANGUAGE");
            r.assocLanguage = text(*attrs, "ASSOC-LANGUAGE");
            r.isDefault = yes(*attrs, "DEFAULT");
            r.autoselect = yes(*attrs, "AUTOSELECT");
            r.forced = yes(*attrs, "FORCED");
            r.instreamId = text(*attrs, "INSTREAM-ID");
            r.characteristics = text(*attrs, "CHARACTERISTICS");
            if (const Value* uri = attrs->find("URI")) {
                if (!uri->quoted) return fail(n, "EXT-X-MEDIA URI must be a quoted string");
                r.uri = resolver.resolve(uri->text);
                if (!r.uri) return fail(n, "rendition URI " + quote(uri->text) + " is not a valid address");
            }
            playlist.renditions.push_back(std::move(r));
        }
        return {};
    };
    if (auto ok = readLines(body, {}, onURI, onTag); !ok) return std::unexpected(ok.error());
    if (pending) return fail(pendingLine, "EXT-X-STREAM-INF is not followed by a URI");
    if (playlist.variants.empty()) return fail(0, "the multivariant playlist has no variants");
    return playlist;
}

std::expected<MediaPlaylist, ParseError> parseMedia(std::string_view body, const foundation::URL& base,
                                                    std::stop_token stop) {
    const detail::ReferenceResolver resolver(base);
    MediaPlaylist playlist;
    bool haveTarget = false;
    bool sawSegment = false;
    std::optional<double> pendingDuration;
    double total = 0;
    std::string pendingTitle;
    std::size_t pendingLine = 0;
    bool discontinuity = false;
    std::optional<std::size_t> currentKey;
    std::unordered_map<Key, std::size_t, KeyHash> keyIndex;  // each listed key once, found by its attributes
    auto onURI = [&](std::string_view line, std::size_t n) -> std::expected<void, ParseError> {
        if (!pendingDuration) return fail(n, "URI line " + quote(line) + " does not follow an EXTINF");
        auto uri = resolver.resolve(line);
        if (!uri) return fail(n, "segment URI " + quote(line) + " is not a valid address");
        playlist.segments.push_back(
            Segment{.duration = *pendingDuration,
                    .title = std::move(pendingTitle),
                    .uri = std::move(*uri),
                    .mediaSequence = playlist.mediaSequence + static_cast<std::int64_t>(playlist.segments.size()),
                    .discontinuity = discontinuity,
                    .key = currentKey});
        pendingDuration.reset();
        pendingTitle.clear();
        discontinuity = false;
        return {};
    };
    auto onTag = [&](std::string_view tag, std::string_view value, std::size_t n) -> std::expected<void, ParseError> {
        if (isMultivariantTag(tag)) return fail(n, "a media playlist cannot hold " + std::string(tag));
        if (tag == "#EXT-X-VERSION") {
            auto v = parseVersion(value, n);
            if (!v) return std::unexpected(v.error());
            playlist.version = *v;
        } else if (tag == "#EXT-X-TARGETDURATION") {
            const auto t = parseInteger(trim(value));
            if (!t || *t > 86400)
                return fail(n, "EXT-X-TARGETDURATION " + quote(value) + " is not a whole number of seconds");
            // No segment fits a target of 0 (each lasts its target at most, rounded).
            if (*t == 0)
                return fail(n, "EXT-X-TARGETDURATION " + quote(value) + " is not a positive number of seconds");
            playlist.targetDuration = static_cast<double>(*t);
            haveTarget = true;
        } else if (tag == "#EXT-X-MEDIA-SEQUENCE") {
            if (sawSegment) return fail(n, "EXT-X-MEDIA-SEQUENCE comes after the first segment");
            const auto s = parseInteger(trim(value));
            if (!s) return fail(n, "EXT-X-MEDIA-SEQUENCE " + quote(value) + " is not a number");
            playlist.mediaSequence = *s;
        } else if (tag == "#EXT-X-PLAYLIST-TYPE") {
            const std::string_view type = trim(value);
            if (type != "VOD" && type != "EVENT")
                return fail(n, "EXT-X-PLAYLIST-TYPE " + quote(type) + " is not VOD or EVENT");
            playlist.playlistType = std::string(type);
        } else if (tag == "#EXT-X-ENDLIST") {
            playlist.endList = true;
        } else if (tag == "#EXT-X-DISCONTINUITY") {
            discontinuity = true;
        } else if (tag == "#EXT-X-KEY") {
            auto attrs = parseAttributes(value);
            if (!attrs) return fail(n, attrs.error());
            Key key;
            auto method = text(*attrs, "METHOD");
            if (!method || method->empty()) return fail(n, "EXT-X-KEY has no METHOD");
            key.method = std::move(*method);
            if (const Value* uri = attrs->find("URI")) {
                if (!uri->quoted) return fail(n, "EXT-X-KEY URI must be a quoted string");
                auto resolved = resolver.resolve(uri->text);
                if (!resolved) return fail(n, "key URI " + quote(uri->text) + " is not a valid address");
                key.uri = resolved->absoluteString();
            }
            if (key.method != "NONE" && !key.uri) return fail(n, "EXT-X-KEY with METHOD " + key.method + " has no URI");
            key.iv = text(*attrs, "IV");
            key.keyFormat = text(*attrs, "KEYFORMAT");
            key.keyFormatVersions = text(*attrs, "KEYFORMATVERSIONS");
            if (key.method == "NONE") {
                currentKey.reset();
            } else if (auto known = keyIndex.find(key); known != keyIndex.end()) {
                currentKey = known->second;
            } else {
                // Each key is a licence request of its own: a playlist naming more is not a stream but an attack.
                if (playlist.keys.size() == maximumMediaPlaylistKeys) {
                    return fail(n, "the playlist names more than " + std::to_string(maximumMediaPlaylistKeys) +
                                       " content keys");
                }
                currentKey = playlist.keys.size();
                keyIndex.emplace(key, *currentKey);
                playlist.keys.push_back(std::move(key));
            }
        } else if (tag == "#EXTINF") {
            if (pendingDuration) return fail(pendingLine, "EXTINF is not followed by a URI");
            const std::size_t comma = value.find(',');
            const std::string_view duration = trim(value.substr(0, comma));
            const auto d = parseDecimal(duration);
            if (!d) return fail(n, "EXTINF duration " + quote(duration) + " is not a number");
            // A segment without duration would leave the playhead where it is for ever.
            if (*d <= 0) return fail(n, "EXTINF duration " + quote(duration) + " is not a positive number of seconds");
            total += *d;
            if (!(total <= maximumMediaPlaylistDuration)) {
                return fail(n, "the segments up to here last longer than " +
                                   std::to_string(static_cast<long long>(maximumMediaPlaylistDuration)) + " seconds");
            }
            pendingDuration = *d;
            pendingTitle = comma == std::string_view::npos ? std::string() : std::string(trim(value.substr(comma + 1)));
            pendingLine = n;
            sawSegment = true;
        }
        return {};
    };
    if (auto ok = readLines(body, stop, onURI, onTag); !ok) return std::unexpected(ok.error());
    if (pendingDuration) return fail(pendingLine, "EXTINF is not followed by a URI");
    if (!haveTarget) return fail(0, "the media playlist has no EXT-X-TARGETDURATION");
    if (playlist.segments.empty()) return fail(0, "the media playlist has no segments");
    return playlist;
}

std::expected<Playlist, ParseError> parse(std::string_view text, const foundation::URL& base) {
    // The kind is told by the first tag that belongs to only one kind.
    Lines lines(text);
    std::string_view raw;
    while (lines.next(raw)) {
        const auto [tag, value] = splitTag(trim(raw));
        (void)value;
        if (isMultivariantTag(tag)) {
            auto p = parseMultivariant(text, base);
            if (!p) return std::unexpected(p.error());
            return Playlist(std::move(*p));
        }
        if (isMediaTag(tag)) {
            auto p = parseMedia(text, base);
            if (!p) return std::unexpected(p.error());
            return Playlist(std::move(*p));
        }
    }
    Lines header(text);
    if (auto ok = checkHeader(header); !ok) return std::unexpected(ok.error());
    return fail(0, "the playlist has neither variants nor segments");
}

}  // namespace avfoundation::hls
