#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "foundation/Error.h"
#include "foundation/URL.h"

// HLS playlists (RFC 8216) as the media player reads them: the multivariant playlist (variants and
// renditions) and media playlists (segments, keys, the end tag).
//
// What is read:
// - multivariant: EXT-X-VERSION, EXT-X-INDEPENDENT-SEGMENTS, EXT-X-STREAM-INF (BANDWIDTH required;
//   AVERAGE-BANDWIDTH, CODECS, RESOLUTION, FRAME-RATE, AUDIO, VIDEO, SUBTITLES, CLOSED-CAPTIONS) followed
//   by its URI line, EXT-X-MEDIA (TYPE, GROUP-ID and NAME required; LANGUAGE, ASSOC-LANGUAGE, DEFAULT,
//   AUTOSELECT, FORCED, URI, INSTREAM-ID, CHARACTERISTICS);
// - media: EXT-X-VERSION, EXT-X-TARGETDURATION (required), EXT-X-MEDIA-SEQUENCE, EXT-X-PLAYLIST-TYPE,
//   EXT-X-ENDLIST, EXT-X-DISCONTINUITY, EXT-X-KEY (METHOD required; URI required unless METHOD=NONE; IV,
//   KEYFORMAT, KEYFORMATVERSIONS), EXTINF followed by its URI line.
// Tags that change what the playlist means in ways the player cannot honour are refused, naming the tag
// and its line: EXT-X-BYTERANGE (segments as byte ranges), EXT-X-MAP (initialization sections),
// EXT-X-I-FRAMES-ONLY, EXT-X-SKIP (delta updates), EXT-X-GAP (missing segments), EXT-X-DEFINE (variables),
// and a second EXT-X-VERSION. Tags that only inform (EXT-X-PROGRAM-DATE-TIME, EXT-X-DATERANGE,
// EXT-X-BITRATE, EXT-X-START, EXT-X-DISCONTINUITY-SEQUENCE, EXT-X-INDEPENDENT-SEGMENTS of a media playlist,
// EXT-X-SESSION-DATA, EXT-X-SESSION-KEY, EXT-X-I-FRAME-STREAM-INF, EXT-X-CONTENT-STEERING, and the
// low-latency EXT-X-PART, EXT-X-PART-INF, EXT-X-PRELOAD-HINT, EXT-X-RENDITION-REPORT and
// EXT-X-SERVER-CONTROL, beside which the whole segments are listed as ever), tags not known here and
// comments are skipped, as a client must. Relative URIs are resolved against the playlist's own address;
// key URIs with a scheme of their own ("skd://...") are kept as written.
//
// Anything else is refused with a ParseError naming the line: no "#EXTM3U" first line, a playlist that
// mixes variant and segment tags, a required attribute missing, a number that is not a number (or does
// not fit), an unterminated quoted string, a tag without its URI line, a URI that is not a valid address,
// a media playlist without a target duration or without segments, a multivariant playlist without
// variants. A media playlist's target and segment durations are positive, its segments together last at
// most `maximumMediaPlaylistDuration` (a sum that would overflow is refused at the segment that passes the
// bound), and it names at most `maximumMediaPlaylistKeys` distinct keys (refused at the key line that
// names one more; repeating a key's line before every segment is fine).
//
// Reading is linear in the text: keys are found by their attributes in a hash table, and references are
// resolved against the playlist's address split into its parts once.
namespace avfoundation::hls {

// The longest media playlist read, in seconds (about 31 years): far beyond any stream, far within what
// media times and the playhead can hold exactly enough.
inline constexpr double maximumMediaPlaylistDuration = 1e9;

// The most distinct content keys a media playlist may name. Each key costs a licence request (and its
// renewals while the item uses it): streams rotate through a handful, a thousand is far beyond any of them.
inline constexpr std::size_t maximumMediaPlaylistKeys = 1000;

struct Resolution {
    int width = 0;
    int height = 0;
    friend bool operator==(const Resolution&, const Resolution&) = default;
};

struct Variant {
    std::int64_t bandwidth = 0;
    std::optional<std::int64_t> averageBandwidth;
    std::optional<std::string> codecs;
    std::optional<Resolution> resolution;
    std::optional<double> frameRate;
    std::optional<std::string> audio;
    std::optional<std::string> video;
    std::optional<std::string> subtitles;
    std::optional<std::string> closedCaptions;
    foundation::URL uri;
};

struct Rendition {
    enum class Type { audio, video, subtitles, closedCaptions };
    Type type = Type::audio;
    std::string groupId;
    std::string name;
    std::optional<std::string> language;
    std::optional<std::string> assocLanguage;
    bool isDefault = false;
    bool autoselect = false;
    bool forced = false;
    std::optional<foundation::URL> uri;
    std::optional<std::string> instreamId;
    std::optional<std::string> characteristics;
};

struct MultivariantPlaylist {
    int version = 1;
    bool independentSegments = false;
    std::vector<Variant> variants;
    std::vector<Rendition> renditions;
};

struct Key {
    // "NONE", "AES-128", "SAMPLE-AES", ...
    std::string method;
    // The URI as written (resolved against the playlist when it is relative).
    std::optional<std::string> uri;
    std::optional<std::string> iv;
    std::optional<std::string> keyFormat;
    std::optional<std::string> keyFormatVersions;
    friend bool operator==(const Key&, const Key&) = default;
};

struct Segment {
    double duration = 0;
    std::string title;
    foundation::URL uri;
    std::int64_t mediaSequence = 0;
    // An EXT-X-DISCONTINUITY precedes this segment.
    bool discontinuity = false;
    // Index into MediaPlaylist::keys of the key in force; nothing when none is (or METHOD=NONE).
    std::optional<std::size_t> key;
};

struct MediaPlaylist {
    int version = 1;
    double targetDuration = 0;
    std::int64_t mediaSequence = 0;
    bool endList = false;
    // "VOD" or "EVENT" when the playlist says.
    std::optional<std::string> playlistType;
    std::vector<Key> keys;
    std::vector<Segment> segments;

    // The sum of the segment durations.
    double duration() const;
};

// The error of a playlist that cannot be read; bridged as AVFoundationErrorDomain / malformedPlaylist.
struct ParseError {
    std::size_t line = 0;  // 1-based; 0 when the error is not about one line
    std::string message;

    // "Malformed playlist (line 3): EXTINF duration \"x\" is not a number".
    std::string localizedDescription() const;
    std::string domain() const;
    int code() const;
};

using Playlist = std::variant<MultivariantPlaylist, MediaPlaylist>;

// Reads either kind of playlist; `base` is the address the text came from.
std::expected<Playlist, ParseError> parse(std::string_view text, const foundation::URL& base);
std::expected<MultivariantPlaylist, ParseError> parseMultivariant(std::string_view text, const foundation::URL& base);
// A media playlist; a `stop` that is requested ends a long read early (with a ParseError nobody needs to read).
std::expected<MediaPlaylist, ParseError> parseMedia(std::string_view text, const foundation::URL& base,
                                                    std::stop_token stop = {});

// `reference` resolved against `base` (RFC 3986, dot segments removed); nothing when the result is not a
// valid URL.
std::optional<foundation::URL> resolve(std::string_view reference, const foundation::URL& base);

}  // namespace avfoundation::hls
