#include <gtest/gtest.h>

#include <stop_token>
#include <string>
#include <utility>

#include "avfoundation/AVError.h"
#include "avfoundation/HLS.h"
#include "devserver/testing/HlsTestService.h"

namespace hls = avfoundation::hls;
using foundation::URL;

namespace {

const URL kBase = *URL::fromString("https://cdn.example.com/vod/asset/master.m3u8?token=abc");

std::string failure(std::string_view text) {
    auto parsed = hls::parse(text, kBase);
    if (parsed) return "<parsed>";
    return parsed.error().localizedDescription();
}

}  // namespace

TEST(HLSParsing, MultivariantReadsVariantsRenditionsAndResolvesAddresses) {
    const std::string text =
        "\xEF\xBB\xBF#EXTM3U\r\n"
        "#EXT-X-VERSION:6\r\n"
        "#EXT-X-INDEPENDENT-SEGMENTS\r\n"
        "# a comment\r\n"
        "#EXT-X-MEDIA:TYPE=SUBTITLES,GROUP-ID=\"subs\",NAME=\"English, full\",LANGUAGE=\"en\",DEFAULT=YES,"
        "AUTOSELECT=YES,URI=\"subs/en.m3u8\"\r\n"
        "#EXT-X-MEDIA:TYPE=SUBTITLES,GROUP-ID=\"subs\",NAME=\"Svenska\",LANGUAGE=\"sv\",FORCED=YES,URI=\"/abs/"
        "sv.m3u8\"\r\n"
        "#EXT-X-MEDIA:TYPE=CLOSED-CAPTIONS,GROUP-ID=\"cc\",NAME=\"CC\",INSTREAM-ID=\"CC1\"\r\n"
        "#EXT-X-STREAM-INF:BANDWIDTH=150000,AVERAGE-BANDWIDTH=140000,CODECS=\"avc1.64001f,mp4a.40.2\","
        "RESOLUTION=640x360,FRAME-RATE=25.000,SUBTITLES=\"subs\",CLOSED-CAPTIONS=\"cc\"\r\n"
        "low/media.m3u8\r\n"
        "#EXT-X-STREAM-INF:BANDWIDTH=600000\r\n"
        "#EXT-X-UNKNOWN-TAG:whatever\r\n"
        "https://other.example.com/high.m3u8\r\n";
    auto parsed = hls::parseMultivariant(text, kBase);
    ASSERT_TRUE(parsed) << parsed.error().localizedDescription();
    EXPECT_EQ(parsed->version, 6);
    EXPECT_TRUE(parsed->independentSegments);
    ASSERT_EQ(parsed->variants.size(), 2u);
    const auto& low = parsed->variants[0];
    EXPECT_EQ(low.bandwidth, 150000);
    EXPECT_EQ(low.averageBandwidth, 140000);
    EXPECT_EQ(low.codecs, "avc1.64001f,mp4a.40.2");  // the comma inside quotes stays
    EXPECT_EQ(low.resolution, (hls::Resolution{640, 360}));
    EXPECT_DOUBLE_EQ(*low.frameRate, 25.0);
    EXPECT_EQ(low.subtitles, "subs");
    EXPECT_EQ(low.uri.absoluteString(), "https://cdn.example.com/vod/asset/low/media.m3u8");
    EXPECT_EQ(parsed->variants[1].uri.absoluteString(), "https://other.example.com/high.m3u8");
    EXPECT_FALSE(parsed->variants[1].resolution);

    ASSERT_EQ(parsed->renditions.size(), 3u);
    EXPECT_EQ(parsed->renditions[0].name, "English, full");
    EXPECT_TRUE(parsed->renditions[0].isDefault);
    EXPECT_EQ(parsed->renditions[0].uri->absoluteString(), "https://cdn.example.com/vod/asset/subs/en.m3u8");
    EXPECT_EQ(parsed->renditions[1].uri->absoluteString(), "https://cdn.example.com/abs/sv.m3u8");
    EXPECT_TRUE(parsed->renditions[1].forced);
    EXPECT_EQ(parsed->renditions[2].type, hls::Rendition::Type::closedCaptions);
    EXPECT_EQ(parsed->renditions[2].instreamId, "CC1");
}

TEST(HLSParsing, MediaPlaylistReadsSegmentsKeysAndTheEndTag) {
    const std::string text =
        "#EXTM3U\n#EXT-X-TARGETDURATION:6\n#EXT-X-MEDIA-SEQUENCE:40\n#EXT-X-PLAYLIST-TYPE:VOD\n"
        "#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"skd://licence.example.com/fairplay/license?contentId=c1&keyId=k1\","
        "KEYFORMAT=\"com.apple.streamingkeydelivery\",KEYFORMATVERSIONS=\"1\"\n"
        "#EXTINF:6.000,first\nseg40.ts\n"
        "#EXT-X-DISCONTINUITY\n"
        "#EXTINF:5.5\nseg41.ts?x=1\n"
        "#EXT-X-KEY:METHOD=NONE\n"
        "#EXTINF:2,\n../other/seg42.ts\n"
        "#EXT-X-ENDLIST\n";
    auto parsed = hls::parseMedia(text, *URL::fromString("http://127.0.0.1:8080/hls/a/v1/media.m3u8"));
    ASSERT_TRUE(parsed) << parsed.error().localizedDescription();
    EXPECT_DOUBLE_EQ(parsed->targetDuration, 6);
    EXPECT_EQ(parsed->mediaSequence, 40);
    EXPECT_TRUE(parsed->endList);
    EXPECT_EQ(parsed->playlistType, "VOD");
    ASSERT_EQ(parsed->segments.size(), 3u);
    EXPECT_DOUBLE_EQ(parsed->duration(), 13.5);
    EXPECT_EQ(parsed->segments[0].title, "first");
    EXPECT_EQ(parsed->segments[0].mediaSequence, 40);
    EXPECT_EQ(parsed->segments[2].mediaSequence, 42);
    EXPECT_TRUE(parsed->segments[1].discontinuity);
    EXPECT_EQ(parsed->segments[1].uri.absoluteString(), "http://127.0.0.1:8080/hls/a/v1/seg41.ts?x=1");
    EXPECT_EQ(parsed->segments[2].uri.absoluteString(), "http://127.0.0.1:8080/hls/a/other/seg42.ts");
    ASSERT_EQ(parsed->keys.size(), 1u);
    EXPECT_EQ(parsed->keys[0].method, "SAMPLE-AES");
    EXPECT_EQ(parsed->keys[0].uri, "skd://licence.example.com/fairplay/license?contentId=c1&keyId=k1");
    EXPECT_EQ(parsed->segments[0].key, 0u);
    EXPECT_EQ(parsed->segments[1].key, 0u);
    EXPECT_FALSE(parsed->segments[2].key);  // METHOD=NONE ends the key
}

TEST(HLSParsing, TellsTheKindsApartAndLiveWindowsHaveNoEndTag) {
    auto media = hls::parse(devserver::testing::mediaPlaylist(3, 6.0, false, 7), kBase);
    ASSERT_TRUE(media);
    const auto& m = std::get<hls::MediaPlaylist>(*media);
    EXPECT_FALSE(m.endList);
    EXPECT_EQ(m.segments.front().mediaSequence, 7);
    auto multi = hls::parse(devserver::testing::multivariantPlaylist({{.uri = "a.m3u8"}}), kBase);
    ASSERT_TRUE(multi);
    EXPECT_TRUE(std::holds_alternative<hls::MultivariantPlaylist>(*multi));
}

TEST(HLSParsing, MalformedInputIsRefusedWithTheLineAndTheReason) {
    EXPECT_EQ(failure(""), "Malformed playlist (line 1): the first line is not #EXTM3U");
    EXPECT_EQ(failure("<html>404</html>"), "Malformed playlist (line 1): the first line is not #EXTM3U");
    EXPECT_EQ(failure("#EXTM3U\n"), "Malformed playlist: the playlist has neither variants nor segments");
    EXPECT_EQ(failure("#EXTM3U\n#EXT-X-STREAM-INF:RESOLUTION=1x1\na.m3u8\n"),
              "Malformed playlist (line 2): EXT-X-STREAM-INF has no BANDWIDTH");
    EXPECT_EQ(failure("#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=12x\na.m3u8\n"),
              "Malformed playlist (line 2): BANDWIDTH \"12x\" is not a number");
    EXPECT_EQ(failure("#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=99999999999999999999999\na.m3u8\n"),
              "Malformed playlist (line 2): BANDWIDTH \"99999999999999999999999\" is not a number");
    EXPECT_EQ(failure("#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\n"),
              "Malformed playlist (line 2): EXT-X-STREAM-INF is not followed by a URI");
    EXPECT_EQ(failure("#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1,CODECS=\"avc1\na.m3u8\n"),
              "Malformed playlist (line 2): quoted value of CODECS is not terminated");
    EXPECT_EQ(failure("#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1,RESOLUTION=wide\na.m3u8\n"),
              "Malformed playlist (line 2): RESOLUTION \"wide\" is not WIDTHxHEIGHT");
    EXPECT_EQ(failure("#EXTM3U\n#EXT-X-MEDIA:TYPE=SUBTITLES,NAME=\"x\"\n#EXT-X-STREAM-INF:BANDWIDTH=1\na\n"),
              "Malformed playlist (line 2): EXT-X-MEDIA has no GROUP-ID");
    EXPECT_EQ(failure("#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\na.m3u8\n#EXTINF:6,\ns.ts\n"),
              "Malformed playlist (line 4): a multivariant playlist cannot hold #EXTINF");
    EXPECT_EQ(failure("#EXTM3U\n#EXTINF:6,\ns.ts\n"),
              "Malformed playlist: the media playlist has no EXT-X-TARGETDURATION");
    EXPECT_EQ(failure("#EXTM3U\n#EXT-X-TARGETDURATION:6\n#EXTINF:abc,\ns.ts\n"),
              "Malformed playlist (line 3): EXTINF duration \"abc\" is not a number");
    EXPECT_EQ(failure("#EXTM3U\n#EXT-X-TARGETDURATION:6\n#EXTINF:-1,\ns.ts\n"),
              "Malformed playlist (line 3): EXTINF duration \"-1\" is not a number");
    // Degenerate durations: nothing would ever play, or the playlist would never end.
    EXPECT_EQ(failure("#EXTM3U\n#EXT-X-TARGETDURATION:6\n#EXTINF:0,\ns.ts\n#EXT-X-ENDLIST\n"),
              "Malformed playlist (line 3): EXTINF duration \"0\" is not a positive number of seconds");
    EXPECT_EQ(failure("#EXTM3U\n#EXT-X-TARGETDURATION:0\n#EXTINF:0,\ns.ts\n#EXT-X-ENDLIST\n"),
              "Malformed playlist (line 2): EXT-X-TARGETDURATION \"0\" is not a positive number of seconds");
    EXPECT_EQ(failure("#EXTM3U\n#EXT-X-TARGETDURATION:6\n#EXTINF:1e308,\na.ts\n#EXTINF:1e308,\nb.ts\n"),
              "Malformed playlist (line 3): the segments up to here last longer than 1000000000 seconds");
    EXPECT_EQ(failure("#EXTM3U\n#EXT-X-TARGETDURATION:6\n#EXTINF:6e8,\na.ts\n#EXTINF:6e8,\nb.ts\n"),
              "Malformed playlist (line 5): the segments up to here last longer than 1000000000 seconds");
    EXPECT_EQ(failure("#EXTM3U\n#EXT-X-TARGETDURATION:6\n#EXTINF:inf,\ns.ts\n"),
              "Malformed playlist (line 3): EXTINF duration \"inf\" is not a number");
    EXPECT_EQ(failure("#EXTM3U\n#EXT-X-TARGETDURATION:6\n#EXTINF:6,\n"),
              "Malformed playlist (line 3): EXTINF is not followed by a URI");
    EXPECT_EQ(failure("#EXTM3U\n#EXT-X-TARGETDURATION:6\ns.ts\n"),
              "Malformed playlist (line 3): URI line \"s.ts\" does not follow an EXTINF");
    EXPECT_EQ(failure("#EXTM3U\n#EXT-X-TARGETDURATION:6\n#EXT-X-ENDLIST\n"),
              "Malformed playlist: the media playlist has no segments");
    EXPECT_EQ(failure("#EXTM3U\n#EXT-X-TARGETDURATION:6\n#EXT-X-KEY:METHOD=SAMPLE-AES\n#EXTINF:6,\ns.ts\n"),
              "Malformed playlist (line 3): EXT-X-KEY with METHOD SAMPLE-AES has no URI");
    EXPECT_EQ(failure("#EXTM3U\n#EXT-X-TARGETDURATION:6\n#EXT-X-KEY:METHOD=SAMPLE-AES,URI=skd://x\n#EXTINF:6,\ns.ts\n"),
              "Malformed playlist (line 3): EXT-X-KEY URI must be a quoted string");
    EXPECT_EQ(failure("#EXTM3U\n#EXT-X-TARGETDURATION:6\n#EXTINF:6,\nhttp://bad host/s.ts\n"),
              "Malformed playlist (line 4): segment URI \"http://bad host/s.ts\" is not a valid address");

    // The bridged form names the media framework's domain.
    auto parsed = hls::parse("nonsense", kBase);
    ASSERT_FALSE(parsed);
    const foundation::Error error = parsed.error();
    EXPECT_EQ(error.domain(), avfoundation::AVError::domain);
    EXPECT_EQ(error.code(), avfoundation::AVError::malformedPlaylist);
}

// A client must not play what it cannot honour: each of these changes what the segments or the playlist
// mean, and was read as something else (whole files for byte ranges, segments without their
// initialization section, I-frames as ordinary media, a delta update numbered from its first listed
// segment). Tags that only inform are still skipped.
TEST(HLSParsing, TagsThatChangeWhatAPlaylistMeansAreRefusedNamingTheTagAndTheLine) {
    const std::string head = "#EXTM3U\n#EXT-X-TARGETDURATION:6\n";
    const std::pair<std::string, std::string> refused[] = {
        {head + "#EXTINF:6,\n#EXT-X-BYTERANGE:1000@0\nall.ts\n",
         "Malformed playlist (line 4): EXT-X-BYTERANGE is not supported (segments as byte ranges of a resource)"},
        {head + "#EXT-X-MAP:URI=\"init.mp4\"\n#EXTINF:6,\ns.m4s\n",
         "Malformed playlist (line 3): EXT-X-MAP is not supported (media initialization sections)"},
        {head + "#EXT-X-I-FRAMES-ONLY\n#EXTINF:6,\ns.ts\n",
         "Malformed playlist (line 3): EXT-X-I-FRAMES-ONLY is not supported (I-frame-only playlists)"},
        {head + "#EXT-X-MEDIA-SEQUENCE:10\n#EXT-X-SKIP:SKIPPED-SEGMENTS=8\n#EXTINF:6,\ns18.ts\n",
         "Malformed playlist (line 4): EXT-X-SKIP is not supported (playlist delta updates)"},
        {head + "#EXTINF:6,\ns0.ts\n#EXT-X-GAP\n#EXTINF:6,\ns1.ts\n",
         "Malformed playlist (line 5): EXT-X-GAP is not supported (segments marked as missing)"},
        {"#EXTM3U\n#EXT-X-DEFINE:NAME=\"cdn\",VALUE=\"x\"\n#EXT-X-STREAM-INF:BANDWIDTH=1\n{$cdn}/a.m3u8\n",
         "Malformed playlist (line 2): EXT-X-DEFINE is not supported (variable substitution)"},
        {"#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:6\n#EXT-X-VERSION:7\n#EXTINF:6,\ns.ts\n",
         "Malformed playlist (line 4): a second EXT-X-VERSION (the first is on line 2)"},
        {"#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-STREAM-INF:BANDWIDTH=1\na.m3u8\n#EXT-X-VERSION:3\n",
         "Malformed playlist (line 5): a second EXT-X-VERSION (the first is on line 2)"},
        // A media tag in a multivariant playlist is refused there too, whichever comes first.
        {"#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\na.m3u8\n#EXT-X-MAP:URI=\"init.mp4\"\n",
         "Malformed playlist (line 4): EXT-X-MAP is not supported (media initialization sections)"},
    };
    for (const auto& [text, expected] : refused) EXPECT_EQ(failure(text), expected) << text;

    // Informational tags, those of low-latency playlists (the whole segments are listed beside the parts)
    // and session keys (the media playlists name their keys again) are skipped.
    auto media = hls::parseMedia(
        "#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXT-X-SERVER-CONTROL:CAN-BLOCK-RELOAD=YES,PART-HOLD-BACK=3\n"
        "#EXT-X-PART-INF:PART-TARGET=1\n#EXT-X-DISCONTINUITY-SEQUENCE:2\n#EXT-X-START:TIME-OFFSET=2\n"
        "#EXT-X-PROGRAM-DATE-TIME:2026-01-01T00:00:00Z\n#EXT-X-DATERANGE:ID=\"a\",START-DATE=\"2026-01-01\"\n"
        "#EXT-X-BITRATE:800\n#EXT-X-PART:DURATION=1,URI=\"s0.0.ts\"\n#EXTINF:4,\ns0.ts\n"
        "#EXT-X-PART:DURATION=1,URI=\"s1.0.ts\"\n#EXT-X-PRELOAD-HINT:TYPE=PART,URI=\"s1.1.ts\"\n"
        "#EXT-X-RENDITION-REPORT:URI=\"../b/m.m3u8\",LAST-MSN=0\n",
        kBase);
    ASSERT_TRUE(media) << media.error().localizedDescription();
    ASSERT_EQ(media->segments.size(), 1u);
    EXPECT_EQ(media->segments[0].uri.absoluteString(), "https://cdn.example.com/vod/asset/s0.ts");
    auto multivariant = hls::parseMultivariant(
        "#EXTM3U\n#EXT-X-SESSION-KEY:METHOD=SAMPLE-AES,URI=\"skd://k\"\n#EXT-X-SESSION-DATA:DATA-ID=\"t\",VALUE=\"x\"\n"
        "#EXT-X-I-FRAME-STREAM-INF:BANDWIDTH=1,URI=\"i.m3u8\"\n#EXT-X-STREAM-INF:BANDWIDTH=2\na.m3u8\n",
        kBase);
    ASSERT_TRUE(multivariant) << multivariant.error().localizedDescription();
    EXPECT_EQ(multivariant->variants.size(), 1u);
}

TEST(HLSParsing, ResolvesReferencesLikeABrowser) {
    const URL base = *URL::fromString("http://h:1/a/b/c.m3u8?q=1");
    EXPECT_EQ(hls::resolve("d.ts", base)->absoluteString(), "http://h:1/a/b/d.ts");
    EXPECT_EQ(hls::resolve("../d.ts", base)->absoluteString(), "http://h:1/a/d.ts");
    EXPECT_EQ(hls::resolve("/d.ts", base)->absoluteString(), "http://h:1/d.ts");
    EXPECT_EQ(hls::resolve("//other/d.ts", base)->absoluteString(), "http://other/d.ts");
    EXPECT_EQ(hls::resolve("skd://k/x?contentId=1", base)->absoluteString(), "skd://k/x?contentId=1");
    EXPECT_FALSE(hls::resolve("", base));

    // The rest of RFC 3986's resolution: dot segments never climb above the root, an empty path keeps the
    // base's (and its query unless the reference has one), a fragment keeps the base's query.
    const std::pair<const char*, const char*> cases[] = {
        {"./d.ts", "http://h:1/a/b/d.ts"},
        {"../../../../d.ts", "http://h:1/d.ts"},
        {"x/./y/../z.ts?k=../v", "http://h:1/a/b/x/z.ts?k=../v"},
        {"..", "http://h:1/a/"},
        {"?r=2", "http://h:1/a/b/c.m3u8?r=2"},
        {"#t", "http://h:1/a/b/c.m3u8?q=1#t"},
        {"/x/../y.ts#f", "http://h:1/y.ts#f"},
        {"https://cdn.example.com/a/../b/seg.ts", "https://cdn.example.com/b/seg.ts"},
        // What packagers write as it is: spaces and non-ASCII bytes of relative references are encoded.
        {"seg 1.ts", "http://h:1/a/b/seg%201.ts"},
        {"d\xC3\xA9j\xC3\xA0.ts", "http://h:1/a/b/d%C3%A9j%C3%A0.ts"},
    };
    for (const auto& [reference, expected] : cases) {
        const auto resolved = hls::resolve(reference, base);
        ASSERT_TRUE(resolved) << reference;
        EXPECT_EQ(resolved->absoluteString(), expected) << reference;
    }
    EXPECT_EQ(hls::resolve("d.ts", *URL::fromString("http://h"))->absoluteString(), "http://h/d.ts");
    for (const char* refused : {"http://bad host/a.ts", "///x.ts", "seg<1>.ts", "a\"b.ts"}) {
        EXPECT_FALSE(hls::resolve(refused, base)) << refused;
    }
}

namespace {

// A playlist whose `lines` key lines name `distinct` keys in turn, each line before one segment.
std::string keyedPlaylist(int lines, int distinct) {
    std::string text = "#EXTM3U\n#EXT-X-TARGETDURATION:4\n";
    for (int i = 0; i < lines; ++i) {
        text += "#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"skd://keys/k" + std::to_string(i % distinct) +
                "\",KEYFORMAT=\"com.apple.streamingkeydelivery\"\n#EXTINF:4,\ns" + std::to_string(i) + ".ts\n";
    }
    return text + "#EXT-X-ENDLIST\n";
}

}  // namespace

// Generated here, not stored. 20,000 key lines over 1,000 keys make 1.7 MB of text and a playlist of
// 20,000 segments (under 10 MB with the sanitizers); read in linear time, about a second under the
// sanitizers. Found by comparing each line with every key seen, it took many times that.
TEST(HLSParsing, ManyKeyLinesReadInLinearTimeAndTooManyDistinctKeysAreRefused) {
    auto repeated = hls::parseMedia(keyedPlaylist(20000, static_cast<int>(hls::maximumMediaPlaylistKeys)), kBase);
    ASSERT_TRUE(repeated) << repeated.error().localizedDescription();
    ASSERT_EQ(repeated->keys.size(), hls::maximumMediaPlaylistKeys);
    EXPECT_EQ(repeated->segments.size(), 20000u);
    for (std::size_t i : {0u, 999u, 1000u, 12345u, 19999u}) {
        const auto& key = repeated->keys[*repeated->segments[i].key];
        EXPECT_EQ(key.uri, "skd://keys/k" + std::to_string(i % hls::maximumMediaPlaylistKeys)) << i;
    }
    // A key differing in one attribute is another key.
    auto differing = hls::parseMedia(
        "#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"skd://k\",IV=0x1\n#EXTINF:4,\na.ts\n"
        "#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"skd://k\",IV=0x2\n#EXTINF:4,\nb.ts\n"
        "#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"skd://k\",IV=0x1\n#EXTINF:4,\nc.ts\n",
        kBase);
    ASSERT_TRUE(differing);
    EXPECT_EQ(differing->keys.size(), 2u);
    EXPECT_EQ(differing->segments[2].key, 0u);

    // One distinct key more than the bound is refused at its line (2 lines before the first key, 3 lines a
    // key): a playlist of 40,000 keys, which held the player for seconds, stops there.
    EXPECT_EQ(failure(keyedPlaylist(static_cast<int>(hls::maximumMediaPlaylistKeys) + 1,
                                    static_cast<int>(hls::maximumMediaPlaylistKeys) + 1)),
              "Malformed playlist (line " + std::to_string(3 + 3 * hls::maximumMediaPlaylistKeys) +
                  "): the playlist names more than 1000 content keys");
}

TEST(HLSParsing, AReadThatIsToldToStopEndsEarly) {
    std::stop_source stop;
    stop.request_stop();
    const std::string text = devserver::testing::mediaPlaylist(3000, 6.0);  // past the first look at line 4096
    auto stopped = hls::parseMedia(text, kBase, stop.get_token());
    ASSERT_FALSE(stopped);
    EXPECT_EQ(stopped.error().message, "reading was cancelled");
    EXPECT_TRUE(hls::parseMedia(text, kBase, std::stop_source().get_token()));
}
